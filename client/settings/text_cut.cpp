#include "settings/text_cut.h"

namespace kestrane {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the UTF-8 sequence a lead byte announces; 1 for anything that
// cannot lead one, so stray bytes count as characters of their own.
std::size_t SequenceLength(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return 2;
    if (c >= 0xE0 && c <= 0xEF) return 3;
    if (c >= 0xF0 && c <= 0xF4) return 4;
    return 1;
}

// Byte length of the character starting at `pos`, counting only the
// continuation bytes that are really there.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
    const std::size_t want = SequenceLength(static_cast<unsigned char>(text[pos]));
    std::size_t len = 1;
    while (len < want && pos + len < text.size() &&
           IsContinuation(static_cast<unsigned char>(text[pos + len]))) {
        ++len;
    }
    return len;
}

}  // namespace

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t len = CharacterLength(text, end);
        if (end + len > maxBytes) break;
        end += len;
    }
    return std::string(text.substr(0, end));
}

std::string FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t n = 0; n < count && end < text.size(); ++n) {
        end += CharacterLength(text, end);
    }
    return std::string(text.substr(0, end));
}

}  // namespace kestrane
