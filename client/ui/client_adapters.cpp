#include "ui/client_adapters.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "ui/about_dialog.h"

namespace kestrane::ui {

bool DesktopUrlOpener::Open(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void QtWindowDialogs::OpenAbout() { ShowAboutBox(owner_.data()); }

}  // namespace kestrane::ui
