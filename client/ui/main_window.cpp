#include "ui/main_window.h"

#include <QCloseEvent>
#include <QDate>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "acquisition/polling_cycle.h"
#include "client/core/startup_logic.h"
#include "common/numtext.h"
#include "kestrane_version.h"
#include "settings/device_registry.h"
#include "ui/board_loss.h"
#include "ui/control_tag.h"
#include "ui/fitted_label.h"
#include "ui/logo_image.h"
#include "ui/ui_ids.h"

namespace kestrane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The light blue behind the column headers, and the black text that goes
// with it whatever the desktop's palette (a dark theme's light text on it
// would be unreadable).
constexpr QColor kHeaderBlue(214, 223, 247);
constexpr QColor kHeaderText(0, 0, 0);

// The gauge's trough follows the palette's base colour (white in a light
// theme), so a dark theme does not get a glaring white bar.
QString GaugeStyle(bool positive) {
    return positive ? QStringLiteral(
                          "QProgressBar{border:1px solid #808080;background:palette(base);}"
                          "QProgressBar::chunk{background-color:rgb(0,255,0);}")
                    : QStringLiteral(
                          "QProgressBar{border:1px solid #808080;background:palette(base);}"
                          "QProgressBar::chunk{background-color:rgb(255,0,0);}");
}

// The texts each of the first three status parts shows.
const std::array<std::vector<QString>, 3>& StatusPartTexts() {
    static const std::array<std::vector<QString>, 3> texts{{
        {QStringLiteral("STATUS:")},
        {QStringLiteral("Not Connected"), QStringLiteral("Connected")},
        {QStringLiteral("MSG:   Click on connect"), QString::fromLatin1(kPollingStartedText),
         QString::fromLatin1(kPollingPausedText), QStringLiteral(" MSG: Data Polling ............")},
    }};
    return texts;
}

// Notes as a tooltip that wraps: rich text lets long lines break.
QString NotesTooltip(const std::string& notes) {
    if (notes.empty()) return QString();
    QString html = Q(notes).toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<qt><p style='white-space:pre-wrap'>") + html + QStringLiteral("</p></qt>");
}

// The Name label's tooltip: its notes, led by the whole name when the
// column shows the name cut.
QString NameTooltip(const FittedLabel& name) {
    const std::string notes = name.property("notes").toString().toStdString();
    if (!name.isElided()) return NotesTooltip(notes);
    if (notes.empty()) return name.text();
    QString tip = NotesTooltip(notes);
    tip.insert(tip.indexOf(QStringLiteral("<p")),
               QStringLiteral("<p>") + name.text().toHtmlEscaped() + QStringLiteral("</p>"));
    return tip;
}

}  // namespace

void DeviceSelector::showPopup() {
    emit aboutToOpen();
    QComboBox::showPopup();
}

void DeviceSelector::wheelEvent(QWheelEvent* event) {
    // A wheel step passing over the selector must not pick another board
    // under a running connection: it disconnects and keeps the selection.
    if (holdsConnection_) {
        event->accept();
        emit aboutToOpen();
        return;
    }
    QComboBox::wheelEvent(event);
}

void DeviceSelector::keyPressEvent(QKeyEvent* event) {
    // The keys that step the selection guard the connection the same way
    // once Tab can bring the selector the focus.
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            if (holdsConnection_ && !(event->modifiers() & Qt::AltModifier)) {
                event->accept();
                emit aboutToOpen();
                return;
            }
            break;
        default:
            break;
    }
    QComboBox::keyPressEvent(event);
}

LogoLabel::LogoLabel(QWidget* parent) : DrawnPictureLabel(&MakeLogoPixmap, parent) {
    setCursor(Qt::PointingHandCursor);
}

void LogoLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    DrawnPictureLabel::mousePressEvent(event);
}

StatusParts::StatusParts(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statusBar"));
    setProperty("controlId", kIdStatusBar);
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("statusPart%1").arg(i));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setContentsMargins(2, 0, 2, 0);
        QFont small = label->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        label->setFont(small);
        label->setTextFormat(Qt::PlainText);
        parts_[i] = label;
    }
    setFixedHeight(fontMetrics().height() + 8);
    UpdateEdges();
}

