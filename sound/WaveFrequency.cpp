#include "sound/WaveFrequency.h"

#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

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

// The crossings taken in one sub-block: index into its samples, the sample there and the one before,
// with room for one a sample plus the spare entries the word loop writes past the last one (the four
// entries past the count are 0).
struct Found {
    static constexpr std::size_t kCapacity = 4096 + 64;
    std::uint32_t idx[kCapacity];
    std::int32_t s[kCapacity];
    std::int32_t p[kCapacity];
    double times[kCapacity];
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

    // Sample by sample, as the method reads. Stores the index (into x) of every crossing taken in `out`
    // and returns how many there are; their times come from crossingTimes.
    std::size_t scalar(const std::int32_t* x, std::int64_t n0, std::size_t count, DetectorState& st,
                       Found& out) const
    {
        std::int32_t p = st.prev;
        bool armed = st.armed;
        std::size_t taken = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const std::int32_t s = x[k];
            const std::int64_t n = n0 + static_cast<std::int64_t>(k);
            if (s >= lv.hiT || s <= lv.loT)
                armed = true;
            const bool sign = (p > lv.floorM && s < lv.ceilM) || (p < lv.ceilM && s > lv.floorM);
            const bool onMean = !sign && lv.integral && p == lv.floorM && n >= rule2From;
            if ((sign || onMean) && armed) {
                out.idx[taken] = static_cast<std::uint32_t>(k);
                out.s[taken] = s;
                out.p[taken] = p;
                ++taken;
                armed = false;
            }
            p = s;
        }
        st.prev = p;
        st.armed = armed;
        return taken;
    }

    // Word by word over bit masks of 64 samples: a candidate crossing counts when some sample since the
    // candidate before it reached the noise threshold, which is what the armed flag amounts to.
    // A, B, E, I: per sample above m, below m, on m, inside the noise band.
    // Stores the indices of the crossings taken in `out` as scalar does, and returns their number.
    __attribute__((always_inline)) std::size_t words(const std::int32_t* x, std::int64_t n0,
                                                     std::size_t count, DetectorState& st,
                                                     const std::uint64_t* A, const std::uint64_t* B,
                                                     const std::uint64_t* E, const std::uint64_t* I,
                                                     Found& out) const
    {
        std::size_t taken = 0;
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
            // A candidate counts when the signal reached the threshold at the candidate itself or
            // between it and the candidate before (for the first one of the word: since the last
            // candidate of the words before, which is `armed`). Adding the threshold samples that lie
            // between candidates to the ones of the gaps carries a bit out of every gap holding one of
            // them into the candidate that ends the gap.
            const std::uint64_t gaps = ~cand;
            const std::uint64_t carried = gaps + (big & gaps) + std::uint64_t{armed};
            std::uint64_t accepted = cand & (carried | big);
            const int lastCand = 63 - __builtin_clzll(cand);
            const std::uint64_t covered =
                lastCand == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << lastCand) - 1;
            armed = (big & ~covered) != 0;
            // Eight at a time without asking whether there are that many (entries past the last are
            // rewritten by the next word or never read; a bit index of 64 still reads inside the
            // samples), so that the loop does not end at a different point for every word.
            const auto cnt = static_cast<std::size_t>(std::popcount(accepted));
            std::size_t t = taken;
            const auto eight = [&] {
                for (int r = 0; r < 8; ++r) {
                    const std::size_t i = base + static_cast<std::size_t>(std::countr_zero(accepted));
                    out.idx[t] = static_cast<std::uint32_t>(i);
                    out.s[t] = x[i];
                    out.p[t] = x[static_cast<std::ptrdiff_t>(i) - 1];
                    ++t;
                    accepted &= accepted - 1;
                }
            };
            eight();
            if (cnt > 8) {
                eight();
                while (accepted) {
                    const std::size_t i = base + static_cast<std::size_t>(std::countr_zero(accepted));
                    out.idx[t] = static_cast<std::uint32_t>(i);
                    out.s[t] = x[i];
                    out.p[t] = x[static_cast<std::ptrdiff_t>(i) - 1];
                    ++t;
                    accepted &= accepted - 1;
                }
            }
            taken += cnt;
        }
        if (count)
            st.prev = x[count - 1];
        st.armed = armed;
        return taken;
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

