#include "sound/RingDrain.h"

#include "sound/SoundRing.h"
#include "sound/Wave.h"

#include <algorithm>
#include <atomic>

namespace selva {

namespace {
constexpr std::int32_t kPieceFrames = 8192;
} // namespace

void RingDrain::Start(std::int64_t fromFrame)
{
    position_ = std::max<std::int64_t>(fromFrame, 0);
    lost_ = 0;
}

bool RingDrain::append(TWave& wave, const unsigned char* bytes, std::size_t count)
{
    return count == 0 || wave.AppendData(bytes, count);
}

bool RingDrain::Drain(const SoundRingState& ring, TWave& wave)
{
    const std::uint32_t frameSize = ring.FrameSize();
    if (frameSize == 0 || ring.RingFrames <= 0)
        return true;
    if (scratch_.size() < std::size_t(kPieceFrames) * frameSize)
        scratch_.resize(std::size_t(kPieceFrames) * frameSize);
    bool ok = true;
    for (;;) {
        // Acquire: the frames counted have been stored.
        const std::int64_t arrived = ring.ArrivedFrames.load(std::memory_order_acquire);
        if (position_ >= arrived)
            return ok;
        const std::int64_t oldest = arrived - ring.ReadableFrames();
        if (position_ < oldest) {
            // Gone before they could be written: silence in their place.
            const std::int64_t missing = std::min<std::int64_t>(oldest - position_, kPieceFrames);
            std::fill_n(scratch_.begin(), std::size_t(missing) * frameSize,
                        static_cast<unsigned char>(ring.BitsPerSample == 8 ? 0x80 : 0x00));
            ok = append(wave, scratch_.data(), std::size_t(missing) * frameSize) && ok;
            lost_ += missing;
            position_ += missing;
            continue;
        }
        const auto count =
            static_cast<std::int32_t>(std::min<std::int64_t>(arrived - position_, kPieceFrames));
        // A copy the device overtook is taken again; the loop then finds its start gone and fills it.
        if (!ReadRingFrames(ring, position_, count, scratch_.data()))
            continue;
        ok = append(wave, scratch_.data(), std::size_t(count) * frameSize) && ok;
        position_ += count;
    }
}

} // namespace selva
