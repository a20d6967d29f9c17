// The integer mixer: adds every voice's interpolated, volume-ramped samples
// into the 64-bit accumulator and keeps positions inside their loops. The
// inner loop runs over the raw sample data with no per-frame calls.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "music/engine/xm_renderer.h"

namespace kestrane::music::engine {
namespace {

// Frames until a voice meets its loop boundary (rounded up); 0 when it is
// already there.
int64_t FramesToBoundary(int64_t fixed, bool backward, int64_t loopStart, int64_t loopEnd, uint64_t step) {
    const int64_t dist = backward ? fixed - loopStart : loopEnd - fixed;
    if (dist <= 0) return 0;
    // Tiny loops at high pitch meet their boundary every frame; spare them
    // the division.
    if (static_cast<uint64_t>(dist) <= step) return 1;
    return static_cast<int64_t>((static_cast<uint64_t>(dist) + step - 1) / step);
}

// a mod d for 32-bit values by two multiplications instead of a division
// (exact for every a and every d >= 1): the loop lengths of a voice are
// fixed, so their multipliers are made once per mix.
struct FastModulus {
    uint32_t divisor = 1;
    uint64_t multiplier = 0;
    explicit FastModulus(uint32_t d) : divisor(d), multiplier(~uint64_t{0} / d + 1) {}
    uint32_t Of(uint32_t a) const {
        const uint64_t low = multiplier * a;
        return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * divisor) >> 64);
    }
};

// x mod (frames << 32) for x >= 0 and a whole number of frames: only the
// integer part needs dividing, and it fits 32 bits whenever x does in
// frames, so the division is a short one.
int64_t ModWholeFrames(int64_t x, int64_t modulus, const FastModulus& fast) {
    if (x < modulus) return x;
    const uint64_t whole = static_cast<uint64_t>(x) >> 32;
    const uint64_t frames = static_cast<uint64_t>(modulus) >> 32;
    const uint64_t fraction = static_cast<uint64_t>(x) & 0xFFFFFFFFu;
    const uint64_t rest =
        whole <= 0xFFFFFFFFu ? uint64_t{fast.Of(static_cast<uint32_t>(whole))} : whole % frames;
    return static_cast<int64_t>((rest << 32) | fraction);
}

// The loop a voice plays through, with the moduli its wraps need: the
// sample's own, or for a short forward loop its unrolled copy (the same
// loop repeated, so the voice wraps far less often).
struct Loop {
    Loop(const int16_t* samples, XmLoopType loopType, uint32_t start, uint32_t frames)
        : data(samples),
          type(loopType),
          ls(int64_t{start} << 32),
          le(int64_t{start + frames} << 32),
          length(frames == 0 ? 1 : frames),
          twice(2 * (frames == 0 ? 1 : frames)) {}
    const int16_t* data;
    XmLoopType type;
    int64_t ls;  // 32.32
    int64_t le;
    FastModulus length;
    FastModulus twice;
};

[[gnu::always_inline]] inline bool HandleBoundary(int64_t& fixed, bool& backward, const Loop& loop) {
    const int64_t ls = loop.ls;
    const int64_t le = loop.le;
    const int64_t len = le - ls;
    switch (loop.type) {
        case XmLoopType::None:
            return false;
        case XmLoopType::Forward:
            if (fixed >= le) fixed = ls + ModWholeFrames(fixed - le, len, loop.length);
            return true;
        case XmLoopType::PingPong:
            // Fold the overshoot over one back-and-forth cycle of the loop. A
            // backward position stays below the loop end so its interpolation
            // partner is at most the guard value.
            if (!backward) {
                const int64_t over = ModWholeFrames(fixed - le, 2 * len, loop.twice);
                if (over < len) {
                    fixed = le - 1 - over;
                    backward = true;
                } else {
                    fixed = ls + (over - len);
                }
            } else {
                const int64_t under = ModWholeFrames(ls - fixed, 2 * len, loop.twice);
                if (under < len) {
                    fixed = ls + under;
                    backward = false;
                } else {
                    fixed = le - 1 - (under - len);
                }
            }
            return true;
    }
    return false;
}