// The four masks of one word, eight samples at a time: above the mean, below it, on it (integral mean
// only), inside the noise band.
struct MaskWordAvx2 {
    __m256i floorM, ceilM, mInt, hiT, loT;
    bool wantE;
    std::uint64_t a = 0, bl = 0, e = 0, in = 0;

    __attribute__((target("avx2"))) MaskWordAvx2(const Bounds32& b, bool withE)
        : floorM(_mm256_set1_epi32(b.floorM)), ceilM(_mm256_set1_epi32(b.ceilM)),
          mInt(_mm256_set1_epi32(b.mInt)), hiT(_mm256_set1_epi32(b.hiT)), loT(_mm256_set1_epi32(b.loT)),
          wantE(withE)
    {
    }
    __attribute__((target("avx2"))) inline void add(__m256i v, int g)
    {
        a |= laneBits(_mm256_cmpgt_epi32(v, floorM)) << (8 * g);
        bl |= laneBits(_mm256_cmpgt_epi32(ceilM, v)) << (8 * g);
        in |= laneBits(_mm256_and_si256(_mm256_cmpgt_epi32(hiT, v), _mm256_cmpgt_epi32(v, loT))) << (8 * g);
        if (wantE)
            e |= laneBits(_mm256_cmpeq_epi32(v, mInt)) << (8 * g);
    }
    void store(std::size_t w, std::uint64_t* A, std::uint64_t* B, std::uint64_t* E, std::uint64_t* I)
    {
        A[w] = a;
        B[w] = bl;
        E[w] = e;
        I[w] = in;
        a = bl = e = in = 0;
    }
};

__attribute__((target("avx2"))) void masksAvx2(const std::int32_t* x, std::size_t words, const Bounds32& b,
                                               bool wantE, std::uint64_t* A, std::uint64_t* B,
                                               std::uint64_t* E, std::uint64_t* I)
{
    MaskWordAvx2 m(b, wantE);
    for (std::size_t w = 0; w < words; ++w) {
        const std::int32_t* p = x + w * 64;
        for (int g = 0; g < 8; ++g)
            m.add(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8 * g)), g);
        m.store(w, A, B, E, I);
    }
}

// extractChannel and masksAvx2 in one go for 16-bit mono and stereo, over whole words of 64 frames.
__attribute__((target("avx2"))) void extractMasks16Avx2(const unsigned char* src, std::size_t words,
                                                        std::uint32_t frameSize, std::uint32_t offset,
                                                        std::int32_t* x, const Bounds32& b, bool wantE,
                                                        std::uint64_t* A, std::uint64_t* B, std::uint64_t* E,
                                                        std::uint64_t* I)
{
    MaskWordAvx2 m(b, wantE);
    for (std::size_t w = 0; w < words; ++w) {
        for (int g = 0; g < 8; ++g) {
            const std::size_t k = w * 64 + static_cast<std::size_t>(8 * g);
            __m256i v;
            if (frameSize == 4) {
                // One frame is one 32-bit lane; the channel is its low or high half.
                const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + k * 4));
                v = offset == 0 ? _mm256_srai_epi32(_mm256_slli_epi32(f, 16), 16) : _mm256_srai_epi32(f, 16);
            } else {
                v = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k * 2)));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(x + k), v);
            m.add(v, g);
        }
        m.store(w, A, B, E, I);
    }
}

// Detector::words where bit counts and bit scans are single instructions.
__attribute__((target("popcnt,bmi,bmi2"))) std::size_t
wordsBmi(const Detector& det, const std::int32_t* x, std::int64_t n0, std::size_t count, DetectorState& st,
         const std::uint64_t* A, const std::uint64_t* B, const std::uint64_t* E, const std::uint64_t* I,
         Found& out)
{
    return det.words(x, n0, count, st, A, B, E, I, out);
}

