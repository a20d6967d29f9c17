// The layout of table Main as the client reads it: 191 text columns read by
// position, each with the name used in statements and the longest text the
// client keeps from it, mapped onto the fields of BoardSettings.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "settings/board_settings.h"

namespace kestrane {

inline constexpr int kMainColumnCount = 191;
inline constexpr int kChannelBlockColumns = 26;
inline constexpr int kLogColumnsPerChannel = 5;

struct MainColumn {
    std::string name;      // column name as written in statements
    std::size_t maxBytes;  // longest text kept after a load
};

// Column `position` (1 to 191) of table Main.
const MainColumn& MainColumnAt(int position);

// The BoardSettings field that column `position` (1 to 191) loads into;
// null for the key (ID) and BOARDNOTE, which the client never reads, and
// for a position out of range.
std::string* FieldAt(BoardSettings& settings, int position);

// The k-th field (0 to 25) of a channel block, in column order.
std::string& BlockField(ChannelSettings& channel, int k);
const std::string& BlockField(const ChannelSettings& channel, int k);

}  // namespace kestrane
