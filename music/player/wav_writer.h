// Writes 48 kHz stereo 16-bit PCM into a canonical RIFF/WAVE file, patching
// the chunk sizes when closed. Used by the WAV-file output and kestrane-xm.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kestrane::music::player {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();  // closes (and finishes) an open file
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates or truncates the file and writes a header with zero sizes.
    bool Open(const std::string& path);
    // Writes to standard output, which is left open. A pipe cannot be
    // patched afterwards, so the header carries the largest sizes, which
    // readers take as "until the end of the stream".
    bool OpenStdout();
    // Appends interleaved samples (little-endian on disk). Fails once the
    // file would pass the format's 4 GiB limit or the disk refuses data;
    // after a failure nothing more is written and Close reports it.
    bool Write(std::span<const std::int16_t> samples);
    // Patches the sizes and closes. False if any write or the close failed.
    bool Close();

    bool is_open() const { return file_ != nullptr; }
    std::uint64_t framesWritten() const { return dataBytes_ / 4; }

private:
    bool Start(std::FILE* file, bool streamed);

    struct FileCloser {
        void operator()(std::FILE* f) const {
            if (f == stdout)
                std::fflush(f);
            else
                std::fclose(f);
        }
    };
    static constexpr std::size_t kFileBufferBytes = 256 * 1024;
    // Declared before file_, so the stream is closed before its buffer goes.
    std::vector<char> buffer_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool streamed_ = false;
    std::uint64_t dataBytes_ = 0;
    bool failed_ = false;
};

}  // namespace kestrane::music::player
