#include "sound/WaveFrequency.h"

#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SELVA_X86 1
#endif

namespace selva {

namespace {

// How a sample compares with the mean level m and the noise threshold, as integer bounds, so that the
// hot loop compares integers only. Every bound is derived from the very expressions the plain reading
// of the method uses (double(s) > m, double(s) < m, double(s) == m, fabs(double(s) - m) >= noise), so
// both give the same answers for every 32-bit sample.
struct Levels {
    double m = 0.0;
    std::int64_t floorM = 0; // above: s > floorM
    std::int64_t ceilM = 0;  // below: s < ceilM
    bool integral = false;   // m is an integer: s == m possible
    std::int64_t hiT = 0;    // big: s >= hiT or s <= loT
    std::int64_t loT = 0;
};

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

Levels makeLevels(double m, std::int32_t noiseLsb)
{
    Levels lv;
    lv.m = m;
    lv.floorM = static_cast<std::int64_t>(std::floor(m));
    lv.ceilM = static_cast<std::int64_t>(std::ceil(m));
    lv.integral = lv.floorM == lv.ceilM;
    const double noise = double(noiseLsb);
    if (noise <= 0.0) {
        // |s - m| >= noise holds for every sample.
        lv.hiT = kInt32Min;
        lv.loT = kInt32Min - 1;
        return lv;
    }
    // Smallest s with double(s) - m >= noise (none: kInt32Max + 1); the left side grows with s.
    std::int64_t lo = kInt32Min, hi = kInt32Max + 1;
    while (lo < hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (double(mid) - m >= noise)
            hi = mid;
        else
            lo = mid + 1;
    }
    lv.hiT = lo;
    // Largest s with double(s) - m <= -noise (none: kInt32Min - 1).
    lo = kInt32Min - 1;
    hi = kInt32Max;
    while (lo < hi) {
        const std::int64_t mid = hi - (hi - lo) / 2;
        if (double(mid) - m <= -noise)
            lo = mid;
        else
            hi = mid - 1;
    }
    lv.loT = lo;
    return lv;
}

// Crossing detector state carried from one piece of the file to the next.
struct DetectorState {
    std::int32_t prev = 0; // previous sample
    bool armed = false;    // the signal has reached the noise threshold since the last crossing taken
};

struct Detector {
    Levels lv;
    double dt = 0.0;
    // Frames from this index on belong to steps after the first, where a previous sample lying exactly
    // on the mean counts as a crossing.
    std::int64_t rule2From = 0;

    // A previous sample lying exactly on the mean is itself the crossing: its time is that of frame
    // n - 1, which is also where the interpolation below tends as p approaches m. (Timing it at frame n
    // would put such a crossing one frame late, and a clean sine whose samples hit the mean would show
    // a spread of half-periods it does not have.)
    double crossingTime(std::int64_t n, std::int32_t s, std::int32_t p) const
    {
        if (lv.integral && p == lv.floorM)
            return double(n - 1) * dt;
        return (double(n) - (double(s) - lv.m) / (double(s) - double(p))) * dt;
    }

    // Sample by sample, as the method reads.
    template <class Emit>
    void scalar(const std::int32_t* x, std::int64_t n0, std::size_t count, DetectorState& st,
                Emit& emit) const
    {
        std::int32_t p = st.prev;
        bool armed = st.armed;
        for (std::size_t k = 0; k < count; ++k) {
            const std::int32_t s = x[k];
            const std::int64_t n = n0 + static_cast<std::int64_t>(k);
            if (s >= lv.hiT || s <= lv.loT)
                armed = true;
            const bool sign = (p > lv.floorM && s < lv.ceilM) || (p < lv.ceilM && s > lv.floorM);
            const bool onMean = !sign && lv.integral && p == lv.floorM && n >= rule2From;
            if ((sign || onMean) && armed) {
                emit(n, crossingTime(n, s, p));
                armed = false;
            }
            p = s;
        }
        st.prev = p;
        st.armed = armed;
    }