void StatusParts::UpdateEdges() {
    // Each part is as wide as its usual edge places it, or as its longest
    // text needs in the font the desktop chose, whichever is more.
    int left = 0;
    for (std::size_t i = 0; i < edges_.size(); ++i) {
        const QLabel* label = parts_[i];
        const QFontMetrics metrics(label->font());
        int textWidth = 0;
        for (const QString& text : StatusPartTexts()[i])
            textWidth = std::max(textWidth, metrics.horizontalAdvance(text));
        // The text may use the right padding, not the frame.
        const int needed = textWidth + label->contentsMargins().left() + 2 * label->frameWidth();
        edges_[i] = std::max(kStatusPartRightEdges[i], left + needed);
        left = edges_[i];
    }
    updateGeometry();
}

QSize StatusParts::sizeHint() const {
    // The three fixed parts and room for a credits line beside them.
    return QSize(edges_.back() + fontMetrics().averageCharWidth() * 20, height());
}

void StatusParts::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        setFixedHeight(fontMetrics().height() + 8);
        UpdateEdges();
    }
}

void StatusParts::setPartText(int part, const QString& text) {
    if (part < 0 || part >= kStatusPartCount) return;
    parts_[static_cast<std::size_t>(part)]->setText(text);
}

QString StatusParts::partText(int part) const {
    if (part < 0 || part >= kStatusPartCount) return QString();
    return parts_[static_cast<std::size_t>(part)]->text();
}

void StatusParts::resizeEvent(QResizeEvent*) {
    int left = 0;
    for (int i = 0; i < kStatusPartCount; ++i) {
        const int right = i < 3 ? edges_[static_cast<std::size_t>(i)] : std::max(width(), left + 1);
        parts_[static_cast<std::size_t>(i)]->setGeometry(left, 0, right - left, height());
        left = right;
    }
}

void QtMessageSink::ShowError(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, caption.empty() ? QStringLiteral("Error") : Q(caption), Q(text),
                    QMessageBox::Ok, parent_.data());
    box.exec();
}

MainWindow::MainWindow(const MainWindowDeps& deps, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      deps_(deps) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setWindowIcon(MakeWindowIcon());
    core_ = std::make_unique<AcquisitionSession>(SessionParts{static_cast<Scheduler&>(*this),
                                                              deps_.settingsSource, deps_.alarms,
                                                              deps_.messages, &deps_.board, deps_.tasks});
    core_->AddListener(static_cast<SessionListener&>(*this));
    liveRecorder_ = std::make_unique<live::LiveRecorder>();
    liveFeed_ = std::make_unique<live::LiveFeed>(
        *liveRecorder_, [] { return live::ToUnixMs(std::chrono::system_clock::now()); });
    core_->AddListener(*liveFeed_);
    BuildControls();
    BuildMenus();
}

