#include "sound/SoundTransport.h"

#include "sound/Wave.h"

#include <algorithm>
#include <cstring>

namespace selva {

SoundTransport::SoundTransport(SoundRingState& ring) : ring_(ring) {}

void SoundTransport::resetState()
{
    headers_.fill(Header{});
    headerIndex_ = 0;
    oldest_ = 0;
    queued_ = 0;
    ringByteOffset_ = 0;
    finished_ = 0;
    refillsDue_ = 0;
    wave_ = nullptr;
    endOfFile_.store(false, std::memory_order_relaxed);
    drained_.store(false, std::memory_order_relaxed);
    playbackEnded_.store(false, std::memory_order_relaxed);
    playedBytes_.store(0, std::memory_order_relaxed);
}

void SoundTransport::PrepareCapture(std::uint16_t channels, std::uint32_t sampleRate,
                                    std::uint16_t bitsPerSample, double waveLenSeconds)
{
    resetState();
    layout_ = CaptureLayout::For(channels, sampleRate, bitsPerSample, waveLenSeconds);
    ring_.SetFormat(channels, sampleRate, bitsPerSample);
    ring_.SetWaveLen(waveLenSeconds);
    // Every start begins with an empty ring and every position at 0.
    std::fill(ring_.SoundRing.begin(), ring_.SoundRing.end(), 0);
    ring_.ResetPositions();
    // The device fills one buffer at a time, the one after the record frame.
    ring_.WriteAheadFrames = layout_.BufferFrames;
    ring_.ApplyPendingSettings();
    headerIndex_ = slotCount() - 1; // the first buffer goes into header 0

    for (int h = 0; h < layout_.QueuedBuffers(); ++h)
        queue(layout_.ChunkBytesAt(ringByteOffset_ >= layout_.RingBytes ? 0 : ringByteOffset_));
}

bool SoundTransport::PreparePlayback(TWave& wave, double waveLenSeconds)
{
    resetState();
    if (!wave.Rewind())
        return false;
    layout_ =
        CaptureLayout::For(wave.GetChannels(), wave.GetSampleRate(), wave.GetBitsPerSample(), waveLenSeconds);
    ring_.SetFormat(wave.GetChannels(), wave.GetSampleRate(), wave.GetBitsPerSample());
    ring_.SetWaveLen(waveLenSeconds);
    std::fill(ring_.SoundRing.begin(), ring_.SoundRing.end(), 0);
    ring_.ResetPositions();
    // The queued buffers ahead of the record frame are refilled from the file while they wait.
    ring_.WriteAheadFrames = layout_.QueuedBuffers() * layout_.BufferFrames;
    ring_.ApplyPendingSettings();
    headerIndex_ = slotCount() - 1;

    wave_ = &wave;
    scratch_.assign(std::size_t(std::max(layout_.BufferBytes, 0)), 0);
    for (int h = 0; h < layout_.QueuedBuffers(); ++h)
        readAndQueue();
    if (layout_.QueuedBuffers() > 0 && Queued(queued_ - 1).length == 0)
        endOfFile_.store(true, std::memory_order_release);
    return true;
}

void SoundTransport::queue(std::int32_t length)
{
    if (queued_ >= slotCount())
        return;
    headerIndex_ = (headerIndex_ + 1) % slotCount();
    Header& h = headers_[std::size_t(headerIndex_)];
    h.offset = ringByteOffset_;
    h.length = length;
    h.done = 0;
    if (queued_ == 0)
        oldest_ = headerIndex_;
    ++queued_;
    ringByteOffset_ += length;
    if (ringByteOffset_ >= layout_.RingBytes)
        ringByteOffset_ = 0;
}

void SoundTransport::analyse()
{
    if (Live.load(std::memory_order_relaxed) || AutoActive.load(std::memory_order_relaxed))
        AnalyseSoundBlock(ring_, Channel.load(std::memory_order_relaxed));
}

void SoundTransport::CaptureArrived(const unsigned char* bytes, std::size_t count)
{
    while (count > 0 && !ClosingInput.load(std::memory_order_acquire) && queued_ > 0) {
        Header& h = headers_[std::size_t(oldest_)];
        const std::size_t take = std::min<std::size_t>(count, std::size_t(h.length - h.done));
        ring_.StoreBytes(std::size_t(h.offset + h.done), bytes, take);
        h.done += static_cast<std::int32_t>(take);
        bytes += take;
        count -= take;
        if (h.done >= h.length)
            captureBufferDone();
    }
}

void SoundTransport::captureBufferDone()
{
    const Header finished = headers_[std::size_t(oldest_)];
    oldest_ = (oldest_ + 1) % slotCount();
    --queued_;
    ++finished_;
    // The record frame marks the end of the data that has arrived.
    if (const std::uint32_t frameSize = layout_.FrameSize())
        ring_.AdvanceRecordFrame(finished.done / static_cast<std::int32_t>(frameSize));
    // The next buffer: at the ring byte offset, a whole buffer or the rest of the ring.
    queue(layout_.ChunkBytesAt(ringByteOffset_));
    analyse();
}

void SoundTransport::readAndQueue()
{
    if (ringByteOffset_ >= layout_.RingBytes)
        ringByteOffset_ = 0;
    const std::int32_t chunk = layout_.ChunkBytesAt(ringByteOffset_);
    std::size_t got = 0;
    if (wave_ != nullptr && chunk > 0) {
        got = wave_->ReadData(scratch_.data(), std::size_t(chunk));
        // A piece of a frame at the very end of the data is not played.
        if (const std::uint32_t frameSize = layout_.FrameSize())
            got -= got % frameSize;
        ring_.StoreBytes(std::size_t(ringByteOffset_), scratch_.data(), got);
    }
    if (got == 0)
        endOfFile_.store(true, std::memory_order_release);
    queue(static_cast<std::int32_t>(got));
}

std::size_t SoundTransport::PlaybackPull(unsigned char* out, std::size_t max)
{
    std::size_t served = 0;
    while (served < max && !ClosingOutput.load(std::memory_order_acquire) && queued_ > 0) {
        Header& h = headers_[std::size_t(oldest_)];
        if (h.length == 0) {
            // The empty buffer after the end: everything before it has gone to the device.
            drained_.store(true, std::memory_order_release);
            break;
        }
        const std::size_t take = std::min<std::size_t>(max - served, std::size_t(h.length - h.done));
        // This thread wrote these bytes: a plain copy races with nothing (readers only read).
        std::memcpy(out + served, ring_.SoundRing.data() + h.offset + h.done, take);
        h.done += static_cast<std::int32_t>(take);
        served += take;
        playedBytes_.store(playedBytes_.load(std::memory_order_relaxed) + std::int64_t(take),
                           std::memory_order_release);
        if (h.done >= h.length)
            playbackBufferDone();
    }
    return served;
}

void SoundTransport::playbackBufferDone()
{
    const Header finished = headers_[std::size_t(oldest_)];
    oldest_ = (oldest_ + 1) % slotCount();
    --queued_;
    ++finished_;
    if (const std::uint32_t frameSize = layout_.FrameSize())
        ring_.AdvanceRecordFrame(finished.length / static_cast<std::int32_t>(frameSize));
    if (!EndOfFile())
        ++refillsDue_;
    analyse();
}

void SoundTransport::PlaybackRefill()
{
    for (; refillsDue_ > 0 && !ClosingOutput.load(std::memory_order_acquire); --refillsDue_)
        if (!EndOfFile())
            readAndQueue();
}

} // namespace selva
