// The attached boards as the board library Kestrane_DLL reports them (real
// HID devices, or the simulated bus named by KESTRANE_SIMULATION).
#pragma once

#include "settings/device_registry.h"

namespace kestrane {

class DllBoardDirectory final : public BoardDirectory {
public:
    bool FindBoards(std::string& list) override;
    bool ProductString(uint32_t productId, std::string& text) override;
};

}  // namespace kestrane
