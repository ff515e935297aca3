// The logger's report lines as the reader thread collects them: any byte stream is cut into lines of at
// most 511 bytes and decoded without a crash; every decoded value is finite and in its report's range.
#include "logger/LoggerLink.h"
#include "logger/LoggerProtocol.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static selva::LoggerLink link; // one for the whole run: a full ring only drops readings
    selva::LineBuffer line;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            continue;
        if (!line.append(data[i]))
            continue;
        if (line.length() > selva::LineBuffer::MaxLength)
            std::abort();
        const selva::LoggerReport r = selva::decodeLoggerLine(line.line());
        if (!std::isfinite(r.value) || r.flags > 7)
            std::abort();
        if (r.kind == selva::LoggerReport::Battery && (r.value < 0 || r.value > 200))
            std::abort();
        if (r.kind == selva::LoggerReport::Temperature && std::fabs(r.value) > 2048)
            std::abort();
        // Counted readings reach at most 0xFFFFFF periods over one clock tick.
        if (r.kind == selva::LoggerReport::Reading && (r.value < 0 || r.value > 0xFFFFFF * 18432000.0))
            std::abort();
        link.apply(r);
        line.clear();
    }
    return 0;
}