// The inner loop over raw sample data: linear interpolation, per-side
// volume, optional ramp. Specialised on the ramp so a steady voice does no
// volume arithmetic per frame.
template <bool kRamp>
inline void MixSpan(const int16_t* data, int64_t& fixed, int64_t dstep, int32_t& curL, int32_t& curR,
                    int32_t rampL, int32_t rampR, int64_t* out, int64_t frames) {
    int64_t pos = fixed;
    int32_t l = curL;
    int32_t r = curR;
    for (int64_t f = 0; f < frames; ++f) {
        const int64_t index = pos >> 32;
        const uint32_t frac = static_cast<uint32_t>(pos);
        const int32_t s0 = data[index];
        const int32_t s1 = data[index + 1];
        const int32_t interp = s0 * 64 + static_cast<int32_t>((int64_t{s1 - s0} * int64_t{frac >> 1}) >> 25);
        const int64_t pl = int64_t{interp} * l;
        const int64_t pr = int64_t{interp} * r;
        // ((p >> 6) + (p < 0)) >> 1 in one step: for negative p it equals
        // (p + 64) >> 7, for the others p >> 7.
        out[2 * f] += (pl + ((pl >> 63) & 64)) >> 7;
        out[2 * f + 1] += (pr + ((pr >> 63) & 64)) >> 7;
        if constexpr (kRamp) {
            l += rampL;
            r += rampR;
        }
        pos += dstep;
    }
    fixed = pos;
    curL = l;
    curR = r;
}

// MixSpan four frames at a time with AVX2, for machines that have it; the
// arithmetic is the scalar loop's, lane by lane, so the output is the same
// bit for bit. The two neighbouring samples of a frame are read as one
// 32-bit word. The tail of fewer than four frames is left to the caller.
// The sample at a position and the one after it, as one little-endian word.
inline int32_t SamplePair(const int16_t* data, int64_t position) {
    int32_t word;
    std::memcpy(&word, data + (position >> 32), sizeof word);
    return word;
}

// (p + (p < 0 ? 64 : 0)) >> 7 of the 64-bit products interp * volume.
// AVX2 shifts 64-bit lanes only logically: the sign bit is flipped in and
// subtracted out to make the shift arithmetic.
__attribute__((target("avx2"))) inline __m256i ScaleAvx2(__m256i interp, __m256i volume) {
    const __m256i p = _mm256_mul_epi32(interp, volume);
    const __m256i negative = _mm256_cmpgt_epi64(_mm256_setzero_si256(), p);
    const __m256i rounded = _mm256_add_epi64(p, _mm256_and_si256(negative, _mm256_set1_epi64x(64)));
    const __m256i signBit = _mm256_set1_epi64x(int64_t{1} << 56);  // bit 63 after the shift
    return _mm256_sub_epi64(_mm256_xor_si256(_mm256_srli_epi64(rounded, 7), signBit), signBit);
}

template <bool kRamp>
__attribute__((target("avx2"))) int64_t MixSpanAvx2(const int16_t* data, int64_t& fixed, int64_t dstep,
                                                    int32_t& curL, int32_t& curR, int32_t rampL,
                                                    int32_t rampR, int64_t* out, int64_t frames) {
    const int64_t quads = frames / 4;
    if (quads == 0) return 0;
    int64_t pos = fixed;
    const __m256i step4 = _mm256_set1_epi64x(4 * dstep);
    __m256i posv = _mm256_setr_epi64x(pos, pos + dstep, pos + 2 * dstep, pos + 3 * dstep);
    // Volumes in the accumulator's own order: left, right of one frame,
    // then of the next, so the products add in without reshuffling.
    __m256i vol01 = _mm256_setr_epi64x(curL, curR, curL + rampL, curR + rampR);
    __m256i vol23 =
        _mm256_setr_epi64x(curL + 2 * rampL, curR + 2 * rampR, curL + 3 * rampL, curR + 3 * rampR);
    const __m256i ramp4 =
        _mm256_setr_epi64x(4 * int64_t{rampL}, 4 * int64_t{rampR}, 4 * int64_t{rampL}, 4 * int64_t{rampR});
    const __m256i lowMask = _mm256_set1_epi64x(0xFFFFFFFF);
    for (int64_t q = 0; q < quads; ++q) {
        const __m128i words =
            _mm_setr_epi32(SamplePair(data, pos), SamplePair(data, pos + dstep),
                           SamplePair(data, pos + 2 * dstep), SamplePair(data, pos + 3 * dstep));
        const __m128i s0 = _mm_srai_epi32(_mm_slli_epi32(words, 16), 16);
        const __m128i s1 = _mm_srai_epi32(words, 16);
        const __m256i diff = _mm256_cvtepi32_epi64(_mm_sub_epi32(s1, s0));
        const __m256i half = _mm256_srli_epi64(_mm256_and_si256(posv, lowMask), 1);
        // Only the low 32 bits of each lane count from here on (the volume
        // product reads no more), as the scalar cast to 32 bits: a logical
        // shift serves, and the sum needs no sign extension.
        const __m256i shifted = _mm256_srli_epi64(_mm256_mul_epi32(diff, half), 25);
        const __m256i interp = _mm256_add_epi64(shifted, _mm256_slli_epi64(_mm256_cvtepi32_epi64(s0), 6));
        const __m256i interp01 = _mm256_permute4x64_epi64(interp, 0x50);  // i0 i0 i1 i1
        const __m256i interp23 = _mm256_permute4x64_epi64(interp, 0xFA);  // i2 i2 i3 i3
        __m256i* o = reinterpret_cast<__m256i*>(out + 8 * q);
        _mm256_storeu_si256(o, _mm256_add_epi64(_mm256_loadu_si256(o), ScaleAvx2(interp01, vol01)));
        _mm256_storeu_si256(o + 1, _mm256_add_epi64(_mm256_loadu_si256(o + 1), ScaleAvx2(interp23, vol23)));
        if constexpr (kRamp) {
            vol01 = _mm256_add_epi64(vol01, ramp4);
            vol23 = _mm256_add_epi64(vol23, ramp4);
        }
        posv = _mm256_add_epi64(posv, step4);
        pos += 4 * dstep;
    }
    fixed = pos;
    if constexpr (kRamp) {
        curL += static_cast<int32_t>(4 * quads * rampL);
        curR += static_cast<int32_t>(4 * quads * rampR);
    }
    return 4 * quads;
}