MainWindow::~MainWindow() {
    for (auto& [id, timer] : timers_) timer->stop();
}

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("mainPanel"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* body = new QWidget(central);
    auto* grid = new QGridLayout(body);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);

    // Device and connection row: the selector, then its buttons in order.
    selector_ = Tag(new DeviceSelector(body), kIdDeviceSelector, "deviceSelector");
    selector_->setEditable(true);
    selector_->setInsertPolicy(QComboBox::NoInsert);
    selector_->setMinimumWidth(220);
    SetSpokenName(selector_, QStringLiteral("Device"));
    connect(selector_, &DeviceSelector::aboutToOpen, this, &MainWindow::OnDisconnect);
    connect(selector_, &QComboBox::currentTextChanged, this, &MainWindow::OnSelectorTextChanged);
    auto* deviceRow = new QHBoxLayout();
    deviceRow->setSpacing(6);
    deviceRow->addWidget(selector_, 1);

    struct ButtonSpec {
        int id;
        const char* name;
        const char* caption;
        void (MainWindow::*action)();
        QPushButton* MainWindow::*keep;
    };
    static constexpr ButtonSpec kDeviceButtons[] = {
        {kIdAddDevice, "addDeviceButton", "ADD Device", &MainWindow::OnAddDevice, nullptr},
        {kIdSetDefault, "setDefaultButton", "Set Default", &MainWindow::OnSetDefault, nullptr},
        {kIdDeleteDevice, "deleteDeviceButton", "Delete Device", &MainWindow::OnDeleteDevice, nullptr},
        {kIdConnect, "connectButton", "Connect", &MainWindow::OnConnect, &MainWindow::connectButton_},
        {kIdDisconnect, "disconnectButton", "Disconnect", &MainWindow::OnDisconnect,
         &MainWindow::disconnectButton_},
    };
    // Tab follows the page as it reads: the device row left to right, then
    // each channel's Value and Edit, row by row. (The cells are built
    // column by column, which would otherwise be the order.)
    std::vector<QWidget*> readingOrder{selector_};
    for (const ButtonSpec& spec : kDeviceButtons) {
        auto* b = Tag(new QPushButton(QString::fromLatin1(spec.caption), body), spec.id, spec.name);
        b->setAutoDefault(false);
        b->setDefault(false);
        connect(b, &QPushButton::clicked, this, spec.action);
        if (spec.keep) this->*spec.keep = b;
        readingOrder.push_back(b);
        deviceRow->addWidget(b);
    }
    grid->addLayout(deviceRow, 0, 0, 1, 6);

    auto* logo = Tag(new LogoLabel(body), kIdLogo, "logo");
    logo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(logo, &LogoLabel::clicked, this, &MainWindow::OnLogoClicked);
    grid->addWidget(logo, 0, 6, 1, 2, Qt::AlignRight);

    // One column per table entry: its header on the light blue, then the
    // six channels' cells. Texts from the settings sit in fitted labels, so
    // no stored text resizes the window.
    enum class Cell { RowLabel, Fitted, Value, Gauge, EditButton };
    struct ColumnSpec {
        const char* header;
        const char* headerName;
        Cell cell;
        const char* cellName;
        int ChannelIds::*id;
        FittedLabel* ChannelRow::*fitted;
        int widthChars;      // fitted cells: the longest text shown whole...
        const char* glyphs;  // ...made of these characters ("": any printable)
    };
    static constexpr ColumnSpec kColumns[] = {
        {"VoltMeter #     ", "headerVoltMeter", Cell::RowLabel, "rowLabel", &ChannelIds::rowLabel, nullptr, 0,
         ""},
        {"Mode   ", "headerMode", Cell::Fitted, "modeLabel", &ChannelIds::mode, &ChannelRow::mode, 3, "ACDV"},
        {"Value     ", "headerValue", Cell::Value, "valueEdit", &ChannelIds::value, nullptr, 0, ""},
        {"Gauge          ", "headerGauge", Cell::Gauge, "gauge", &ChannelIds::gauge, nullptr, 0, ""},
        {"Name          ", "headerName", Cell::Fitted, "nameLabel", &ChannelIds::name, &ChannelRow::name,
         kNameColumnChars, ""},
        {"Adjust   ", "headerAdjust", Cell::Fitted, "adjustLabel", &ChannelIds::adjust, &ChannelRow::adjust,
         kAdjustColumnChars, " -.0123456789"},
        {"Precision ", "headerPrecision", Cell::Fitted, "precisionLabel", &ChannelIds::precision,
         &ChannelRow::precision, 1, "0123456"},
        {"Options ", "headerOptions", Cell::EditButton, "editButton", &ChannelIds::edit, nullptr, 0, ""},
    };
    static_assert(std::size(kColumns) == kIdHeaders.size());
    // Fixed-width digits keep the decimal places of a channel steady.
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    for (std::size_t c = 0; c < std::size(kColumns); ++c) {
        const ColumnSpec& col = kColumns[c];
        const int column = static_cast<int>(c);
        auto* header = Tag(new QLabel(QString::fromLatin1(col.header), body), kIdHeaders[c], col.headerName);
        header->setAutoFillBackground(true);
        QPalette pal = header->palette();
        pal.setColor(QPalette::Window, kHeaderBlue);
        pal.setColor(QPalette::WindowText, kHeaderText);
        header->setPalette(pal);
        header->setContentsMargins(3, 2, 3, 2);
        grid->addWidget(header, 1, column);

        for (int n = 1; n <= kChannelCount; ++n) {
            ChannelRow& row = rows_[static_cast<std::size_t>(n - 1)];
            const int id = kChannelIds[static_cast<std::size_t>(n - 1)].*col.id;
            const QByteArray name = QByteArray(col.cellName) + QByteArray::number(n);
            QWidget* cell = nullptr;
            switch (col.cell) {
                case Cell::RowLabel:
                    row.rowLabel = new QLabel(QStringLiteral("VoltMeter %1 (\u00b1 0-100)").arg(n), body);
                    cell = row.rowLabel;
                    break;
                case Cell::Fitted: {
                    auto* label = new FittedLabel(body);
                    label->setWidthForChars(col.widthChars, QString::fromLatin1(col.glyphs));
                    row.*col.fitted = label;
                    cell = label;
                    break;
                }
                case Cell::Value:
                    row.value = new QLineEdit(body);
                    row.value->setReadOnly(true);
                    row.value->setMinimumWidth(120);
                    row.value->setFont(mono);
                    SetSpokenName(row.value, QStringLiteral("VoltMeter %1 value").arg(n));
                    cell = row.value;
                    break;
                case Cell::Gauge:
                    row.gauge = new QProgressBar(body);
                    row.gauge->setRange(0, 100);
                    row.gauge->setValue(0);
                    row.gauge->setTextVisible(false);
                    row.gauge->setFixedHeight(16);
                    row.gauge->setMinimumWidth(150);
                    row.gauge->setStyleSheet(GaugeStyle(true));
                    row.gauge->setProperty("barColour", QColor(0, 255, 0));
                    SetSpokenName(row.gauge, QStringLiteral("VoltMeter %1 gauge").arg(n));
                    cell = row.gauge;
                    break;
                case Cell::EditButton:
                    row.edit = new QPushButton(QStringLiteral("Edit"), body);
                    row.edit->setAutoDefault(false);
                    row.edit->setEnabled(false);
                    SetSpokenName(row.edit, QStringLiteral("Edit VoltMeter %1").arg(n));
                    connect(row.edit, &QPushButton::clicked, this,
                            [this, n] { deps_.dialogs.OpenOptions(n); });
                    cell = row.edit;
                    break;
            }
            grid->addWidget(Tag(cell, id, name.constData()), n + 1, column);
        }
    }
    for (ChannelRow& row : rows_) row.mode->setText(QStringLiteral("VDC"));

    // Build number and firmware; the request fields stay hidden. The
    // firmware text takes the room left in the row and is cut to it.
    enum class Info { GreyLabel, Label, Firmware, HiddenLabel, HiddenEdit };
    struct InfoSpec {
        int id;
        const char* name;
        const char* caption;
        Info kind;
        int spacingBefore;
    };
    static constexpr InfoSpec kInfo[] = {
        {kIdBuildNumberLabel, "buildNumberLabel", "Build Number:", Info::GreyLabel, 0},
        {kIdBuildNumber, "buildNumber", "", Info::Label, 0},
        {kIdFirmwareLabel, "firmwareLabel", "Firmware:", Info::GreyLabel, 24},
        {kIdFirmware, "firmware", "", Info::Firmware, 0},
        {kIdCurrentRequestLabel, "currentRequestLabel", "Current request:", Info::HiddenLabel, 0},
        {kIdCurrentRequest, "currentRequest", "", Info::HiddenEdit, 0},
    };
    auto* infoRow = new QHBoxLayout();
    for (const InfoSpec& spec : kInfo) {
        QWidget* w = nullptr;
        switch (spec.kind) {
            case Info::GreyLabel:
            case Info::Label:
            case Info::HiddenLabel:
                w = new QLabel(QString::fromLatin1(spec.caption), body);
                break;
            case Info::Firmware: {
                firmware_ = new FittedLabel(body);
                firmware_->setMinimumWidth(120);
                firmware_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
                w = firmware_;
                break;
            }
            case Info::HiddenEdit:
                w = new QLineEdit(body);
                break;
        }
        Tag(w, spec.id, spec.name);
        if (spec.kind == Info::GreyLabel) w->setEnabled(false);
        if (spec.kind == Info::HiddenEdit) SetSpokenName(w, QStringLiteral("Current request"));
        if (spec.kind == Info::HiddenLabel || spec.kind == Info::HiddenEdit) {
            w->hide();
            continue;
        }
        if (spec.spacingBefore > 0) infoRow->addSpacing(spec.spacingBefore);
        infoRow->addWidget(w, spec.kind == Info::Firmware ? 1 : 0);
    }
    buildNumber_ = body->findChild<QLabel*>(QStringLiteral("buildNumber"));
    currentRequest_ = body->findChild<QLineEdit*>(QStringLiteral("currentRequest"));
    grid->addLayout(infoRow, kChannelCount + 2, 0, 1, 8);

    outer->addWidget(body, 1);
    status_ = new StatusParts(central);
    outer->addWidget(status_);
    setCentralWidget(central);

    for (ChannelRow& row : rows_) {
        readingOrder.push_back(row.value);
        readingOrder.push_back(row.edit);
    }
    for (std::size_t i = 1; i < readingOrder.size(); ++i) setTabOrder(readingOrder[i - 1], readingOrder[i]);
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    fileMenu_ = file;
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("exitAction"));
    exit->setData(kMenuExit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    loggingMenu_ = bar->addMenu(QStringLiteral("&Logging"));
    loggingMenu_->setObjectName(QStringLiteral("loggingMenu"));
    loggingMenu_->menuAction()->setData(kMenuLogging);
    graphsMenu_ = bar->addMenu(QStringLiteral("&Graphs"));
    graphsMenu_->setObjectName(QStringLiteral("graphsMenu"));
    graphsMenu_->menuAction()->setData(kMenuGraphs);
    for (int n = 1; n <= kChannelCount; ++n) {
        QAction* log = loggingMenu_->addAction(QStringLiteral("&Voltmeter %1").arg(n));
        log->setObjectName(QStringLiteral("loggingAction%1").arg(n));
        log->setData(kMenuLoggingFirst + n - 1);
        connect(log, &QAction::triggered, this, [this, n] { deps_.dialogs.OpenLogging(n); });
        QAction* graph = graphsMenu_->addAction(QStringLiteral("&Voltmeter %1").arg(n));
        graph->setObjectName(QStringLiteral("graphsAction%1").arg(n));
        graph->setData(kMenuGraphsFirst + n - 1);
        connect(graph, &QAction::triggered, this, [this, n] { deps_.dialogs.OpenGraph(n); });
    }
    QAction* liveView = graphsMenu_->addAction(QStringLiteral("&Live View"));
    liveView->setObjectName(QStringLiteral("graphsLiveView"));
    liveView->setData(kMenuGraphsLiveView);
    connect(liveView, &QAction::triggered, this, &MainWindow::OpenLiveView);
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* about = help->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setData(kMenuAbout);
    connect(about, &QAction::triggered, this, [this] { deps_.dialogs.OpenAbout(); });

    // Ctrl+Q closes the window like File > Exit; the menu's texts stay as
    // they are, so the shortcut is not shown there.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quit->setObjectName(QStringLiteral("quitShortcut"));
    connect(quit, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::InitializeAfterDatabase(DeviceListActions* devices) {
    devices_ = devices;
    if (devices_) devices_->Fill();

    status_->setPartText(0, QStringLiteral("STATUS:"));
    status_->setPartText(1, QStringLiteral("Not Connected"));
    status_->setPartText(2, QStringLiteral("MSG:   Click on connect"));
    disconnectButton_->setEnabled(false);
    for (int n = 1; n <= kChannelCount; ++n) SetGauge(n, 100, 0, true);

    credits_ = CreditLines(QDate::currentDate().year());
    creditsCounter_ = 0;
    status_->setPartText(3, Q(credits_[0]));
    QTimer* credits = TimerFor(kTimerCredits);
    credits->start(kCreditsPeriodMs);

    buildNumber_->setText(QStringLiteral(KESTRANE_VERSION_TEXT));
    loggingMenu_->menuAction()->setEnabled(false);
    graphsMenu_->menuAction()->setEnabled(false);

    adjustSize();
    setFixedSize(sizeHint());
}

void MainWindow::SetUpReconnectOption(UserOptions& options, bool on) {
    QAction* item = new QAction(QStringLiteral("&Reconnect Automatically"), fileMenu_);
    item->setObjectName(QStringLiteral("reconnectAction"));
    item->setCheckable(true);
    item->setChecked(options.reconnectAutomatically());
    fileMenu_->insertAction(fileMenu_->actions().value(0), item);
    fileMenu_->insertSeparator(fileMenu_->actions().value(1));
    core_->SetRecovery(on);
    connect(item, &QAction::toggled, this, [this, &options](bool checked) {
        options.SetReconnectAutomatically(checked);
        core_->SetRecovery(checked);
    });
}

void MainWindow::OpenLiveView() {
    if (!liveWindow_) {
        liveWindow_ = new live::LiveWindow(
            *liveFeed_, [this]() -> const BoardSettings* { return &core_->settings(); },
            [this](int channel) { return core_->states().at(channel).shown; }, this);
        liveWindow_->Refresh();
    }
    liveWindow_->show();
    liveWindow_->raise();
    liveWindow_->activateWindow();
}

void MainWindow::CreditsTick() {
    const int line = kestrane::ui::CreditsTick(creditsCounter_);
    creditsText_ = Q(credits_[static_cast<std::size_t>(line)]);
    if (ownerText_.isEmpty() && logFailures_.empty()) status_->setPartText(3, creditsText_);
}

void MainWindow::ShowOwner(const QString& text) {
    if (text == ownerText_) return;
    if (ownerText_.isEmpty() && logFailures_.empty()) creditsText_ = status_->partText(3);
    ownerText_ = text;
    ShowPart3();
}

void MainWindow::ShowPart3() {
    QStringList lines;
    for (const auto& [source, line] : logFailures_) lines << line;
    status_->part(3)->setToolTip(lines.join(QLatin1Char('\n')));
    status_->setPartText(3, !lines.isEmpty()        ? lines.constLast()
                            : !ownerText_.isEmpty() ? ownerText_
                                                    : creditsText_);
}

void MainWindow::OnLogFailure(const std::string& source, bool recovered, const std::string& line) {
    if (logFailures_.empty() && ownerText_.isEmpty()) creditsText_ = status_->partText(3);
    if (recovered)
        logFailures_.erase(source);
    else
        logFailures_[source] = Q(line);
    ShowPart3();
}

QTimer* MainWindow::TimerFor(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) return it->second;
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("timer%1").arg(id));
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] {
        if (id == kTimerCredits)
            CreditsTick();
        else
            core_->OnTimer(id);
    });
    timers_.emplace(id, timer);
    return timer;
}