    // Word by word over bit masks of 64 samples: a candidate crossing counts when some sample since the
    // candidate before it reached the noise threshold, which is what the armed flag amounts to.
    // A, B, E, I: per sample above m, below m, on m, inside the noise band.
    template <class Emit>
    void words(const std::int32_t* x, std::int64_t n0, std::size_t count, DetectorState& st,
               const std::uint64_t* A, const std::uint64_t* B, const std::uint64_t* E, const std::uint64_t* I,
               Emit& emit) const
    {
        const std::int32_t p0 = st.prev;
        std::uint64_t pa = p0 > lv.floorM;
        std::uint64_t pb = p0 < lv.ceilM;
        std::uint64_t pe = lv.integral && p0 == lv.floorM;
        bool armed = st.armed;
        const std::size_t wordCount = (count + 63) / 64;
        for (std::size_t w = 0; w < wordCount; ++w) {
            const std::size_t base = w * 64;
            const std::size_t left = count - base;
            const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
            const std::int64_t nw = n0 + static_cast<std::int64_t>(base);
            std::uint64_t rule2;
            if (nw >= rule2From)
                rule2 = ~std::uint64_t{0};
            else if (nw + 64 <= rule2From)
                rule2 = 0;
            else
                rule2 = ~std::uint64_t{0} << (rule2From - nw);
            const std::uint64_t a = A[w], b = B[w];
            const std::uint64_t prevA = (a << 1) | pa, prevB = (b << 1) | pb;
            std::uint64_t cand = (prevA & b) | (prevB & a);
            if (lv.integral)
                cand |= ((E[w] << 1) | pe) & rule2;
            cand &= valid;
            const std::uint64_t big = ~I[w] & valid;
            pa = a >> 63;
            pb = b >> 63;
            pe = lv.integral ? E[w] >> 63 : 0;
            if (!cand) {
                armed = armed || big != 0;
                continue;
            }
            std::uint64_t covered = 0;
            do {
                const int k = __builtin_ctzll(cand);
                const std::uint64_t upTo = k == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << k) - 1;
                if (armed || (big & upTo & ~covered)) {
                    const std::size_t i = base + static_cast<std::size_t>(k);
                    const std::int64_t n = n0 + static_cast<std::int64_t>(i);
                    emit(n, crossingTime(n, x[i], x[static_cast<std::ptrdiff_t>(i) - 1]));
                }
                armed = false;
                covered = upTo;
                cand &= cand - 1;
            } while (cand);
            armed = (big & ~covered) != 0;
        }
        if (count)
            st.prev = x[count - 1];
        st.armed = armed;
    }
};

// Bounds for the mask builders, in the 32-bit lanes they compare: for samples of at most 24 bits the
// bounds are clamped to +-2^30, which keeps every comparison's answer.
struct Bounds32 {
    std::int32_t floorM, ceilM, mInt, hiT, loT;
};

Bounds32 bounds32(const Levels& lv)
{
    const auto clamp = [](std::int64_t v) {
        return static_cast<std::int32_t>(
            std::clamp<std::int64_t>(v, -(std::int64_t{1} << 30), std::int64_t{1} << 30));
    };
    return {clamp(lv.floorM), clamp(lv.ceilM), clamp(lv.floorM), clamp(lv.hiT), clamp(lv.loT)};
}

#if !SELVA_X86
void masksPlain(const std::int32_t* x, std::size_t words, const Bounds32& b, bool wantE, std::uint64_t* A,
                std::uint64_t* B, std::uint64_t* E, std::uint64_t* I)
{
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t a = 0, bl = 0, e = 0, in = 0;
        for (int k = 0; k < 64; ++k) {
            const std::int32_t s = x[w * 64 + static_cast<std::size_t>(k)];
            a |= std::uint64_t{s > b.floorM} << k;
            bl |= std::uint64_t{s < b.ceilM} << k;
            e |= std::uint64_t{s == b.mInt} << k;
            in |= std::uint64_t{s < b.hiT && s > b.loT} << k;
        }
        A[w] = a;
        B[w] = bl;
        E[w] = wantE ? e : 0;
        I[w] = in;
    }
}
#endif