// A voice eight frames at a time in 32-bit lanes, added into a 32-bit
// accumulator (its left samples, then its right ones), for volumes within
// +-kNarrowMaxVolume. Every product stays within 32 bits: interp * volume
// is split as (interp >> 7) * volume * 128 + (interp & 127) * volume, so
// the rounded shift by 7 becomes (interp >> 7) * volume plus the shifted
// small product, exactly. Without a ramp the volumes are >= 0 and the
// product is negative just when interp is (a zero volume gives 0 either
// way), so both sides share the rounding term. The tail of fewer than
// eight frames is left to the caller.
constexpr int32_t kNarrowMaxVolume = 16384;
// Each voice adds at most 2^14 * kNarrowMaxVolume + 2^14 in
// magnitude per sample, so seven of them fit the 32-bit accumulator.
constexpr int kNarrowVoicesPerFlush = 7;

// With a ramp the volumes change frame by frame and may dip a little
// below zero, so each side takes the sign of its own product.
template <bool kRamp>
__attribute__((target("avx2"))) int64_t MixOctetsAvx2(const int16_t* data, int64_t dataSize, int64_t& fixed,
                                                      int64_t dstep, int32_t volL, int32_t volR,
                                                      int32_t rampL, int32_t rampR, int32_t* outLeft,
                                                      int32_t* outRight, int64_t frames) {
    const int64_t octets = frames / 8;
    if (octets == 0) return 0;
    int64_t pos = fixed;
    const uint32_t stepLow = static_cast<uint32_t>(dstep);
    const uint32_t posLow = static_cast<uint32_t>(pos);
    // The fractions alone advance in 32-bit lanes: the low half of a sum is
    // the sum of the low halves.
    __m256i frac = _mm256_setr_epi32(
        static_cast<int32_t>(posLow), static_cast<int32_t>(posLow + stepLow),
        static_cast<int32_t>(posLow + 2 * stepLow), static_cast<int32_t>(posLow + 3 * stepLow),
        static_cast<int32_t>(posLow + 4 * stepLow), static_cast<int32_t>(posLow + 5 * stepLow),
        static_cast<int32_t>(posLow + 6 * stepLow), static_cast<int32_t>(posLow + 7 * stepLow));
    const __m256i step8 = _mm256_set1_epi32(static_cast<int32_t>(8 * stepLow));
    const __m256i frameIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i left =
        _mm256_add_epi32(_mm256_set1_epi32(volL), _mm256_mullo_epi32(frameIndex, _mm256_set1_epi32(rampL)));
    __m256i right =
        _mm256_add_epi32(_mm256_set1_epi32(volR), _mm256_mullo_epi32(frameIndex, _mm256_set1_epi32(rampR)));
    const __m256i rampL8 = _mm256_set1_epi32(8 * rampL);
    const __m256i rampR8 = _mm256_set1_epi32(8 * rampR);
    const __m256i low7 = _mm256_set1_epi32(127);
    const __m256i half = _mm256_set1_epi32(64);
    // With a forward step of at most 6/7 frame, eight frames read within
    // the eight samples from the first one's: one load and two permutes,
    // with the offsets taken from the whole parts of the positions.
    // The positions only grow, so the octets whose eight samples lie within
    // the data are a leading run, counted once here.
    int64_t nearOctets = 0;
    if (dstep > 0 && dstep <= (int64_t{6} << 32) / 7) {
        const int64_t limit = (dataSize - 7) << 32;  // first + 8 <= dataSize below it
        if (pos < limit) nearOctets = std::min(octets, (limit - pos + 8 * dstep - 1) / (8 * dstep));
    }
    __m256i pos0123 = _mm256_setr_epi64x(pos, pos + dstep, pos + 2 * dstep, pos + 3 * dstep);
    __m256i pos4567 = _mm256_add_epi64(pos0123, _mm256_set1_epi64x(4 * dstep));
    const __m256i stepPos8 = _mm256_set1_epi64x(8 * dstep);
    const __m256i wholeParts = _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7);
    const __m256i one = _mm256_set1_epi32(1);
    for (int64_t o = 0; o < octets; ++o) {
        __m256i s0;
        __m256i diff;
        if (o < nearOctets) {
            const int64_t first = pos >> 32;
            const __m256i samples =
                _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + first)));
            const __m256i whole = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(pos0123, wholeParts),
                                                     _mm256_permutevar8x32_epi32(pos4567, wholeParts), 0xF0);
            const __m256i offsets = _mm256_sub_epi32(whole, _mm256_set1_epi32(static_cast<int32_t>(first)));
            s0 = _mm256_permutevar8x32_epi32(samples, offsets);
            diff = _mm256_sub_epi32(_mm256_permutevar8x32_epi32(samples, _mm256_add_epi32(offsets, one)), s0);
            pos += 8 * dstep;
        } else {
            // The positions are stepped one by one; the empty asm keeps the
            // compiler from rewriting them as pos + k * step, which would hold
            // seven multiples of the step and spill them.
            auto next = [&pos, dstep, data]() {
                const int32_t word = SamplePair(data, pos);
                pos += dstep;
                asm("" : "+r"(pos));
                return word;
            };
            const int32_t w0 = next();
            const int32_t w1 = next();
            const int32_t w2 = next();
            const int32_t w3 = next();
            const int32_t w4 = next();
            const int32_t w5 = next();
            const int32_t w6 = next();
            const int32_t w7 = next();
            const __m256i words = _mm256_setr_epi32(w0, w1, w2, w3, w4, w5, w6, w7);
            s0 = _mm256_srai_epi32(_mm256_slli_epi32(words, 16), 16);
            diff = _mm256_sub_epi32(_mm256_srai_epi32(words, 16), s0);
        }
        pos0123 = _mm256_add_epi64(pos0123, stepPos8);
        pos4567 = _mm256_add_epi64(pos4567, stepPos8);
        const __m256i halfFrac = _mm256_srli_epi32(frac, 1);
        // (diff * halfFrac) >> 25 needs the 64-bit product: even lanes and
        // odd lanes separately, each result brought back to its own lane.
        const __m256i even = _mm256_srli_epi64(_mm256_mul_epi32(diff, halfFrac), 25);
        const __m256i odd = _mm256_slli_epi64(
            _mm256_mul_epi32(_mm256_srli_epi64(diff, 32), _mm256_srli_epi64(halfFrac, 32)), 7);
        const __m256i interp =
            _mm256_add_epi32(_mm256_slli_epi32(s0, 6), _mm256_blend_epi32(even, odd, 0xAA));
        const __m256i high = _mm256_srai_epi32(interp, 7);
        const __m256i low = _mm256_and_si256(interp, low7);
        __m256i roundL;
        __m256i roundR;
        if constexpr (kRamp) {
            roundL = _mm256_and_si256(_mm256_srai_epi32(_mm256_xor_si256(interp, left), 31), half);
            roundR = _mm256_and_si256(_mm256_srai_epi32(_mm256_xor_si256(interp, right), 31), half);
        } else {
            roundL = roundR = _mm256_and_si256(_mm256_srai_epi32(interp, 31), half);
        }
        const __m256i l =
            _mm256_add_epi32(_mm256_mullo_epi32(high, left),
                             _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(low, left), roundL), 7));
        const __m256i r =
            _mm256_add_epi32(_mm256_mullo_epi32(high, right),
                             _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(low, right), roundR), 7));
        if constexpr (kRamp) {
            left = _mm256_add_epi32(left, rampL8);
            right = _mm256_add_epi32(right, rampR8);
        }
        __m256i* dstLeft = reinterpret_cast<__m256i*>(outLeft + 8 * o);
        __m256i* dstRight = reinterpret_cast<__m256i*>(outRight + 8 * o);
        _mm256_storeu_si256(dstLeft, _mm256_add_epi32(_mm256_loadu_si256(dstLeft), l));
        _mm256_storeu_si256(dstRight, _mm256_add_epi32(_mm256_loadu_si256(dstRight), r));
        frac = _mm256_add_epi32(frac, step8);
    }
    fixed = pos;
    return 8 * octets;
}

