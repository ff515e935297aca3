// "record" run as a test stand's script runs it: the simulated logger as a process of its own on a
// pseudo-terminal, the tool recording from it, and the logger killed in the middle of a burn.
#ifdef SELVA_LOGGER_SIM_PATH

#include "analysis/FreqRecord.h"
#include "cli/ChildProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <unistd.h>

namespace selva {
namespace {

using test::Child;

const std::string kSensors = std::string(SELVA_SAMPLES_DIR) + "/sample.sns";

// The simulated logger firing the built-in profile through sensor 1 on its own, `fireAfter` seconds of its
// time after the start, at twice the real pace.
std::unique_ptr<Child> startLogger(const char* fireAfter, std::string& path)
{
    auto logger = std::make_unique<Child>(
        std::vector<std::string>{SELVA_LOGGER_SIM_PATH, "--sensors", kSensors, "--sensor", "1", "--counted",
                                 "--speed", "2", "--fire-after", fireAfter});
    if (!logger->waitFor(false, "\n", 10))
        return nullptr;
    path = logger->out.substr(0, logger->out.find('\n'));
    return logger;
}

double totalImpulse(const std::string& frq)
{
    Child analyze({SELVA_CLI_PATH, "analyze", frq, "--sensors", kSensors, "--sensor", "1", "--json"});
    if (analyze.exitCode() != 0)
        return -1;
    return nlohmann::json::parse(analyze.out).value("total_impulse", -1.0);
}

TEST(RecordCommand, RecordsAFiringAutomaticallyWithItsImpulse)
{
    test::TempDir dir;
    std::string path;
    auto logger = startLogger("2", path);
    ASSERT_TRUE(logger);
    const std::string out = dir.file("firing.frq");
    Child record({SELVA_CLI_PATH, "record", "--port", path, "--out", out, "--auto", "--duration", "30"});
    ASSERT_EQ(record.exitCode(), 0) << record.err;
    for (const char* said : {"rest line", "start at reading", "end of thrust", "readings written"})
        EXPECT_NE(record.err.find(said), std::string::npos) << said << "\n" << record.err;
    EXPECT_NEAR(totalImpulse(out), 92.27, 0.01 * 92.27);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
              1); // no temporary file left
}

TEST(RecordCommand, ALoggerKilledMidBurnLeavesWhatItSent)
{
    test::TempDir dir;
    std::string path;
    auto logger = startLogger("2", path);
    ASSERT_TRUE(logger);
    const std::string out = dir.file("cut.frq");
    Child record({SELVA_CLI_PATH, "record", "--port", path, "--out", out, "--auto", "--duration", "30"});
    ASSERT_TRUE(record.waitFor(true, "start at reading", 20)) << record.err;
    usleep(300'000); // 0.6 s of the logger's time into a burn of 1.9 s
    logger->kill();
    EXPECT_EQ(record.exitCode(), 1);
    EXPECT_NE(record.err.find("was lost"), std::string::npos) << record.err;
    EXPECT_NE(record.err.find("readings written"), std::string::npos) << record.err;

    TFreq freq;
    ASSERT_TRUE(freq.LoadFromFile(out));
    // The 2 s before the start and some of the burn; what the file holds is the device tests'.
    EXPECT_GT(freq.RecordCount, 200 + 40);
}

TEST(RecordCommand, AMissingPortIsAClearFailure)
{
    test::TempDir dir;
    Child record({SELVA_CLI_PATH, "record", "--port", dir.file("ttyNone"), "--out", dir.file("x.frq"),
                  "--duration", "1"});
    EXPECT_EQ(record.exitCode(), 1);
    EXPECT_NE(record.err.find("Error opening port"), std::string::npos) << record.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.frq")));
}

} // namespace
} // namespace selva

#endif