QString MainWindow::channelValueText(int channel) const {
    if (channel < 1 || channel > kChannelCount) return QString();
    return rows_[static_cast<std::size_t>(channel - 1)].value->text();
}

int MainWindow::channelGaugePosition(int channel) const {
    if (channel < 1 || channel > kChannelCount) return 0;
    return rows_[static_cast<std::size_t>(channel - 1)].gauge->value();
}

bool MainWindow::timerActive(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void MainWindow::OnConnect() {
    connectionText_ = selector_->currentText();
    core_->SelectBoard(PidFromSelectorText(connectionText_.toStdString()));
    core_->Connect();
}

void MainWindow::OnSelectorTextChanged(const QString& text) {
    if ((core_->connected() || core_->boardLost()) && text != connectionText_) core_->Disconnect();
    core_->SelectBoard(PidFromSelectorText(text.toStdString()));
}
void MainWindow::OnAddDevice() {
    if (devices_) devices_->Add();
}
void MainWindow::OnSetDefault() {
    if (devices_) devices_->SetDefault();
}
void MainWindow::OnDeleteDevice() {
    if (devices_) devices_->Delete();
}
void MainWindow::OnDisconnect() { core_->Disconnect(); }

void MainWindow::OnLogoClicked() {
    if (!deps_.urls.Open(kMakerWebAddress)) deps_.messages.ShowError(std::string(), kBrowserNotFoundText);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        core_->PrepareClose();
        if (closeHook_) closeHook_();
    }
    event->accept();
}

