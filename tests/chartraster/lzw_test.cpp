// LZW round trips across the code-width steps and dictionary resets, and
// decoding of damaged streams, which must stop cleanly inside the output.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "plotwick/lzw.h"

namespace plotwick {
namespace {

std::vector<uint8_t> Decode(const std::vector<uint8_t>& packed, size_t size, LzwStatus* status = nullptr) {
    std::vector<uint8_t> out(size);
    BlockHeap heap;
    const LzwResult r = LzwDecode(heap, packed, out);
    if (status) *status = r.status;
    out.resize(r.written);
    return out;
}

// Packs codes LSB first at the given widths, as a hand-made stream.
std::vector<uint8_t> Pack(const std::vector<std::pair<int, int>>& codes) {
    std::vector<uint8_t> out;
    uint32_t buf = 0;
    int n = 0;
    for (auto [code, width] : codes) {
        buf |= static_cast<uint32_t>(code) << n;
        n += width;
        while (n >= 8) {
            out.push_back(static_cast<uint8_t>(buf));
            buf >>= 8;
            n -= 8;
        }
    }
    if (n) out.push_back(static_cast<uint8_t>(buf));
    return out;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed, int alphabet) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng() % alphabet);
    return v;
}

TEST(Lzw, RoundTripsAcrossWidthsAndResets) {
    std::vector<std::pair<const char*, std::vector<uint8_t>>> inputs;
    inputs.push_back({"empty", {}});
    inputs.push_back({"one byte", {42}});
    inputs.push_back({"run of one byte (code defined while used)", std::vector<uint8_t>(5000, 7)});
    std::vector<uint8_t> all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<uint8_t>(i));
    inputs.push_back({"every byte once", all});
    inputs.push_back({"random 4-letter text (passes 9..14 bits)", RandomBytes(60000, 1, 4)});
    inputs.push_back({"random bytes (several dictionary resets)", RandomBytes(200000, 2, 256)});
    inputs.push_back({"random 2-letter text", RandomBytes(300000, 3, 2)});
    for (auto& [name, data] : inputs) {
        const std::vector<uint8_t> packed = LzwEncode(data);
        LzwStatus status;
        EXPECT_EQ(Decode(packed, data.size(), &status), data) << name;
        EXPECT_EQ(status, LzwStatus::Ok) << name;
        // Encoding is deterministic.
        EXPECT_EQ(LzwEncode(data), packed) << name;
    }
}

TEST(Lzw, DecodesAHandMadeStream) {
    // "ABABABA": A, B, 258 (AB), 260 (ABA, defined by its own use).
    const auto packed = Pack({{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {260, 9}, {257, 9}});
    LzwStatus status;
    const auto out = Decode(packed, 16, &status);
    EXPECT_EQ(std::string(out.begin(), out.end()), "ABABABA");
    EXPECT_EQ(status, LzwStatus::Ok);
}

TEST(Lzw, WidthGrowsWhenTheNextCodeReachesThePowerOfTwo) {
    // Of 255 codes after a clear, the 254 after the first define entries
    // 258..511; the next free code is then 512, so what follows is read
    // with 10 bits.
    std::vector<std::pair<int, int>> codes{{256, 9}};
    std::vector<uint8_t> expected;
    for (int i = 0; i < 255; ++i) {
        codes.push_back({i % 200, 9});
        expected.push_back(static_cast<uint8_t>(i % 200));
    }
    codes.push_back({'z', 10});
    expected.push_back('z');
    codes.push_back({257, 10});
    LzwStatus status;
    EXPECT_EQ(Decode(Pack(codes), 1000, &status), expected);
    EXPECT_EQ(status, LzwStatus::Ok);
}

TEST(Lzw, DamagedStreamsStopInsideTheOutput) {
    const std::vector<uint8_t> data = RandomBytes(5000, 9, 3);
    const std::vector<uint8_t> packed = LzwEncode(data);
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
        size_t outSize;
        LzwStatus status;
    } cases[] = {
        {"no data", {}, 10, LzwStatus::Truncated},
        {"cut in half", std::vector<uint8_t>(packed.begin(), packed.begin() + packed.size() / 2), data.size(),
         LzwStatus::Truncated},
        {"first code not a literal", Pack({{256, 9}, {300, 9}}), 10, LzwStatus::BadCode},
        {"code beyond the next free one", Pack({{'a', 9}, {'b', 9}, {270, 9}}), 10, LzwStatus::BadCode},
        {"output too small", packed, data.size() / 3, LzwStatus::OutputFull},
        {"no room at all", packed, 0, LzwStatus::OutputFull},
    };
    for (const Case& c : cases) {
        LzwStatus status;
        const auto out = Decode(c.stream, c.outSize, &status);
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_LE(out.size(), c.outSize) << c.name;
    }
    // A partial decode still yields a correct prefix.
    const auto prefix = Decode(packed, 1234);
    ASSERT_EQ(prefix.size(), 1234u);
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), data.begin()));
}

TEST(Lzw, FlippedBitsNeverOverrunAndReleaseTheTable) {
    const std::vector<uint8_t> data = RandomBytes(3000, 5, 16);
    const std::vector<uint8_t> packed = LzwEncode(data);
    BlockHeap heap;
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> damaged = packed;
        for (int k = 0; k < 3; ++k)
            damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        std::vector<uint8_t> out(data.size() + 7, 0xEE);
        const LzwResult r = LzwDecode(heap, damaged, std::span<uint8_t>(out.data(), data.size()));
        EXPECT_LE(r.written, data.size());
        EXPECT_EQ(out[data.size()], 0xEE);  // nothing written past the span
    }
    EXPECT_EQ(heap.LiveBlocks(), 0);
}

}  // namespace
}  // namespace plotwick
