// Bounding texts read from outside (database columns, typed selector text)
// without ever splitting a UTF-8 character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrane {

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 sequence. Bytes that are not valid UTF-8 are treated as
// single characters, so any input gives a bounded result.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// The first `count` characters (UTF-8 aware) of `text`, or all of it.
std::string FirstCharacters(std::string_view text, std::size_t count);

}  // namespace kestrane