// Adds the 32-bit accumulator (all left samples of the run, then all
// right ones) into the interleaved 64-bit one and clears it.
__attribute__((target("avx2"))) void FlushNarrowAvx2(int32_t* acc32, int64_t* acc, size_t frames) {
    int32_t* left = acc32;
    int32_t* right = acc32 + frames;
    size_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        __m256i* srcLeft = reinterpret_cast<__m256i*>(left + i);
        __m256i* srcRight = reinterpret_cast<__m256i*>(right + i);
        const __m256i l = _mm256_loadu_si256(srcLeft);
        const __m256i r = _mm256_loadu_si256(srcRight);
        // Frames 0 1 4 5 and 2 3 6 7, left and right interleaved.
        const __m256i lr0145 = _mm256_unpacklo_epi32(l, r);
        const __m256i lr2367 = _mm256_unpackhi_epi32(l, r);
        __m256i* dst = reinterpret_cast<__m256i*>(acc + 2 * i);
        const __m256i frames01 = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(lr0145));
        const __m256i frames23 = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(lr2367));
        const __m256i frames45 = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(lr0145, 1));
        const __m256i frames67 = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(lr2367, 1));
        _mm256_storeu_si256(dst, _mm256_add_epi64(_mm256_loadu_si256(dst), frames01));
        _mm256_storeu_si256(dst + 1, _mm256_add_epi64(_mm256_loadu_si256(dst + 1), frames23));
        _mm256_storeu_si256(dst + 2, _mm256_add_epi64(_mm256_loadu_si256(dst + 2), frames45));
        _mm256_storeu_si256(dst + 3, _mm256_add_epi64(_mm256_loadu_si256(dst + 3), frames67));
        _mm256_storeu_si256(srcLeft, _mm256_setzero_si256());
        _mm256_storeu_si256(srcRight, _mm256_setzero_si256());
    }
    for (; i < frames; ++i) {
        acc[2 * i] += left[i];
        acc[2 * i + 1] += right[i];
        left[i] = 0;
        right[i] = 0;
    }
}

