// Pure playback arithmetic: timing, the two pitch tables, waveforms and the
// 16-bit output conversion.
#include "music/engine/xm_math.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>

namespace kestrane::music::engine {
namespace {

constexpr int16_t kAutoVibratoQuarterSine[65] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24, 26, 27, 29, 30, 32,
    33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56,
    56, 57, 58, 59, 59, 60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};

constexpr int16_t kVibratoHalfSine[32] = {0,   12,  25,  37,  49,  60,  71,  81,  90,  98,  106,
                                          112, 117, 122, 125, 126, 127, 126, 125, 122, 117, 112,
                                          106, 98,  90,  81,  71,  60,  49,  37,  25,  12};

}  // namespace

int32_t XmFramesPerTick(int tempo) { return tempo <= 0 ? 120000 : 120000 / tempo; }

int32_t XmLinearPeriod(int note, int finetune) { return 7680 - 64 * note - finetune / 2; }

int32_t XmAmigaPeriod(int note, int finetune) {
    auto base = [](int n) {
        return static_cast<int32_t>(std::lround(13.375 * std::exp2((132.0 - n) / 12.0)));
    };
    const int32_t p = base(note);
    if (finetune > 0) return p + (base(note + 1) - p) * finetune / 128;
    if (finetune < 0) return p + (base(note - 1) - p) * (-finetune) / 128;
    return p;
}

int32_t XmNotePeriod(bool linear, int note, int finetune) {
    return linear ? XmLinearPeriod(note, finetune) : XmAmigaPeriod(note, finetune);
}

uint32_t XmLinearFrequency(int32_t period, int32_t offset) {
    const int64_t p = int64_t{period} + offset;
    if (p <= 0) return 40;
    auto exact = [](int64_t q) {
        return static_cast<uint32_t>(std::llround(8363.0 * std::exp2(static_cast<double>(4608 - q) / 768.0)));
    };
    // Every tick asks again for every channel, nearly always for a period
    // met before; the formula's results are kept per period (0: not yet
    // computed; no period in the table gives 0 Hz).
    constexpr int64_t kTablePeriods = 12288;
    static std::array<std::atomic<uint32_t>, kTablePeriods> table{};
    if (p >= kTablePeriods) return exact(p);
    std::atomic<uint32_t>& slot = table[static_cast<size_t>(p)];
    uint32_t f = slot.load(std::memory_order_relaxed);
    if (f == 0) {
        f = exact(p);
        slot.store(f, std::memory_order_relaxed);
    }
    return f;
}

uint32_t XmAmigaFrequency(int32_t period, int32_t offset) {
    const int64_t p = int64_t{period} + offset;
    if (p <= 0) return 40;
    return static_cast<uint32_t>(14317456 / p);
}

uint64_t XmStepForFrequency(uint32_t frequency) {
    const uint64_t whole = frequency / kXmSampleRate;
    const uint64_t rest = frequency % kXmSampleRate;
    return (whole << 32) | ((rest << 32) / kXmSampleRate);
}

namespace {

std::atomic<bool> g_simdAllowed{true};

// Magnitudes from this bound on give 32,767 or more; below it the rounded
// quotient (m + 8160) / 16320 equals XmConvertSample's.
constexpr int64_t kConvertLimit = int64_t{16320} * 32767 - 8160;

// The unity conversion four values at a time. (m + 8160) / 16320 is
// ((m + 8160) >> 6) / 255, and for values below 2^24 the division by 255
// is exactly (y * 8,421,505) >> 31 (the multiplier's error, 127 / 2^31 per
// unit, stays below 1/255 up to 2^24).
__attribute__((target("avx2"))) size_t ConvertUnityAvx2(const int64_t* accumulated, int16_t* out,
                                                        size_t count) {
    const __m256i limit = _mm256_set1_epi64x(kConvertLimit);
    const __m256i half = _mm256_set1_epi64x(8160);
    const __m256i magic = _mm256_set1_epi64x(8421505);
    const __m256i evenLanes = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(accumulated + i));
        const __m256i negative = _mm256_cmpgt_epi64(_mm256_setzero_si256(), a);
        __m256i m = _mm256_sub_epi64(_mm256_xor_si256(a, negative), negative);
        m = _mm256_blendv_epi8(m, limit, _mm256_cmpgt_epi64(m, limit));
        const __m256i y = _mm256_srli_epi64(_mm256_add_epi64(m, half), 6);
        const __m256i q = _mm256_srli_epi64(_mm256_mul_epu32(y, magic), 31);
        const __m256i signedQ = _mm256_sub_epi64(_mm256_xor_si256(q, negative), negative);
        const __m128i q32 = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(signedQ, evenLanes));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(q32, q32));
    }
    return i;
}

}  // namespace

void XmAllowSimdMixing(bool allowed) { g_simdAllowed = allowed; }

bool XmSimdMixing() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have && g_simdAllowed.load(std::memory_order_relaxed);
}

void XmConvertBlock(const int64_t* accumulated, int16_t* out, size_t count, int32_t masterVolume) {
    if (masterVolume != kXmUnityMasterVolume) {
        for (size_t i = 0; i < count; ++i) out[i] = XmConvertSample(accumulated[i], masterVolume);
        return;
    }
    constexpr int64_t kLimit = kConvertLimit;
    size_t i = XmSimdMixing() ? ConvertUnityAvx2(accumulated, out, count) : 0;
    for (; i < count; ++i) {
        const int64_t a = accumulated[i];
        const int64_t m = a < 0 ? -a : a;
        const uint32_t m32 = static_cast<uint32_t>(m < kLimit ? m : kLimit);
        const int32_t q = static_cast<int32_t>((m32 + 8160u) / 16320u);
        out[i] = static_cast<int16_t>(a < 0 ? -q : q);
    }
}

int32_t XmVibratoWave(int waveform, int position) {
    position &= 63;
    switch (waveform & 3) {
        case 0:
            return position < 32 ? kVibratoHalfSine[position] : -kVibratoHalfSine[position - 32];
        case 1:
            return 127 - position * 254 / 63;  // falling ramp 127 .. -127
        default:
            return position < 32 ? 127 : -127;
    }
}

int32_t XmAutoVibratoWave(int waveform, int position) {
    position &= 255;
    switch (waveform) {
        case 0: {
            const int p = position & 127;
            const int v = p < 64 ? kAutoVibratoQuarterSine[p] : kAutoVibratoQuarterSine[128 - p];
            return position < 128 ? v : -v;
        }
        case 1:
            return position < 128 ? 64 : -64;
        case 2:
            return (128 - ((position - 128) & 255)) / 2;
        case 3:
            return (128 - ((128 - position) & 255)) / 2;
        default:
            return 0;
    }
}

}  // namespace kestrane::music::engine