bool cpuHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
#endif

// Times of the crossings found, frame n0 + idx, computed exactly as Detector::crossingTime does: the
// same operations on the same operands, only several crossings at a time. The frame index is formed as
// n0 + idx in doubles, which is exact for any frame index of a WAV file.
void timesPlain(const Detector& det, std::int64_t n0, std::size_t count, Found& f)
{
    for (std::size_t j = 0; j < count; ++j)
        f.times[j] = det.crossingTime(n0 + static_cast<std::int64_t>(f.idx[j]), f.s[j], f.p[j]);
}

#if SELVA_X86
void timesSse2(const Detector& det, std::int64_t n0, std::size_t count, Found& f)
{
    const __m128d m = _mm_set1_pd(det.lv.m);
    const __m128d dt = _mm_set1_pd(det.dt);
    const __m128d nb = _mm_set1_pd(double(n0));
    const __m128d one = _mm_set1_pd(1.0);
    for (std::size_t j = 0; j < count; j += 2) {
        const auto pair = [&](const auto* v) {
            return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + j)));
        };
        const __m128d s = pair(f.s);
        const __m128d p = pair(f.p);
        const __m128d n = _mm_add_pd(nb, pair(reinterpret_cast<const std::int32_t*>(f.idx)));
        __m128d t = _mm_mul_pd(_mm_sub_pd(n, _mm_div_pd(_mm_sub_pd(s, m), _mm_sub_pd(s, p))), dt);
        if (det.lv.integral) {
            const __m128d onMean = _mm_cmpeq_pd(p, m);
            const __m128d t1 = _mm_mul_pd(_mm_sub_pd(n, one), dt);
            t = _mm_or_pd(_mm_and_pd(onMean, t1), _mm_andnot_pd(onMean, t));
        }
        _mm_storeu_pd(f.times + j, t);
    }
}

__attribute__((target("avx2"))) void timesAvx2(const Detector& det, std::int64_t n0, std::size_t count,
                                               Found& f)
{
    const __m256d m = _mm256_set1_pd(det.lv.m);
    const __m256d dt = _mm256_set1_pd(det.dt);
    const __m256d nb = _mm256_set1_pd(double(n0));
    const __m256d one = _mm256_set1_pd(1.0);
    const bool integral = det.lv.integral;
    for (std::size_t j = 0; j < count; j += 4) {
        const __m256d s = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.s + j)));
        const __m256d p = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.p + j)));
        const __m256d n = _mm256_add_pd(
            nb, _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.idx + j))));
        __m256d t =
            _mm256_mul_pd(_mm256_sub_pd(n, _mm256_div_pd(_mm256_sub_pd(s, m), _mm256_sub_pd(s, p))), dt);
        if (integral) {
            const __m256d onMean = _mm256_cmp_pd(p, m, _CMP_EQ_OQ);
            t = _mm256_blendv_pd(t, _mm256_mul_pd(_mm256_sub_pd(n, one), dt), onMean);
        }
        _mm256_storeu_pd(f.times + j, t);
    }
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