void MainWindow::OnStatusText(int part, const std::string& text) { status_->setPartText(part, Q(text)); }

void MainWindow::OnValueText(int channel, const std::string& text) {
    rows_[static_cast<std::size_t>(channel - 1)].value->setText(Q(text));
}

void MainWindow::OnReading(const Reading& reading) {
    rows_[static_cast<std::size_t>(reading.channel - 1)].value->setText(Q(reading.shown));
    SetGauge(reading.channel, reading.gauge.maximum, reading.gauge.position, reading.gauge.positive);
}

void MainWindow::OnConnected(const std::string&) {
    status_->part(2)->setToolTip(QString());
    SetConnectedControls(true);
}

void MainWindow::OnDisconnected(const std::string&) {
    status_->part(2)->setToolTip(QString());
    // A viewer keeps naming the owner while its board is lost.
    if (!core_->viewer()) ShowOwner(QString());
    SetConnectedControls(false);
}

void MainWindow::OnOwnership(const std::string&, bool owns, const BoardOwner& owner, int) {
    ShowOwner(owns ? QString() : Q(OwnerStatusText(owner)));
}

void MainWindow::OnBoardLost(const std::string& board) {
    const LostStatusTexts texts = LostStatus(board, std::time(nullptr), !core_->boardAnswered());
    status_->setPartText(1, Q(texts.state));
    status_->setPartText(2, Q(texts.message));
    status_->part(2)->setToolTip(Q(texts.detail));
    // Still the connection's board: Disconnect ends the search, the
    // channel dialogs and charts stay open to the user.
    SetConnectedControls(true);
}

