#include "settings/dll_board_directory.h"

#include <vector>

#include "kestrane_dll.h"

namespace kestrane {

bool DllBoardDirectory::FindBoards(std::string& list) {
    // The library writes at most its named size; one more byte keeps the
    // text terminated whatever it writes.
    std::vector<char> text(KESTRANE_LIST_TEXT_SIZE + 1, '\0');
    if (FindKestranes(text.data()) != 1) return false;
    text.back() = '\0';
    list = text.data();
    return true;
}

bool DllBoardDirectory::ProductString(uint32_t productId, std::string& text) {
    std::vector<char> buffer(KESTRANE_STRING_TEXT_SIZE + 1, '\0');
    if (GetProductString(static_cast<int32_t>(productId), buffer.data()) != 1) return false;
    buffer.back() = '\0';
    text = buffer.data();
    return true;
}

}  // namespace kestrane