bool HaveAvx2() { return XmSimdMixing(); }

// True when part of the span went to the 32-bit accumulator.
template <bool kRamp>
bool MixSpanDispatch(const int16_t* data, int64_t dataSize, int64_t& fixed, int64_t dstep, int32_t& curL,
                     int32_t& curR, int32_t rampL, int32_t rampR, int64_t* out, int32_t* outLeft,
                     int32_t* outRight, int64_t frames) {
    int64_t done = 0;
    bool narrow = false;
    if (HaveAvx2()) {
        if constexpr (!kRamp) {
            if (curL >= 0 && curR >= 0 && curL <= kNarrowMaxVolume && curR <= kNarrowMaxVolume) {
                done = MixOctetsAvx2<false>(data, dataSize, fixed, dstep, curL, curR, 0, 0, outLeft, outRight,
                                            frames);
                narrow = done > 0;
            }
        } else if (outLeft != nullptr && frames >= 8) {
            // A ramp is linear, so its ends bound every volume it takes.
            const int64_t last = (frames / 8) * 8 - 1;
            auto within = [](int64_t v) { return v >= -kNarrowMaxVolume && v <= kNarrowMaxVolume; };
            if (within(curL) && within(curR) && within(curL + last * rampL) && within(curR + last * rampR)) {
                done = MixOctetsAvx2<true>(data, dataSize, fixed, dstep, curL, curR, rampL, rampR, outLeft,
                                           outRight, frames);
                curL += static_cast<int32_t>(done * rampL);
                curR += static_cast<int32_t>(done * rampR);
                narrow = done > 0;
            }
        }
        done +=
            MixSpanAvx2<kRamp>(data, fixed, dstep, curL, curR, rampL, rampR, out + 2 * done, frames - done);
    }
    if (done < frames)
        MixSpan<kRamp>(data, fixed, dstep, curL, curR, rampL, rampR, out + 2 * done, frames - done);
    return narrow;
}

}  // namespace

