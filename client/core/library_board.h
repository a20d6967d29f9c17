// The board exchange through the board library: ReadKestrane in mode 0
// with a buffer larger than the library ever fills, read back only up to
// its terminator. The client and the logger both exchange through it.
#pragma once

#include "acquisition/polling_cycle.h"

namespace kestrane::core {

class LibraryBoardExchange final : public BoardExchange {
public:
    bool Read(uint32_t productId, int command, std::string& answer) override;
};

}  // namespace kestrane::core
