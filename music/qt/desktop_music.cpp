#include "music/qt/desktop_music.h"

#include <QFile>
#include <QString>

#include "music/player/module_player.h"
#include "music/qt/qt_sound_output.h"

namespace kestrane::music::qt {

void UseDesktopMusic() {
    player::SetModuleResourceLoader([](const std::string& name) -> std::optional<std::vector<std::uint8_t>> {
        if (name.empty()) return std::nullopt;  // no resource; QFile would only warn
        QFile file(QString::fromStdString(name));
        if (file.size() < 0 || static_cast<std::uint64_t>(file.size()) > player::kMaxModuleFileBytes)
            return std::nullopt;
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        const QByteArray bytes = file.readAll();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    });
    if (!player::ModuleOutputInstalled()) player::SetModuleOutput(std::make_unique<QtSoundOutput>());
}

}  // namespace kestrane::music::qt