void XmRenderer::MixRun(int64_t* acc, int frames) {
    // Most voices add into a 32-bit accumulator, all left samples then all
    // right ones, which is emptied into the 64-bit one before it could
    // overflow and at the end of the run; between runs it stays zero.
    const size_t samples = 2 * static_cast<size_t>(frames);
    if (narrowAccumulator_.size() < samples) narrowAccumulator_.assign(samples, 0);
    int32_t* acc32 = narrowAccumulator_.data();
    int voicesSinceFlush = 0;
    auto flush = [&] {
        FlushNarrowAvx2(acc32, acc, static_cast<size_t>(frames));
        voicesSinceFlush = 0;
    };
    for (XmChannel& ch : channels_) {
        for (int i = 0; i < 2; ++i) {
            XmVoice& v = ch.voices[i];
            if (v.sample == nullptr) continue;
            // A faded-out previous voice can never be heard again (the next
            // note start overwrites it), so it is released.
            if (i != ch.currentVoice && v.currentLeft == 0 && v.currentRight == 0 && v.targetLeft == 0 &&
                v.targetRight == 0 && v.rampFrames == 0) {
                v.sample = nullptr;
                continue;
            }
            if (MixVoice(v, acc, acc32, frames) && ++voicesSinceFlush == kNarrowVoicesPerFlush) flush();
        }
    }
    if (voicesSinceFlush > 0) flush();
}