void MainWindow::SetGauge(int channel, int maximum, int position, bool positive) {
    QProgressBar* gauge = rows_[static_cast<std::size_t>(channel - 1)].gauge;
    gauge->setRange(0, std::max(0, maximum));
    gauge->setValue(std::clamp(position, 0, std::max(0, maximum)));
    const QColor colour = positive ? QColor(0, 255, 0) : QColor(255, 0, 0);
    if (gauge->property("barColour").value<QColor>() != colour) {
        gauge->setStyleSheet(GaugeStyle(positive));
        gauge->setProperty("barColour", colour);
    }
}

void MainWindow::OnGaugePosition(int channel, int position) {
    QProgressBar* gauge = rows_[static_cast<std::size_t>(channel - 1)].gauge;
    gauge->setValue(std::clamp(position, gauge->minimum(), gauge->maximum()));
}

void MainWindow::OnFirmware(const std::string& text) {
    firmware_->setText(Q(text));
    firmware_->setToolTip(firmware_->isElided() ? firmware_->text() : QString());
}

void MainWindow::OnCurrentRequest(int channel) { currentRequest_->setText(Q(IntToText(channel))); }

void MainWindow::SetConnectedControls(bool connected) {
    connectButton_->setEnabled(!connected);
    disconnectButton_->setEnabled(connected);
    selector_->setHoldsConnection(connected);
    for (ChannelRow& row : rows_) row.edit->setEnabled(connected);
    loggingMenu_->menuAction()->setEnabled(connected);
    graphsMenu_->menuAction()->setEnabled(connected);
}

void MainWindow::OnChannelColumns(int channel, const ChannelSettings& settings) {
    ChannelRow& row = rows_[static_cast<std::size_t>(channel - 1)];
    row.mode->setText(Q(settings.mode));
    row.name->setText(Q(settings.vmName));
    row.adjust->setText(Q(settings.adj));
    row.precision->setText(Q(settings.precision));
    // A text too long for its column is shown cut, and whole in its tooltip.
    for (FittedLabel* label : {row.mode, row.adjust, row.precision})
        label->setToolTip(label->isElided() ? label->text() : QString());
    row.name->setToolTip(NameTooltip(*row.name));
}

void MainWindow::OnNameTooltip(int channel, const std::string& notes) {
    FittedLabel* name = rows_[static_cast<std::size_t>(channel - 1)].name;
    name->setProperty("notes", Q(notes));
    name->setToolTip(NameTooltip(*name));
}

void MainWindow::StartTimer(int id, int periodMs) { TimerFor(id)->start(std::max(1, periodMs)); }

void MainWindow::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

void MainWindow::OnCloseRequested() {
    // Queued so the close happens after the message box's handler returns.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace kestrane::ui
