// A board's settings as the session loads them: its row of the settings
// database, by product ID. The client and the logger both load through it.
#pragma once

#include "client/core/session.h"

namespace kestrane {
class SettingsDatabase;
}

namespace kestrane::core {

class DatabaseSettingsSource final : public BoardSettingsSource {
public:
    explicit DatabaseSettingsSource(SettingsDatabase& db) : db_(db) {}
    bool Load(const std::string& pid, BoardSettings& out) override;

private:
    SettingsDatabase& db_;
};

}  // namespace kestrane::core
