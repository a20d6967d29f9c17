#include "client/core/database_settings_source.h"

#include "settings/settings_database.h"

namespace kestrane::core {

bool DatabaseSettingsSource::Load(const std::string& pid, BoardSettings& out) {
    return db_.LoadBoardSettings(pid, out);
}

}  // namespace kestrane::core
