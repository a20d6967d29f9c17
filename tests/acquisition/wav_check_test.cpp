// The sound-file check must pass ordinary WAV files and refuse every
// damaged one, whatever the bytes.
#include "acquisition/wav_check.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrane {
namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void PutId(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(id[i]));
}

struct Wav {
    uint16_t format = 1;
    uint16_t channels = 1;
    uint32_t rate = 8000;
    uint16_t bits = 16;
    uint32_t dataBytes = 64;
    bool extraChunk = false;  // an odd-sized chunk before the data
    int riffSizeDelta = 0;
    int dataSizeDelta = 0;  // announced minus present
};

std::vector<uint8_t> Build(const Wav& w) {
    std::vector<uint8_t> v;
    v.reserve(128 + w.dataBytes);
    PutId(v, "RIFF");
    Put32(v, 0);  // patched below
    PutId(v, "WAVE");
    if (w.extraChunk) {
        PutId(v, "LIST");
        Put32(v, 3);
        v.insert(v.end(), {'a', 'b', 'c', 0});
    }
    PutId(v, "fmt ");
    Put32(v, 16);
    Put16(v, w.format);
    Put16(v, w.channels);
    Put32(v, w.rate);
    const uint16_t align = static_cast<uint16_t>(w.channels * (w.bits / 8));
    Put32(v, w.rate * align);
    Put16(v, align);
    Put16(v, w.bits);
    PutId(v, "data");
    Put32(v, static_cast<uint32_t>(static_cast<int64_t>(w.dataBytes) + w.dataSizeDelta));
    v.insert(v.end(), w.dataBytes, 0);
    const uint32_t riff = static_cast<uint32_t>(static_cast<int64_t>(v.size()) - 8 + w.riffSizeDelta);
    for (int i = 0; i < 4; ++i) v[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    return v;
}

TEST(IsPlayableWav, AcceptsCompleteFilesOnly) {
    struct C {
        const char* name;
        Wav wav;
        bool ok;
    };
    const C cases[] = {
        {"16-bit mono", {}, true},
        {"8-bit stereo", {1, 2, 44100, 8}, true},
        {"24-bit", {1, 2, 48000, 24}, true},
        {"float", {3, 2, 48000, 32}, true},
        {"odd chunk before data", {.extraChunk = true}, true},
        {"riff size beyond the file", {.riffSizeDelta = 1}, false},
        {"riff size 4 GiB", {.riffSizeDelta = 0x7FFFFFFF}, false},
        {"data beyond the file", {.dataSizeDelta = 1}, false},
        {"data size 4 GiB", {.dataSizeDelta = -65}, false},
        {"empty data", {.dataBytes = 0}, false},
        {"compressed format", {.format = 2}, false},
        {"no channels", {.channels = 0}, false},
        {"nine channels", {.channels = 9}, false},
        {"zero rate", {.rate = 0}, false},
        {"12-bit", {.bits = 12}, false},
        {"16-bit float", {3, 1, 8000, 16}, false},
    };
    for (const auto& c : cases) {
        const auto bytes = Build(c.wav);
        EXPECT_EQ(IsPlayableWav(bytes), c.ok) << c.name;
    }
}

TEST(IsPlayableWav, SurvivesTruncationAndDamage) {
    const auto good = Build({.extraChunk = true});
    ASSERT_TRUE(IsPlayableWav(good));
    // Every strict prefix announces more than it holds.
    for (std::size_t len = 0; len < good.size(); ++len) {
        EXPECT_FALSE(IsPlayableWav(std::span(good.data(), len))) << len;
    }
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        auto bytes = good;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
        (void)IsPlayableWav(bytes);  // must not read outside; sanitizers watch
    }
    const std::string text = "RIFF\xff\xff\xff\xffWAVEjunk";
    EXPECT_FALSE(IsPlayableWav(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
}

}  // namespace
}  // namespace kestrane