#if SELVA_X86
void masksSse2(const std::int32_t* x, std::size_t words, const Bounds32& b, bool wantE, std::uint64_t* A,
               std::uint64_t* B, std::uint64_t* E, std::uint64_t* I)
{
    const __m128i floorM = _mm_set1_epi32(b.floorM);
    const __m128i ceilM = _mm_set1_epi32(b.ceilM);
    const __m128i mInt = _mm_set1_epi32(b.mInt);
    const __m128i hiT = _mm_set1_epi32(b.hiT);
    const __m128i loT = _mm_set1_epi32(b.loT);
    const auto bits = [](__m128i v) {
        return static_cast<std::uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(v)));
    };
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t a = 0, bl = 0, e = 0, in = 0;
        const std::int32_t* p = x + w * 64;
        for (int g = 0; g < 16; ++g) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * g));
            a |= bits(_mm_cmpgt_epi32(v, floorM)) << (4 * g);
            bl |= bits(_mm_cmplt_epi32(v, ceilM)) << (4 * g);
            in |= bits(_mm_and_si128(_mm_cmplt_epi32(v, hiT), _mm_cmpgt_epi32(v, loT))) << (4 * g);
            if (wantE)
                e |= bits(_mm_cmpeq_epi32(v, mInt)) << (4 * g);
        }
        A[w] = a;
        B[w] = bl;
        E[w] = e;
        I[w] = in;
    }
}

__attribute__((target("avx2"))) inline std::uint64_t laneBits(__m256i m)
{
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(m))));
}

__attribute__((target("avx2"))) void masksAvx2(const std::int32_t* x, std::size_t words, const Bounds32& b,
                                               bool wantE, std::uint64_t* A, std::uint64_t* B,
                                               std::uint64_t* E, std::uint64_t* I)
{
    const __m256i floorM = _mm256_set1_epi32(b.floorM);
    const __m256i ceilM = _mm256_set1_epi32(b.ceilM);
    const __m256i mInt = _mm256_set1_epi32(b.mInt);
    const __m256i hiT = _mm256_set1_epi32(b.hiT);
    const __m256i loT = _mm256_set1_epi32(b.loT);
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t a = 0, bl = 0, e = 0, in = 0;
        const std::int32_t* p = x + w * 64;
        for (int g = 0; g < 8; ++g) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8 * g));
            a |= laneBits(_mm256_cmpgt_epi32(v, floorM)) << (8 * g);
            bl |= laneBits(_mm256_cmpgt_epi32(ceilM, v)) << (8 * g);
            in |= laneBits(_mm256_and_si256(_mm256_cmpgt_epi32(hiT, v), _mm256_cmpgt_epi32(v, loT)))
                  << (8 * g);
            if (wantE)
                e |= laneBits(_mm256_cmpeq_epi32(v, mInt)) << (8 * g);
        }
        A[w] = a;
        B[w] = bl;
        E[w] = e;
        I[w] = in;
    }
}

bool cpuHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

// The samples of one channel of a run of frames, as 32-bit integers.
void extractChannel(const unsigned char* src, std::size_t frames, std::uint32_t frameSize,
                    std::uint32_t offset, int bits, std::int32_t* dst)
{
    const unsigned char* p = src + offset;
    if (bits == 16) {
        std::size_t k = 0;
#if SELVA_X86
        if (frameSize == 4) {
            // Stereo: one frame is one 32-bit lane; the channel is its low or high half.
            for (; k + 4 <= frames; k += 4) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k * 4));
                const __m128i s =
                    offset == 0 ? _mm_srai_epi32(_mm_slli_epi32(v, 16), 16) : _mm_srai_epi32(v, 16);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), s);
            }
        } else if (frameSize == 2) {
            for (; k + 8 <= frames; k += 8) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k * 2));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k),
                                 _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k + 4),
                                 _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16));
            }
        }
