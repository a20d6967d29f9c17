#include "plotwick/lzw.h"

#include <unordered_map>

#include "plotwick/heap.h"

namespace plotwick {

LzwResult LzwDecode(BlockHeap& heap, std::span<const uint8_t> in, std::span<uint8_t> out) {
    LzwResult result;
    void* table = heap.Alloc(kLzwTableBytes);
    if (!table) {
        result.status = LzwStatus::NoMemory;
        return result;
    }
    // Entry k is its prefix entry's string followed by suffix[k].
    auto* prefix = static_cast<uint16_t*>(table);
    uint16_t* length = prefix + kLzwMaxCodes;
    auto* suffix = reinterpret_cast<uint8_t*>(length + kLzwMaxCodes);
    for (int c = 0; c < 256; ++c) {
        prefix[c] = 0;
        suffix[c] = static_cast<uint8_t>(c);
        length[c] = 1;
    }

    std::size_t inPos = 0;
    uint32_t bitBuf = 0;
    int bitCount = 0;
    int width = kLzwMinWidth;
    int next = kLzwFirstFree;
    int prev = -1;            // previous code since the last clear
    std::size_t prevPos = 0;  // where prev's string starts in the output
    std::size_t written = 0;

    // Writes the string of `code` at the output end; false when it did not fit.
    auto emit = [&](int code) -> bool {
        const std::size_t len = length[code];
        const std::size_t room = out.size() - written;
        const std::size_t fit = len < room ? len : room;
        // Walk from the last character back; skip the ones that do not fit.
        int c = code;
        for (std::size_t k = len; k > 0; --k) {
            if (k <= fit) out[written + k - 1] = suffix[c];
            c = prefix[c];
        }
        written += fit;
        return fit == len;
    };

    for (;;) {
        while (bitCount < width) {
            if (inPos >= in.size()) {
                result.status = LzwStatus::Truncated;
                goto done;
            }
            bitBuf |= static_cast<uint32_t>(in[inPos++]) << bitCount;
            bitCount += 8;
        }
        const int code = static_cast<int>(bitBuf & ((1u << width) - 1u));
        bitBuf >>= width;
        bitCount -= width;

        if (code == kLzwClearCode) {
            width = kLzwMinWidth;
            next = kLzwFirstFree;
            prev = -1;
            continue;
        }
        if (code == kLzwEndCode) {
            result.status = LzwStatus::Ok;
            break;
        }
        if (written >= out.size()) {
            result.status = LzwStatus::OutputFull;
            break;
        }
        const std::size_t pos = written;
        if (prev < 0) {
            if (code > 255) {
                result.status = LzwStatus::BadCode;
                break;
            }
            emit(code);
        } else if (code < next) {
            const bool whole = emit(code);
            if (next < kLzwMaxCodes) {
                prefix[next] = static_cast<uint16_t>(prev);
                suffix[next] = out[pos];
                length[next] = static_cast<uint16_t>(length[prev] + 1);
                ++next;
            }
            if (!whole) {
                result.status = LzwStatus::OutputFull;
                break;
            }
        } else if (code == next && next < kLzwMaxCodes) {
            // The code being defined right now: prev's string plus its own first byte.
            prefix[next] = static_cast<uint16_t>(prev);
            suffix[next] = out[prevPos];
            length[next] = static_cast<uint16_t>(length[prev] + 1);
            ++next;
            if (!emit(code)) {
                result.status = LzwStatus::OutputFull;
                break;
            }
        } else {
            result.status = LzwStatus::BadCode;
            break;
        }
        if (next == (1 << width) && width < kLzwMaxWidth) ++width;
        prev = code;
        prevPos = pos;
    }
done:
    result.written = written;
    heap.Free(table);
    return result;
}

namespace {

class BitWriter {
public:
    void Put(int code, int width) {
        buf_ |= static_cast<uint32_t>(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(buf_ & 0xFFu));
            buf_ >>= 8;
            count_ -= 8;
        }
    }
    std::vector<uint8_t> Finish() {
        if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(buf_ & 0xFFu));
        buf_ = 0;
        count_ = 0;
        return std::move(bytes_);
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t buf_ = 0;
    int count_ = 0;
};

}  // namespace

std::vector<uint8_t> LzwEncode(std::span<const uint8_t> in) {
    BitWriter bits;
    // The code width follows the decoder, which defines each entry one code
    // later than the encoder does; so the width is tracked from the decoder's
    // entry count.
    int width = kLzwMinWidth;
    int decoderNext = kLzwFirstFree;
    int codesSinceClear = 0;
    auto put = [&](int code) {
        bits.Put(code, width);
        if (code == kLzwClearCode) {
            width = kLzwMinWidth;
            decoderNext = kLzwFirstFree;
            codesSinceClear = 0;
            return;
        }
        if (code == kLzwEndCode) return;
        if (codesSinceClear > 0 && decoderNext < kLzwMaxCodes) {
            ++decoderNext;
            if (decoderNext == (1 << width) && width < kLzwMaxWidth) ++width;
        }
        ++codesSinceClear;
    };

    put(kLzwClearCode);
    if (in.empty()) {
        put(kLzwEndCode);
        return bits.Finish();
    }
    std::unordered_map<uint32_t, uint16_t> dict;
    int encoderNext = kLzwFirstFree;
    uint32_t w = in[0];
    for (std::size_t i = 1; i < in.size(); ++i) {
        const uint32_t key = (w << 8) | in[i];
        const auto it = dict.find(key);
        if (it != dict.end()) {
            w = it->second;
            continue;
        }
        put(static_cast<int>(w));
        dict.emplace(key, static_cast<uint16_t>(encoderNext++));
        if (encoderNext == kLzwMaxCodes) {
            // Full: start over before the decoder would need a 15th bit.
            put(kLzwClearCode);
            dict.clear();
            encoderNext = kLzwFirstFree;
        }
        w = in[i];
    }
    put(static_cast<int>(w));
    put(kLzwEndCode);
    return bits.Finish();
}

}  // namespace plotwick