bool XmRenderer::MixVoice(XmVoice& v, int64_t* acc, int32_t* acc32, int frames) {
    bool narrow = false;
    const XmSample& s = *v.sample;
    const XmUnrolledLoop* unrolled = s.loopType == XmLoopType::Forward ? UnrolledLoop(s) : nullptr;
    const Loop loop = unrolled ? Loop(unrolled->data.data(), s.loopType, s.loopStart, unrolled->loopFrames)
                               : Loop(s.data.data(), s.loopType, s.loopStart, s.loopLength);
    const int16_t* data = loop.data;
    const auto dataSize = static_cast<int64_t>(unrolled ? unrolled->data.size() : s.data.size());
    const int64_t ls = loop.ls;
    const int64_t le = loop.le;
    const uint64_t step = v.step < 32 ? kXmFloorStep : v.step;
    int64_t fixed = (int64_t{v.position} << 32) | v.fraction;
    bool backward = v.backward;
    int done = 0;
    while (done < frames) {
        if (v.rampFrames == 0 || v.targetLeft != v.rampForLeft || v.targetRight != v.rampForRight) {
            v.rampLeft = (v.targetLeft * 128 - v.currentLeft) >> 7;
            v.rampRight = (v.targetRight * 128 - v.currentRight) >> 7;
            v.rampForLeft = v.targetLeft;
            v.rampForRight = v.targetRight;
            v.rampFrames = (v.rampLeft != 0 || v.rampRight != 0) ? 128 : 0;
        }
        int64_t n = frames - done;
        if (v.rampFrames > 0) n = std::min<int64_t>(n, v.rampFrames);
        // Within two frames of the boundary (tiny loops, high pitch) the
        // voice goes frame by frame, meeting the boundary as it comes,
        // instead of dividing out a run of one or two frames each time.
        if (const int64_t dist = backward ? fixed - ls : le - fixed;
            dist <= 0 || static_cast<uint64_t>(dist) <= 2 * step) {
            const int64_t dstep = backward ? -static_cast<int64_t>(step) : static_cast<int64_t>(step);
            int32_t l = v.currentLeft;
            int32_t r = v.currentRight;
            int64_t* out = acc + 2 * done;
            int64_t k = 0;
            bool stopped = false;
            while (k < n) {
                const int64_t d = backward ? fixed - ls : le - fixed;
                if (d > 0) {
                    if (static_cast<uint64_t>(d) > 2 * step) break;
                    MixSpan<true>(data, fixed, dstep, l, r, v.rampLeft, v.rampRight, out + 2 * k, 1);
                    ++k;
                    if ((backward ? fixed - ls : le - fixed) > 0) continue;
                }
                if (!HandleBoundary(fixed, backward, loop)) {
                    stopped = true;
                    break;
                }
                // One step may have crossed the loop several times; after the
                // wrap the next test decides between frame by frame and runs.
                if (backward != (dstep < 0)) break;
            }
            v.currentLeft = l;
            v.currentRight = r;
            if (v.rampFrames > 0) {
                v.rampFrames -= static_cast<int32_t>(k);
                if (v.rampFrames == 0) {
                    v.rampLeft = 0;
                    v.rampRight = 0;
                }
            }
            done += static_cast<int>(k);
            if (stopped) {
                v.sample = nullptr;
                v.position = 0;
                v.fraction = 0;
                v.backward = false;
                return narrow;
            }
            continue;
        }
        const int64_t toBoundary = FramesToBoundary(fixed, backward, ls, le, step);
        const int64_t m = std::min(n, toBoundary);
        if (m > 0) {
            const int64_t dstep = backward ? -static_cast<int64_t>(step) : static_cast<int64_t>(step);
            int32_t curL = v.currentLeft;
            int32_t curR = v.currentRight;
            const int32_t rampL = v.rampLeft;
            const int32_t rampR = v.rampRight;
            int64_t* out = acc + 2 * done;
            if (curL == 0 && curR == 0 && rampL == 0 && rampR == 0) {
                fixed += dstep * m;  // silent: only the position moves
            } else {
                if (rampL == 0 && rampR == 0)
                    narrow |= MixSpanDispatch<false>(data, dataSize, fixed, dstep, curL, curR, 0, 0, out,
                                                     acc32 + done, acc32 + frames + done, m);
                else
                    narrow |= MixSpanDispatch<true>(data, dataSize, fixed, dstep, curL, curR, rampL, rampR,
                                                    out, acc32 + done, acc32 + frames + done, m);
                v.currentLeft = curL;
                v.currentRight = curR;
            }
            if (v.rampFrames > 0) {
                v.rampFrames -= static_cast<int32_t>(m);
                if (v.rampFrames == 0) {
                    v.rampLeft = 0;
                    v.rampRight = 0;
                }
            }
            done += static_cast<int>(m);
        }
        if (m == toBoundary) {
            if (!HandleBoundary(fixed, backward, loop)) {
                v.sample = nullptr;
                v.position = 0;
                v.fraction = 0;
                v.backward = false;
                return narrow;
            }
        }
    }
    // Back from the unrolled copy to the sample's own loop.
    if (unrolled != nullptr && fixed >= ls)
        fixed = ls + ModWholeFrames(fixed - ls, int64_t{s.loopLength} << 32, FastModulus(s.loopLength));
    v.position = static_cast<uint32_t>(fixed >> 32);
    v.fraction = static_cast<uint32_t>(fixed);
    v.backward = backward;
    return narrow;
}

const XmUnrolledLoop* XmRenderer::UnrolledLoop(const XmSample& s) const {
    const auto it = unrolled_.find(&s);
    return it == unrolled_.end() ? nullptr : &it->second;
}

void XmRenderer::UnrollShortLoops() {
    for (const XmInstrument& inst : song_->instruments)
        for (const XmSample& s : inst.samples) {
            if (s.loopType != XmLoopType::Forward || s.loopLength == 0 ||
                s.loopLength >= kXmUnrollBelowFrames)
                continue;
            const uint32_t copies = (kXmUnrollBelowFrames * 8 + s.loopLength - 1) / s.loopLength;
            XmUnrolledLoop u;
            u.loopFrames = copies * s.loopLength;
            u.data.reserve(size_t{s.loopStart} + u.loopFrames + 1);
            u.data.assign(s.data.begin(), s.data.begin() + s.loopStart);
            for (uint32_t c = 0; c < copies; ++c)
                u.data.insert(u.data.end(), s.data.begin() + s.loopStart, s.data.begin() + s.LoopEnd());
            u.data.push_back(s.data[s.LoopEnd()]);  // the guard, as in the sample
            unrolled_.emplace(&s, std::move(u));
        }
}

}  // namespace kestrane::music::engine
