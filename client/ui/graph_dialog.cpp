// Graph dialog: creates the chart, loads the log file with the Volts
// caption, reloads it every minute, and closes on Escape only.
#include "ui/graph_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "acquisition/logging.h"
#include "plotwick.h"
#include "ui/logo_image.h"

namespace kestrane::ui {

namespace {
// The dialog's client size: the chart with a 10-pixel border around it.
constexpr int kDialogWidth = 621;
constexpr int kDialogHeight = 262;
constexpr int kCaptionVolts = 1;
}  // namespace

std::string GraphLogPath(const BoardSettings& board, int channel, std::string_view programDirectory) {
    if (channel < 1 || channel > kChannelCount) return {};
    ChannelSettings c = board.channels[static_cast<size_t>(channel - 1)];
    if (c.logPath.empty()) c.logPath = DefaultLogFolder(programDirectory, board.pid);
    return LogFilePath(c);
}

GraphDialog::GraphDialog(QWidget* owner, int channel, BoardSettingsGetter settings,
                         std::string programDirectory)
    : QDialog(owner),
      channel_(channel),
      settings_(std::move(settings)),
      programDirectory_(std::move(programDirectory)) {
    setObjectName(QStringLiteral("graphDialog"));
    setWindowTitle(QStringLiteral("Graph"));
    setWindowIcon(MakeWindowIcon(WindowIcon::Graph));
    setFixedSize(kDialogWidth, kDialogHeight);
    const BoardSettings* board = settings_ ? settings_() : nullptr;
    std::string name;
    if (board != nullptr && channel_ >= 1 && channel_ <= kChannelCount) {
        name = board->channels[static_cast<size_t>(channel_ - 1)].vmName;
        setWindowTitle(QString::fromStdString(name));
    }
    chart_ =
        pwCreateWindow(this, kGraphChartX, kGraphChartY, kGraphChartWidth, kGraphChartHeight, name.c_str());
    LoadChart();
    reload_.setInterval(kGraphReloadMs);
    connect(&reload_, &QTimer::timeout, this, [this] { Reload(); });
    reload_.start();
}

GraphDialog::~GraphDialog() { reload_.stop(); }

std::string GraphDialog::logPath() const {
    const BoardSettings* board = settings_ ? settings_() : nullptr;
    return board == nullptr ? std::string() : GraphLogPath(*board, channel_, programDirectory_);
}

bool GraphDialog::LoadChart() {
    if (chart_ == nullptr || channel_ < 1 || channel_ > kChannelCount) return false;
    const std::string path = logPath();
    if (path.empty()) return false;
    // A missing or damaged file leaves the chart as it was; nothing is shown.
    return pwLoadFile(chart_, path.c_str(), kCaptionVolts) == 1;
}

void GraphDialog::Reload() { LoadChart(); }

void GraphDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            close();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();  // no default action in this dialog
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void GraphDialog::closeEvent(QCloseEvent* event) {
    reload_.stop();
    QDialog::closeEvent(event);  // rejects: the dialog ends with result 0
}

void GraphDialog::done(int result) {
    reload_.stop();
    QDialog::done(result);
}

void GraphDialogs::SetUp(QWidget* owner, BoardSettingsGetter settings, std::string programDirectory) {
    owner_ = owner;
    settings_ = std::move(settings);
    programDirectory_ = std::move(programDirectory);
}

void GraphDialogs::Open(int channel) {
    if (channel < 1 || channel > kChannelCount) return;
    // Destroyed on return, which destroys the chart and releases its series.
    GraphDialog dialog(owner_, channel, settings_, programDirectory_);
    dialog.exec();
}

}  // namespace kestrane::ui
