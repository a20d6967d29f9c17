#include "client/core/library_board.h"

#include <cstring>
#include <vector>

#include "kestrane_dll.h"

namespace kestrane::core {

bool LibraryBoardExchange::Read(uint32_t productId, int command, std::string& answer) {
    // Eight times what the library may write, so a faulty answer can never
    // run past the buffer; the text is taken up to its terminator.
    std::vector<char> buffer(static_cast<std::size_t>(KESTRANE_ANSWER_TEXT_SIZE) * 8, '\0');
    const int32_t ok = ReadKestrane(static_cast<int32_t>(productId), command, 0, buffer.data());
    if (ok != 1) return false;
    buffer.back() = '\0';
    answer.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return true;
}

}  // namespace kestrane::core
