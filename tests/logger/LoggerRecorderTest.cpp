// Manual and automatic recording over synthetic reading streams, as the display ticks drive them.
#include "logger/LoggerRecorder.h"

#include "common/LittleEndian.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <vector>

namespace selva {
namespace {

// A recorder fed from a queue the test fills, with its files in a fresh folder.
struct Bench {
    test::TempDir dir;
    std::deque<float> queue;
    std::vector<FinishedRecording> finished;
    LoggerRecorder recorder;

    explicit Bench(LoggerRecorder::Config config = {})
        : recorder(config, [this](float* out, std::size_t max) {
              const std::size_t n = std::min(max, queue.size());
              std::copy_n(queue.begin(), n, out);
              queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
              return n;
          })
    {
        recorder.setFolder(dir.path().string());
        recorder.onFinished = [this](const FinishedRecording& f) { finished.push_back(f); };
    }
    // `n` readings of `value`, then a display tick.
    void feed(std::size_t n, float value)
    {
        queue.insert(queue.end(), n, value);
        recorder.tick();
    }
    void feed(const std::vector<float>& values)
    {
        queue.insert(queue.end(), values.begin(), values.end());
        recorder.tick();
    }
    std::vector<float> recorded(std::size_t i = 0) const
    {
        const std::string bytes = test::readFile(finished.at(i).tempFile);
        std::vector<float> v(bytes.size() / 4);
        for (std::size_t k = 0; k < v.size(); ++k)
            v[k] = le::getF32(reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * k);
        return v;
    }
    std::size_t filesInFolder() const
    {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    }
};

TEST(AutoRecord, RestLineIsTheMeanOfTheReadingsOfTdAfterAuto)
{
    Bench b;
    b.feed(50, 500); // before "AUTO": not part of the rest line
    ASSERT_TRUE(b.recorder.pressAuto());
    EXPECT_EQ(b.recorder.autoState(), AutoState::RestLine);
    std::vector<float> rest;
    for (int i = 0; i < 199; ++i)
        rest.push_back(i % 2 ? 990.0f : 1010.0f);
    b.feed(rest);
    EXPECT_EQ(b.recorder.autoState(), AutoState::RestLine); // 199 of 200
    b.feed(1, 1000);
    EXPECT_EQ(b.recorder.autoState(), AutoState::WaitStart);
    EXPECT_FLOAT_EQ(b.recorder.machine().restLine(), (99 * 990.0f + 100 * 1010.0f + 1000) / 200);
}

// A reading exactly E away from the rest line does not trigger and one unit more does; the recording then
// begins Tg before the start, which is the last reading on the line.
TEST(AutoRecord, OneUnitBeyondETriggersAndTgBeforeTheLastReadingOnTheLineIsKept)
{
    for (const float side : {1.0f, -1.0f}) {
        SCOPED_TRACE(side);
        Bench b;
        b.recorder.pressAuto();
        b.feed(200, 1000);
        ASSERT_EQ(b.recorder.autoState(), AutoState::WaitStart);
        b.feed({1000 + 5 * side, 1000 + 5 * side, 1000});
        EXPECT_EQ(b.recorder.autoState(), AutoState::WaitStart);
        // A stretch on the far side of the line, then 201 readings on it and a rise: the recording must
        // begin with the 200 before the start and the start itself, nothing older.
        b.feed(150, 1000 - 2 * side);
        b.feed(201, 1000);
        // 6 away triggers (the newest reading of a tick is looked at in the next one).
        b.feed({1000 + 2 * side, 1000 + 4 * side, 1000 + 6 * side, 1000 + 50 * side});
        ASSERT_EQ(b.recorder.autoState(), AutoState::Started);
        b.feed({1000 + 50 * side});
        EXPECT_EQ(b.recorder.machine().startIndex(), 200 + 3 + 150 + 201 - 1);
        b.recorder.stopRecording();
        ASSERT_EQ(b.finished.size(), 1u);
        const std::vector<float> r = b.recorded();
        ASSERT_EQ(r.size(), 201u + 5u);
        EXPECT_TRUE(std::all_of(r.begin(), r.begin() + 201, [](float v) { return v == 1000; }));
        EXPECT_EQ(r[201], 1000 + 2 * side);
    }
}

TEST(AutoRecord, AutoWhileWaitingForTheStartWritesNothing)
{
    Bench b;
    b.recorder.pressAuto();
    b.feed(300, 1000);
    ASSERT_EQ(b.recorder.autoState(), AutoState::WaitStart);
    ASSERT_EQ(b.filesInFolder(), 1u); // the temporary file waits for a start
    b.recorder.pressAuto();
    EXPECT_EQ(b.recorder.autoState(), AutoState::Idle);
    EXPECT_TRUE(b.finished.empty());
    EXPECT_EQ(b.filesInFolder(), 0u);
}

// A whole firing: rest, a plateau 300 units above the line for 1.5 s, rest again. The guard interval after
// the end of thrust is the whole Tg however the ticks fall (counting the stretch between the end reference
// and the tick that found it twice would cut it short).
TEST(AutoRecord, AFiringIsRecordedFromTgBeforeTheStartToTgAfterTheEnd)
{
    for (const std::size_t tick : {30u, 7u, 250u}) {
        SCOPED_TRACE(tick);
        Bench b;
        std::vector<float> stream(600, 1000.0f);
        stream.insert(stream.end(), 150, 1300.0f);
        stream.insert(stream.end(), 800, 1000.0f);
        b.recorder.pressAuto();
        std::vector<AutoState> states{b.recorder.autoState()};
        for (std::size_t at = 0; at < stream.size() && b.finished.empty(); at += tick) {
            b.feed({stream.begin() + static_cast<std::ptrdiff_t>(at),
                    stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + tick))});
            if (states.back() != b.recorder.autoState())
                states.push_back(b.recorder.autoState());
        }
        EXPECT_EQ(states,
                  (std::vector<AutoState>{AutoState::RestLine, AutoState::WaitStart, AutoState::Started,
                                          AutoState::WaitEnd, AutoState::Guard, AutoState::Idle}));
        ASSERT_EQ(b.finished.size(), 1u);
        EXPECT_TRUE(b.finished[0].automatic);
        const std::vector<float> r = b.recorded();
        const auto first = std::find(r.begin(), r.end(), 1300.0f) - r.begin();
        EXPECT_EQ(first, 201); // Tg before the start, and the start reading
        // The guard interval is counted from the end reference: at least Tg is recorded after it, and at
        // most one tick more.
        const std::int64_t endAt = first + (b.recorder.machine().endReference() - 600);
        const std::int64_t afterEnd = static_cast<std::int64_t>(r.size()) - 1 - endAt;
        EXPECT_GE(afterEnd, 200);
        EXPECT_LE(afterEnd, 200 + static_cast<std::int64_t>(tick));
    }
}

