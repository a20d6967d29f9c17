#include "music/player/wav_writer.h"

#include <array>
#include <bit>
#include <vector>

#include "music/player/sound_output.h"

namespace kestrane::music::player {
namespace {

// Largest data chunk whose RIFF size (data + 36) still fits 32 bits,
// rounded down to whole frames.
constexpr std::uint64_t kMaxDataBytes = (0xFFFFFFFFull - 36) / 4 * 4;

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

std::array<std::uint8_t, 44> MakeHeader(std::uint32_t dataBytes) {
    std::array<std::uint8_t, 44> h{};
    const char* tags = "RIFF\0\0\0\0WAVEfmt ";
    for (int i = 0; i < 16; ++i) h[i] = static_cast<std::uint8_t>(tags[i]);
    Put32(&h[4], dataBytes + 36);
    Put32(&h[16], 16);  // fmt chunk size
    Put16(&h[20], 1);   // PCM
    Put16(&h[22], kChannels);
    Put32(&h[24], kSampleRate);
    Put32(&h[28], kSampleRate * kBytesPerFrame);
    Put16(&h[32], kBytesPerFrame);  // block align
    Put16(&h[34], 16);              // bits per sample
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    Put32(&h[40], dataBytes);
    return h;
}

}  // namespace

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Open(const std::string& path) {
    Close();
    return Start(std::fopen(path.c_str(), "wb"), false);
}

bool WavWriter::OpenStdout() {
    Close();
    return Start(stdout, true);
}

bool WavWriter::Start(std::FILE* file, bool streamed) {
    file_.reset(file);
    dataBytes_ = 0;
    failed_ = false;
    streamed_ = streamed;
    if (!file_) return false;
    // Large writes: a render hands over one block (4 KiB) at a time. The
    // buffer must be our own: given none, the C library keeps its 4 KiB one.
    // Standard output keeps its own buffer, as it outlives this writer.
    if (!streamed) {
        buffer_.resize(kFileBufferBytes);
        std::setvbuf(file_.get(), buffer_.data(), _IOFBF, buffer_.size());
    }
    const auto header = MakeHeader(streamed ? static_cast<std::uint32_t>(kMaxDataBytes) : 0);
    if (std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size()) {
        failed_ = true;
        return false;
    }
    return true;
}

bool WavWriter::Write(std::span<const std::int16_t> samples) {
    if (!file_ || failed_) return false;
    // Whole frames only, so the data chunk never ends in half a frame.
    std::uint64_t bytes = samples.size() / 2 * 4;
    if (dataBytes_ + bytes > kMaxDataBytes) {
        failed_ = true;
        return false;
    }
    std::size_t written = 0;
    if constexpr (std::endian::native == std::endian::little) {
        written = std::fwrite(samples.data(), 1, bytes, file_.get());
    } else {
        std::vector<std::uint8_t> raw(bytes);
        for (std::size_t i = 0; i < bytes / 2; ++i)
            Put16(&raw[2 * i], static_cast<std::uint16_t>(samples[i]));
        written = std::fwrite(raw.data(), 1, raw.size(), file_.get());
    }
    if (written != bytes) {
        failed_ = true;
        return false;
    }
    dataBytes_ += bytes;
    return true;
}

bool WavWriter::Close() {
    if (!file_) return !failed_;
    bool ok = !failed_;
    if (streamed_) {
        if (std::fflush(file_.get()) != 0) ok = false;
        file_.release();  // standard output stays open
        failed_ = !ok;
        return ok;
    }
    const auto header = MakeHeader(static_cast<std::uint32_t>(dataBytes_));
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size())
        ok = false;
    if (std::fclose(file_.release()) != 0) ok = false;
    failed_ = !ok;
    return ok;
}

}  // namespace kestrane::music::player