// Reads frames [from, to) of the data piece by piece, finds the crossings of each piece's samples of
// the channel and hands them over a sub-block at a time, and stops at a short read (the end of what the
// file holds, or a read error). `batch(n0, idx, times, count)` receives the crossings of the sub-block
// starting at frame n0: their frames n0 + idx[j] ascending and their times. `between` is called after
// every piece with the next frame index and may stop the scan by returning false.
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
        // Sub-blocks of the piece, with the previous sample in front and room for a whole last word
        // (its lanes past the end of the piece are compared too and stay 0).
        samples_.assign(kSub + 1 + 64, 0);
    }

    template <class Batch, class Between>
    bool scan(std::int64_t from, std::int64_t to, DetectorState& st, Batch& batch, Between& between)
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
                const std::int64_t n0 = n + static_cast<std::int64_t>(done);
                const std::size_t found = run(bytes_.data() + done * frameSize_, x, n0, cnt, st);
                batch(n0, static_cast<const std::uint32_t*>(found_.idx),
                      static_cast<const double*>(found_.times), found);
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
    static_assert(Found::kCapacity >= kSub + 4);

    // Finds the crossings among the samples of the frames at `bytes`, which it leaves in x.
    std::size_t run(const unsigned char* bytes, std::int32_t* x, std::int64_t n0, std::size_t cnt,
                    DetectorState& st)
    {
        std::size_t found;
        // 32-bit samples and the plain level go sample by sample.
        if (simd_ == 0 || bits_ == 32) {
            extractChannel(bytes, cnt, frameSize_, offset_, bits_, x);
            found = det_.scalar(x, n0, cnt, st, found_);
        } else {
            const std::size_t words = (cnt + 63) / 64;
            const Bounds32 b = bounds32(det_.lv);
            std::size_t done = 0; // words whose masks are made
#if SELVA_X86
            if (simd_ >= 2 && bits_ == 16 && (frameSize_ == 2 || frameSize_ == 4)) {
                done = cnt / 64;
                extractMasks16Avx2(bytes, done, frameSize_, offset_, x, b, det_.lv.integral, A_, B_, E_, I_);
            }
#endif
            if (done < words) {
                const std::size_t from = done * 64;
                extractChannel(bytes + from * frameSize_, cnt - from, frameSize_, offset_, bits_, x + from);
                // A short last sub-block leaves samples of the one before in the lanes past its end.
                std::fill(x + cnt, x + words * 64, 0);
                const std::size_t more = words - done;
#if SELVA_X86
                if (simd_ >= 2)
                    masksAvx2(x + from, more, b, det_.lv.integral, A_ + done, B_ + done, E_ + done,
                              I_ + done);
                else
                    masksSse2(x + from, more, b, det_.lv.integral, A_ + done, B_ + done, E_ + done,
                              I_ + done);
#else
                masksPlain(x + from, more, b, det_.lv.integral, A_ + done, B_ + done, E_ + done, I_ + done);
#endif
            }
#if SELVA_X86
            if (simd_ >= 2)
                found = wordsBmi(det_, x, n0, cnt, st, A_, B_, E_, I_, found_);
            else
#endif
                found = det_.words(x, n0, cnt, st, A_, B_, E_, I_, found_);
        }
        for (std::size_t j = found; j < found + 4; ++j)
            found_.idx[j] = found_.s[j] = found_.p[j] = 0;
#if SELVA_X86
        if (simd_ >= 2)
            timesAvx2(det_, n0, found, found_);
        else if (simd_ == 1)
            timesSse2(det_, n0, found, found_);
        else
            timesPlain(det_, n0, found, found_);
#else
        timesPlain(det_, n0, found, found_);
#endif
        return found;
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
    std::unique_ptr<Found> foundPtr_ = std::make_unique<Found>();
    Found& found_ = *foundPtr_;
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

// The one-pass bookkeeping of steps: takes the crossings sub-block by sub-block, closes a step when a
// crossing at or after its end arrives (and the last one at the end of the data), and measures the
// closed steps at the end of every sub-block.
//
// The spread of a step is a sum that has to be added up in the order of its crossings, so one step is
// one chain of dependent additions. The chains of several steps do not depend on each other, though:
// they are run side by side, eight at a time, each in its own order.
class CrossingSteps {
public:
    CrossingSteps(std::vector<double>& freqData, std::vector<double>& freqError, std::int64_t firstEnd,
                  std::int64_t stepFrames, std::size_t longestStep, int simd)
        : freqData_(freqData), freqError_(freqError), stepEnd_(firstEnd), stepFrames_(stepFrames), simd_(simd)
    {
        // The step in progress, what one sub-block adds and what it may leave behind before the array
        // is compacted; it grows beyond only if that reckoning is wrong.
        times_.resize(longestStep + 3 * (kSubBlockCrossings + 4));
        times_[0] = 0.0;
    }

    std::int64_t step() const { return step_; }

    void add(std::int64_t n0, const std::uint32_t* idx, const double* times, std::size_t count)
    {
        if (count == 0)
            return;
        const std::size_t base = size_;
        if (size_ + count > times_.size())
            times_.resize(std::max(times_.size() * 2, size_ + count));
        std::copy(times, times + count, times_.begin() + static_cast<std::ptrdiff_t>(base));
        size_ += count;
        // Crossings from frame stepEnd_ on belong to later steps.
        std::size_t j = 0;
        while (n0 + static_cast<std::int64_t>(idx[count - 1]) >= stepEnd_) {
            j = firstFrom(idx, j, count, stepEnd_ - n0);
            close(base + j);
            while (n0 + static_cast<std::int64_t>(idx[j]) >= stepEnd_)
                close(base + j); // steps without a crossing
        }
        measure();
        // Keep the entry before the step in progress and what follows it.
        const std::size_t drop = first_ - 1;
        if (drop > 0 && drop >= size_ - drop) {
            std::copy(times_.begin() + static_cast<std::ptrdiff_t>(drop),
                      times_.begin() + static_cast<std::ptrdiff_t>(size_), times_.begin());
            size_ -= drop;
            first_ -= drop;
        }
    }

    // Closes the step in progress at the end of the data.
    void closeLast()
    {
        close(size_);
        measure();
    }

private:
    static constexpr std::size_t kSubBlockCrossings = 4096;

    // The first j in [from, count) with idx[j] >= end, which is known to exist. Halving without
    // branches: a step holds a few hundred crossings, and a loop that stops at the step's end would
    // guess wrong once a step.
    static std::size_t firstFrom(const std::uint32_t* idx, std::size_t from, std::size_t count,
                                 std::int64_t end)
    {
        // It lies in [at, at + n).
        const std::uint32_t* at = idx + from;
        std::size_t n = count - from;
        while (n > 1) {
            const std::size_t half = n / 2;
            at = std::int64_t{at[half - 1]} < end ? at + half : at;
            n -= half;
        }
        return static_cast<std::size_t>(at - idx);
    }

    // Closes the step in progress; its crossings are times_[first_ .. end).
    void close(std::size_t end)
    {
        const std::size_t crossings = end - first_;
        if (crossings >= 2) {
            closed_.push_back({first_, end, s0_, step_});
            s0_ = 0;
        } else {
            // No crossing: the carried one is too old to measure from. One: the next step measures
            // from it.
            s0_ = crossings == 0 ? 1 : 0;
        }
        first_ = end;
        ++step_;
        stepEnd_ += stepFrames_;
    }

    struct Closed {
        std::size_t first, end; // its crossings in times_
        int s0;
        std::int64_t step;
    };

    static constexpr int kLanes = 8;

    struct Lane {
        const double* e; // the entry a deviation is taken from, e[1] the next one
        std::size_t left;
        double h;
        double sum;
        std::size_t intervals;
        std::int64_t step;
    };

    // Adds n deviations to each lane's sum. Lanes without a step of their own repeat lane 0's reading
    // and their sums are not used. Every lane adds its own deviations one after the other; only the
    // lanes share registers.
    static void accumulate(Lane* lanes, std::size_t n, int simd)
    {
#if SELVA_X86
        if (simd >= 2) {
            accumulateAvx(lanes, n);
        } else {
            accumulatePair(lanes, n);
            accumulatePair(lanes + 2, n);
            accumulatePair(lanes + 4, n);
            accumulatePair(lanes + 6, n);
        }
#else
        (void)simd;
        for (int l = 0; l < kLanes; ++l) {
            const double* e = lanes[l].e;
            const double h = lanes[l].h;
            double sum = lanes[l].sum;
            for (std::size_t j = 0; j < n; ++j) {
                const double dev = h - (e[j + 1] - e[j]);
                sum += dev * dev;
            }
            lanes[l].sum = sum;
        }
#endif
        for (int l = 0; l < kLanes; ++l) {
            lanes[l].e += n;
            lanes[l].left -= std::min(n, lanes[l].left);
        }
    }

#if SELVA_X86
    static void accumulatePair(Lane* lanes, std::size_t n)
    {
        const double *e0 = lanes[0].e, *e1 = lanes[1].e;
        const __m128d h = _mm_set_pd(lanes[1].h, lanes[0].h);
        __m128d sum = _mm_set_pd(lanes[1].sum, lanes[0].sum);
        __m128d prev = _mm_set_pd(e1[0], e0[0]);
        for (std::size_t j = 1; j <= n; ++j) {
            const __m128d cur = _mm_loadh_pd(_mm_load_sd(e0 + j), e1 + j);
            const __m128d dev = _mm_sub_pd(h, _mm_sub_pd(cur, prev));
            sum = _mm_add_pd(sum, _mm_mul_pd(dev, dev));
            prev = cur;
        }
        lanes[0].sum = _mm_cvtsd_f64(sum);
        lanes[1].sum = _mm_cvtsd_f64(_mm_unpackhi_pd(sum, sum));
    }

    __attribute__((target("avx2"))) static void accumulateAvx(Lane* lanes, std::size_t n)
    {
        const double *e0 = lanes[0].e, *e1 = lanes[1].e, *e2 = lanes[2].e, *e3 = lanes[3].e;
        const double *e4 = lanes[4].e, *e5 = lanes[5].e, *e6 = lanes[6].e, *e7 = lanes[7].e;
        const __m256d hA = _mm256_set_pd(lanes[3].h, lanes[2].h, lanes[1].h, lanes[0].h);
        const __m256d hB = _mm256_set_pd(lanes[7].h, lanes[6].h, lanes[5].h, lanes[4].h);
        __m256d sA = _mm256_set_pd(lanes[3].sum, lanes[2].sum, lanes[1].sum, lanes[0].sum);
        __m256d sB = _mm256_set_pd(lanes[7].sum, lanes[6].sum, lanes[5].sum, lanes[4].sum);
        __m256d pA = _mm256_set_pd(e3[0], e2[0], e1[0], e0[0]);
        __m256d pB = _mm256_set_pd(e7[0], e6[0], e5[0], e4[0]);
        for (std::size_t j = 1; j <= n; ++j) {
            const __m256d cA = _mm256_set_pd(e3[j], e2[j], e1[j], e0[j]);
            const __m256d cB = _mm256_set_pd(e7[j], e6[j], e5[j], e4[j]);
            const __m256d dA = _mm256_sub_pd(hA, _mm256_sub_pd(cA, pA));
            const __m256d dB = _mm256_sub_pd(hB, _mm256_sub_pd(cB, pB));
            sA = _mm256_add_pd(sA, _mm256_mul_pd(dA, dA));
            sB = _mm256_add_pd(sB, _mm256_mul_pd(dB, dB));
            pA = cA;
            pB = cB;
        }
        alignas(32) double out[8];
        _mm256_store_pd(out, sA);
        _mm256_store_pd(out + 4, sB);
        for (int l = 0; l < 8; ++l)
            lanes[l].sum = out[l];
    }
#endif

    // Values of the closed steps: step list e[0 .. k-1] with e[0] = times_[first - 1], measured from
    // entry s0 over k - s0 - 1 intervals.
    void measure()
    {
        std::size_t next = 0;
        Lane lanes[kLanes];
        int active = 0;
        const auto start = [&](Lane& lane) {
            const Closed& c = closed_[next++];
            const double* e = times_.data() + c.first - 1 + static_cast<std::size_t>(c.s0);
            lane.intervals = c.end - c.first - static_cast<std::size_t>(c.s0);
            lane.h = (times_[c.end - 1] - e[0]) / double(static_cast<std::int64_t>(lane.intervals));
            lane.e = e;
            lane.left = lane.intervals;
            lane.sum = 0.0;
            lane.step = c.step;
        };
        while (active < kLanes && next < closed_.size())
            start(lanes[active++]);
        while (active > 0) {
            std::size_t n = lanes[0].left;
            for (int l = 1; l < active; ++l)
                n = std::min(n, lanes[l].left);
            for (int l = active; l < kLanes; ++l) {
                lanes[l] = lanes[0];
                lanes[l].h = 0.0;
            }
            accumulate(lanes, n, simd_);
            for (int l = 0; l < active;) {
                Lane& lane = lanes[l];
                if (lane.left > 0) {
                    ++l;
                    continue;
                }
                const auto i = static_cast<std::size_t>(lane.step);
                stepValues(lane.h, lane.sum, static_cast<std::int64_t>(lane.intervals), freqData_[i],
                           freqError_[i]);
                if (next < closed_.size())
                    start(lane);
                else
                    lane = lanes[--active];
            }
        }
        closed_.clear();
    }

    std::vector<double>& freqData_;
    std::vector<double>& freqError_;
    std::vector<double> times_;
    std::size_t size_ = 1;  // times_[0 .. size_) in use
    std::size_t first_ = 1; // first crossing of the step in progress; times_[first_ - 1] is its entry 0
    int s0_ = 0;            // where the measurement of the step in progress begins in its list
    std::int64_t step_ = 0;
    std::int64_t stepEnd_; // frame at which the step in progress ends
    std::int64_t stepFrames_;
    int simd_;
    std::vector<Closed> closed_;
};

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

    CheckPointCount(std::nearbyint(wave.GetDuration() / analysisStep), analysisStep);
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
        // One pass. The crossing times are kept in one array in the order found; a step's list is the
        // run of its own crossings with the entry just before it as entry 0 (initially time 0). The
        // array holds the crossings of the step in progress and of the current sub-block; what lies
        // before the step in progress is dropped once it is measured.
        CrossingSteps steps(freqData, freqError, P + 1, stepFrames,
                            static_cast<std::size_t>(std::min<std::int64_t>(P, limit)) + 2, simd);
        auto batch = [&](std::int64_t n0, const std::uint32_t* idx, const double* times, std::size_t count) {
            steps.add(n0, idx, times, count);
        };
        auto between = [&](std::int64_t) {
            if (progress) {
                progress->ProgressFraction.store(double(steps.step()) / double(pointCount),
                                                 std::memory_order_relaxed);
                if (progress->cancelled())
                    return false;
            }
            return true;
        };
        if (!scanner.scan(0, limit, state, batch, between)) {
            freqData.clear();
            freqError.clear();
            return false;
        }
        if (limit > 0 && steps.step() < pointCount)
            steps.closeLast();
        return true;
    }

    // Steps too long for the list: each step is scanned twice, once for the count and the first and last
    // crossing, and again from the same detector state for the spread around the mean half-period.
    for (std::int64_t from = 0; from < limit && step < pointCount;) {
        const std::int64_t to = std::min<std::int64_t>(step == 0 ? P + 1 : from + P, limit);
        const DetectorState atStart = state;
        std::int64_t count = 0;
        double firstT = 0.0, lastT = entry0;
        auto countEmit = [&](double t) {
            if (++count == 1)
                firstT = t;
            lastT = t;
        };
        auto countBatch = [&](std::int64_t, const std::uint32_t*, const double* times, std::size_t found) {
            for (std::size_t j = 0; j < found; ++j)
                countEmit(times[j]);
        };
        auto between = [&](std::int64_t) { return !(progress && progress->cancelled()); };
        if (!scanner.scan(from, to, state, countBatch, between)) {
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
            auto spreadEmit = [&](double t) {
                if (++j >= s0 + 1) {
                    const double dev = h - (t - prevT);
                    sum += dev * dev;
                }
                prevT = t;
            };
            auto spreadBatch = [&](std::int64_t, const std::uint32_t*, const double* times,
                                   std::size_t found) {
                for (std::size_t q = 0; q < found; ++q)
                    spreadEmit(times[q]);
            };
            if (!scanner.scan(from, to, again, spreadBatch, between)) {
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