#endif
        for (; k < frames; ++k) {
            const unsigned char* q = p + k * frameSize;
            dst[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(q[0] | (q[1] << 8)));
        }
        return;
    }
    if (bits == 8) {
        for (std::size_t k = 0; k < frames; ++k)
            dst[k] = p[k * frameSize];
        return;
    }
    for (std::size_t k = 0; k < frames; ++k)
        dst[k] = ReadSample(p + k * frameSize, bits);
}

// Reads frames [from, to) of the data piece by piece, hands each piece's samples of the channel to the
// detector, and stops at a short read (the end of what the file holds, or a read error). `between` is
// called after every piece with the next frame index and may stop the scan by returning false.
class Scanner {
public:
    Scanner(TWave& wave, const Detector& det, std::uint32_t channelOffset, int simd, std::size_t chunkFrames)
        : wave_(wave), det_(det), frameSize_(wave.GetFrameSize()), offset_(channelOffset),
          bits_(wave.GetBitsPerSample()), simd_(simd)
    {
        // At most 4 MB of file bytes at a time.
        chunkFrames_ =
            std::max<std::size_t>(1, std::min<std::size_t>(chunkFrames, (std::size_t{4} << 20) / frameSize_));
        bytes_.resize(chunkFrames_ * frameSize_);
        // Sub-blocks of the piece, with the previous sample in front and room for a whole last word.
        samples_.resize(kSub + 1 + 64);
    }

    template <class Emit, class Between>
    bool scan(std::int64_t from, std::int64_t to, DetectorState& st, Emit& emit, Between& between)
    {
        std::int64_t n = from;
        while (n < to) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::int64_t>(to - n, std::int64_t(chunkFrames_)));
            const std::size_t got = wave_.ReadDataAt(static_cast<std::uint64_t>(n) * frameSize_,
                                                     bytes_.data(), want * frameSize_) /
                                    frameSize_;
            for (std::size_t done = 0; done < got;) {
                const std::size_t cnt = std::min(kSub, got - done);
                std::int32_t* x = samples_.data() + 1;
                x[-1] = st.prev;
                extractChannel(bytes_.data() + done * frameSize_, cnt, frameSize_, offset_, bits_, x);
                run(x, n + static_cast<std::int64_t>(done), cnt, st, emit);
                done += cnt;
            }
            n += static_cast<std::int64_t>(got);
            if (got < want)
                return true;
            if (!between(n))
                return false;
        }
        return true;
    }

private:
    static constexpr std::size_t kSub = 4096;

    template <class Emit>
    void run(std::int32_t* x, std::int64_t n0, std::size_t cnt, DetectorState& st, Emit& emit)
    {
        // 32-bit samples and the plain level go sample by sample.
        if (simd_ == 0 || bits_ == 32) {
            det_.scalar(x, n0, cnt, st, emit);
            return;
        }
        const std::size_t words = (cnt + 63) / 64;
        // The lanes past the end of the piece are compared too; give them a defined value.
        std::fill(x + cnt, x + words * 64, 0);
        const Bounds32 b = bounds32(det_.lv);
#if SELVA_X86
        if (simd_ >= 2)
            masksAvx2(x, words, b, det_.lv.integral, A_, B_, E_, I_);
        else
            masksSse2(x, words, b, det_.lv.integral, A_, B_, E_, I_);
#else
        masksPlain(x, words, b, det_.lv.integral, A_, B_, E_, I_);
#endif
        det_.words(x, n0, cnt, st, A_, B_, E_, I_, emit);
    }

    TWave& wave_;
    const Detector& det_;
    std::uint32_t frameSize_;
    std::uint32_t offset_;
    int bits_;
    int simd_;
    std::size_t chunkFrames_ = 0;
    std::vector<unsigned char> bytes_;
    std::vector<std::int32_t> samples_;
    std::uint64_t A_[kSub / 64], B_[kSub / 64], E_[kSub / 64], I_[kSub / 64];
};

