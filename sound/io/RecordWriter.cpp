#include "sound/io/RecordWriter.h"

#include "sound/SoundRing.h"
#include "sound/Wave.h"

#include <chrono>

namespace selva {

RecordWriter::~RecordWriter()
{
    Stop();
}

void RecordWriter::Start(const SoundRingState& ring, TWave& wave, std::int64_t fromFrame)
{
    Stop();
    drain_.Start(fromFrame);
    position_.store(fromFrame, std::memory_order_relaxed);
    stop_.store(false, std::memory_order_relaxed);
    ok_ = true;
    thread_ = std::thread([this, &ring, &wave] { run(ring, wave); });
}

void RecordWriter::run(const SoundRingState& ring, TWave& wave)
{
    for (;;) {
        // Read the flag first: the last drain after it takes everything that arrived before Stop.
        const bool last = stop_.load(std::memory_order_acquire);
        ok_ = drain_.Drain(ring, wave) && ok_;
        position_.store(drain_.Position(), std::memory_order_relaxed);
        if (last)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
}

RecordWriter::Result RecordWriter::Stop()
{
    if (!thread_.joinable())
        return {ok_, drain_.LostFrames()};
    stop_.store(true, std::memory_order_release);
    thread_.join();
    return {ok_, drain_.LostFrames()};
}

} // namespace selva