// Every reading received is written, even when a tick brings more than the window holds; each tick is on
// the disk before the next, and the readings that came after the last tick are written by the stop.
TEST(ManualRecord, EveryReadingReceivedIsOnTheDiskAndInTheRecord)
{
    LoggerRecorder::Config config;
    config.window = 0.1; // ten readings in the window
    Bench b(config);
    ASSERT_TRUE(b.recorder.pressRecord());
    std::vector<float> values(1000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = 8000.0f + static_cast<float>(i);
    b.feed(values);
    const std::filesystem::path temp = std::filesystem::directory_iterator(b.dir.path())->path();
    EXPECT_EQ(std::filesystem::file_size(temp), 999u * 4); // all but the newest, which the next tick takes
    b.queue.insert(b.queue.end(), {9000.0f, 9001.0f});     // the port went away before the next tick
    b.recorder.stopRecording();
    ASSERT_EQ(b.finished.size(), 1u);
    const std::vector<float> r = b.recorded();
    ASSERT_EQ(r.size(), 1002u);
    for (std::size_t i = 0; i < r.size(); ++i)
        ASSERT_EQ(r[i], i < 1000 ? values[i] : 9000.0f + static_cast<float>(i - 1000));

    const std::string out = b.dir.file("run.frq");
    const SavedRecording saved = saveRecording(b.finished[0], out, b.dir.path().string(), {});
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(saved.readings, 1002u);
    const std::string text = test::readFile(out);
    EXPECT_EQ(text.substr(0, text.find("8000.000")),
              "FREQ\r\n" + out + "\r\n1002\r\n   0.010\r\n---------------\r\nSTART\r\n");
    EXPECT_FALSE(std::filesystem::exists(b.finished[0].tempFile)); // deleted once the record was complete
}

TEST(ManualRecord, NoTemporaryFileNoRecording)
{
    Bench b;
    b.recorder.setFolder(b.dir.file("missing/folder"));
    EXPECT_FALSE(b.recorder.pressRecord());
    EXPECT_FALSE(b.recorder.recording());
    EXPECT_FALSE(b.recorder.pressAuto());
    EXPECT_EQ(b.recorder.autoState(), AutoState::Idle);
    EXPECT_NE(b.recorder.errorText().find("missing"), std::string::npos);
}

TEST(ReadingWindow, KeepsTheLatestReadingsWhenItsLengthChanges)
{
    ReadingWindow w(4);
    for (int i = 0; i < 10; ++i)
        w.push(static_cast<float>(i));
    EXPECT_EQ(w.oldest(), 6);
    w.setLength(3);
    EXPECT_EQ(w.oldest(), 7);
    EXPECT_EQ(w.at(7), 7.0f);
    EXPECT_EQ(w.at(9), 9.0f);
    w.setLength(8); // nothing is invented when it grows
    EXPECT_EQ(w.oldest(), 7);
    w.push(10);
    EXPECT_EQ(w.at(10), 10.0f);
    EXPECT_EQ(w.at(7), 7.0f);
    EXPECT_EQ(LoggerRecorder::windowLength(5.0, 0.01), 500);
    EXPECT_EQ(LoggerRecorder::windowLength(5.0, 0.0), 2);
}

} // namespace
} // namespace selva