// Values of one step from its crossing list e[0..k-1] (e[0] carried from the step before), measured
// from entry s0: the mean half-period h, the spread d of the half-periods around it, the frequency
// 1 / 2h and its error.
void stepValues(double h, double deviationSum, std::int64_t intervals, double& freq, double& error)
{
    const double d = std::sqrt(deviationSum / double(intervals));
    freq = 1.0 / (2.0 * h);
    error = freq - 1.0 / ((h + d) * 2.0);
}

} // namespace

int WaveFrequencySimdLevel()
{
#if SELVA_X86
    static const int level = cpuHasAvx2() ? 2 : 1;
    return level;
#else
    return 0;
#endif
}

bool CalcWaveFrequency(TWave& wave, double analysisStep, int channel, std::int32_t noiseLsb,
                       std::vector<double>& freqData, std::vector<double>& freqError, Progress* progress)
{
    return CalcWaveFrequencyTuned(wave, analysisStep, channel, noiseLsb, freqData, freqError, progress,
                                  WaveFrequencyTuning{});
}

bool CalcWaveFrequencyTuned(TWave& wave, double analysisStep, int channel, std::int32_t noiseLsb,
                            std::vector<double>& freqData, std::vector<double>& freqError, Progress* progress,
                            const WaveFrequencyTuning& tuning)
{
    freqData.clear();
    freqError.clear();
    if (progress)
        progress->set(1, 0.0);
    if (!wave.IsLoaded() || wave.IsWriting() || !(analysisStep > 0.0) || !std::isfinite(analysisStep))
        return false;

    const double points = std::nearbyint(wave.GetDuration() / analysisStep);
    if (!(points < double(MaxWaveFrequencyPoints)))
        throw Error("The recording is too long for an analysis step of " + formatGeneral(analysisStep, 15) +
                    " s");
    const std::int64_t pointCount = roundHalfEven(wave.GetDuration() / analysisStep);
    const double framesPerStep = double(wave.GetSampleRate()) * analysisStep;
    if (!(framesPerStep < 4.0e18))
        return false;
    const std::int64_t P = roundHalfEven(framesPerStep);
    if (wave.GetTotalFrames() == 0)
        return false;
    freqData.assign(static_cast<std::size_t>(pointCount), 0.0);
    freqError.assign(static_cast<std::size_t>(pointCount), 0.0);

    const int bits = wave.GetBitsPerSample();
    const std::uint32_t frameSize = wave.GetFrameSize();
    const int c = (channel >= 0 && channel < wave.GetChannels()) ? channel : 0;
    // Sample widths the estimator cannot read leave the series at 0.
    if (pointCount == 0 || !SampleWidthReadable(bits))
        return true;

    const double m = wave.GetChannelMean(static_cast<std::uint8_t>(c));
    if (!wave.ReadFirst()) {
        freqData.clear();
        freqError.clear();
        return false;
    }
    // The first previous sample is the first sample of the data (channel 0 of frame 0).
    std::vector<unsigned char> first(frameSize);
    if (wave.ReadDataAt(0, first.data(), frameSize) < frameSize)
        return true;

    Detector det;
    det.lv = makeLevels(m, noiseLsb);
    det.dt = 1.0 / double(wave.GetSampleRate());
    det.rule2From = P + 1;
    DetectorState state;
    state.prev = ReadSample(first.data(), bits);

    // Step 0 takes frames 0 .. P, step i > 0 frames i*P + 1 .. (i+1)*P; frames beyond the last step and
    // beyond what the block walk serves are not read.
    const std::int64_t served = static_cast<std::int64_t>(wave.ServedFrames());
    const std::int64_t stepFrames = P > 0 ? P : 0;
    const std::int64_t limit = std::min<std::int64_t>(served, pointCount * stepFrames + 1);

    int simd = tuning.simdLevel < 0 ? WaveFrequencySimdLevel()
                                    : std::min(tuning.simdLevel, WaveFrequencySimdLevel());
    Scanner scanner(wave, det, static_cast<std::uint32_t>(c) * static_cast<std::uint32_t>(bits / 8), simd,
                    tuning.chunkFrames);

    double entry0 = 0.0; // the crossing carried into the next step; time 0 at first
    int s0 = 0;          // where the measurement of the current step begins in its list
    std::int64_t step = 0;

    auto finishStep = [&](std::int64_t k, double last, double h, double deviationSum) {
        if (k > 2) {
            stepValues(h, deviationSum, k - s0 - 1, freqData[static_cast<std::size_t>(step)],
                       freqError[static_cast<std::size_t>(step)]);
            s0 = 0;
        } else {
            s0 = k == 1 ? 1 : 0;
        }
        entry0 = last;
        ++step;
    };

    if (static_cast<std::uint64_t>(P) + 2 <= tuning.crossingListLimit) {
        // One pass: the crossing times of the current step are held in a list of at most P + 2 entries.
        std::vector<double> list(static_cast<std::size_t>(P) + 2);
        list[0] = entry0;
        std::size_t k = 1;
        std::int64_t stepEnd = P + 1;
        auto closeStep = [&] {
            double h = 0.0, sum = 0.0;
            if (k > 2) {
                h = (list[k - 1] - list[static_cast<std::size_t>(s0)]) / double(std::int64_t(k) - s0 - 1);
                for (std::size_t j = static_cast<std::size_t>(s0) + 1; j < k; ++j) {
                    const double dev = h - (list[j] - list[j - 1]);
                    sum += dev * dev;
                }
            }
            finishStep(static_cast<std::int64_t>(k), list[k - 1], h, sum);
            list[0] = entry0;
            k = 1;
            stepEnd += stepFrames;
        };
        auto emit = [&](std::int64_t n, double t) {
            while (n >= stepEnd)
                closeStep();
            if (k == list.size())
                list.push_back(0.0); // cannot happen: a step holds at most P + 1 crossings
            list[k++] = t;
        };
        auto between = [&](std::int64_t) {
            if (progress) {
                progress->ProgressFraction.store(double(step) / double(pointCount),
                                                 std::memory_order_relaxed);
                if (progress->cancelled())
                    return false;
            }
            return true;
        };
        if (!scanner.scan(0, limit, state, emit, between)) {
            freqData.clear();
            freqError.clear();
            return false;
        }
        if (limit > 0 && step < pointCount)
            closeStep();
        return true;
    }

    // Steps too long for the list: each step is scanned twice, once for the count and the first and last
    // crossing, and again from the same detector state for the spread around the mean half-period.
    for (std::int64_t from = 0; from < limit && step < pointCount;) {
        const std::int64_t to = std::min<std::int64_t>(step == 0 ? P + 1 : from + P, limit);
        const DetectorState atStart = state;
        std::int64_t count = 0;
        double firstT = 0.0, lastT = entry0;
        auto countEmit = [&](std::int64_t, double t) {
            if (++count == 1)
                firstT = t;
            lastT = t;
        };
        auto between = [&](std::int64_t) { return !(progress && progress->cancelled()); };
        if (!scanner.scan(from, to, state, countEmit, between)) {
            freqData.clear();
            freqError.clear();
            return false;
        }
        const std::int64_t k = count + 1;
        double h = 0.0, sum = 0.0;
        if (k > 2) {
            h = (lastT - (s0 == 0 ? entry0 : firstT)) / double(k - s0 - 1);
            DetectorState again = atStart;
            std::int64_t j = 0;
            double prevT = entry0;
            auto spreadEmit = [&](std::int64_t, double t) {
                if (++j >= s0 + 1) {
                    const double dev = h - (t - prevT);
                    sum += dev * dev;
                }
                prevT = t;
            };
            if (!scanner.scan(from, to, again, spreadEmit, between)) {
                freqData.clear();
                freqError.clear();
                return false;
            }
        }
        finishStep(k, lastT, h, sum);
        if (progress)
            progress->ProgressFraction.store(double(step) / double(pointCount), std::memory_order_relaxed);
        from = to;
    }
    return true;
}

} // namespace selva
