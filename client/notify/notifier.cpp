#include "notify/notifier.h"

namespace kestrane::notify {
namespace {

// Control characters and markup signs would be shown raw or taken as markup
// by notification servers; a board name is the user's own text.
std::string Plain(const std::string& text) {
    std::string plain;
    for (const char c : text.substr(0, 64)) {
        if (c == '<' || c == '>' || c == '&' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7f) {
            plain.push_back(' ');
        } else {
            plain.push_back(c);
        }
    }
    return plain;
}

std::string LocalTimeText(std::time_t when) {
    std::tm local{};
    if (::localtime_r(&when, &local) == nullptr) return "an unknown time";
    char buf[32];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return n > 0 ? std::string(buf, n) : std::string("an unknown time");
}

std::string BoardWords(const std::string& board, const std::string& name) {
    std::string words = "Board " + Plain(board);
    const std::string plainName = Plain(name);
    if (!plainName.empty()) words += " (" + plainName + ")";
    return words;
}

}  // namespace

NotificationText BoardLostText(const std::string& board, const std::string& name, std::time_t when) {
    return {"Kestrane: board " + Plain(board) + " lost",
            BoardWords(board, name) + " stopped answering at " + LocalTimeText(when) + ". Reconnecting."};
}

NotificationText BoardBackText(const std::string& board, const std::string& name, std::time_t when) {
    return {"Kestrane: board " + Plain(board) + " is back",
            BoardWords(board, name) + " answers again since " + LocalTimeText(when) + "."};
}

}  // namespace kestrane::notify
