#include "ui/client_adapters.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <cstring>
#include <vector>

#include "kestrane_dll.h"
#include "kestrane_version.h"

#if __has_include("ui/about_dialog.h")
#include "ui/about_dialog.h"
#define KESTRANE_HAVE_ABOUT_BOX 1
#endif

namespace kestrane::ui {

bool DllBoardExchange::Read(uint32_t productId, int command, std::string& answer) {
    // Eight times what the library may write, so a faulty answer can never
    // run past the buffer; the text is taken up to its terminator.
    std::vector<char> buffer(static_cast<std::size_t>(KESTRANE_ANSWER_TEXT_SIZE) * 8, '\0');
    const int32_t ok = ReadKestrane(static_cast<int32_t>(productId), command, 0, buffer.data());
    if (ok != 1) return false;
    buffer.back() = '\0';
    answer.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return true;
}

bool DatabaseSettingsSource::Load(const std::string&, const std::string& pid, BoardSettings& out) {
    return db_.loadBoardSettings(pid, out);
}

bool DesktopUrlOpener::Open(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void QtWindowDialogs::OpenAbout() {
#ifdef KESTRANE_HAVE_ABOUT_BOX
    ShowAboutBox(owner_.data());
#else
    QMessageBox::about(owner_.data(), QStringLiteral("About Kestrane"),
                       QStringLiteral("Kestrane six-channel USB voltmeter client\nBuild Number: ") +
                           QStringLiteral(KESTRANE_VERSION_TEXT) + QStringLiteral("\nMorvane"));
#endif
}

}  // namespace kestrane::ui
