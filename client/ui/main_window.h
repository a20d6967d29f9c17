// The main window: device controls, the six channel rows, status bar,
// credits ticker, logo and menus. It holds no logic of its own: buttons,
// menus and timers go to the session and the window services, and the
// window shows what the session tells it.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <map>
#include <memory>

#include "client/core/session.h"
#include "live/live_feed.h"
#include "live/live_recorder.h"
#include "live/qt/live_window.h"
#include "settings/user_options.h"
#include "ui/drawn_picture_label.h"
#include "ui/session_names.h"
#include "ui/ui_ids.h"
#include "ui/window_services.h"

class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kestrane::ui {

class FittedLabel;

// The Name column holds the longest name the Options dialog is for (its
// caption says 20 characters) in the window's font; the Adjust column an
// adjustment factor as Auto Calc writes it for any reading. Longer texts
// are shown cut, and whole in the tooltip.
inline constexpr int kNameColumnChars = 20;
inline constexpr int kAdjustColumnChars = 16;

// The device selector: opening its list is reported before it shows, so
// the window can disconnect first. While it holds a connection's board, a
// wheel step or an arrow key over it changes nothing and is reported the
// same way.
class DeviceSelector : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void setHoldsConnection(bool holds) { holdsConnection_ = holds; }
signals:
    void aboutToOpen();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool holdsConnection_ = false;
};

// The clickable logo with the hand cursor.
class LogoLabel : public DrawnPictureLabel {
    Q_OBJECT
public:
    explicit LogoLabel(QWidget* parent);
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The four-part status bar; part edges at 50, 140 and 360 pixels, moved
// right where a part's texts need more room in the desktop's font.
class StatusParts : public QWidget {
    Q_OBJECT
public:
    explicit StatusParts(QWidget* parent);
    QSize sizeHint() const override;
    // The right edges of the first three parts.
    const std::array<int, 3>& edges() const { return edges_; }
    void setPartText(int part, const QString& text);
    QString partText(int part) const;
    QLabel* part(int index) const { return parts_[static_cast<std::size_t>(index)]; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateEdges();

    std::array<QLabel*, 4> parts_{};
    std::array<int, 3> edges_{};
};

struct MainWindowDeps {
    MessageSink& messages;
    BoardExchange& board;
    BoardSettingsSource& settingsSource;
    AlarmActions& alarms;
    // Null: the session's own alarm checks and log records over `alarms`.
    ChannelTasks* tasks;
    WindowDialogs& dialogs;
    UrlOpener& urls;
};

class MainWindow : public QMainWindow, private SessionListener, private Scheduler {
    Q_OBJECT
public:
    explicit MainWindow(const MainWindowDeps& deps, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The rest of the start-up once the database is open: device list,
    // disabled Disconnect, gauges, credits ticker, build number, menus.
    void InitializeAfterDatabase(DeviceListActions* devices);
    // Called when the window closes, after the polling timer stopped.
    void SetCloseHook(std::function<void()> hook) { closeHook_ = std::move(hook); }

    AcquisitionSession& core() { return *core_; }
    DeviceSelector* deviceSelector() const { return selector_; }
    QPushButton* connectButton() const { return connectButton_; }
    StatusParts* statusParts() const { return status_; }
    bool timerActive(int id) const;
    // For the Options dialog: a channel's Value text and gauge.
    QString channelValueText(int channel) const;
    int channelGaugePosition(int channel) const;
    // File > Reconnect Automatically, checked as `options` holds it; the
    // session recovers a lost board when `on` (the stored choice or
    // --reconnect). Toggling it stores the choice and applies it at once.
    void SetUpReconnectOption(UserOptions& options, bool on);
    // The credits ticker, also driven directly by tests.
    void CreditsTick();
    // A log record that could not be written, or writing that works again,
    // from tasks the window's session does not own.
    void ReportLogFailure(const std::string& source, bool recovered, const std::string& line) {
        OnLogFailure(source, recovered, line);
    }
    // Graphs > Live View: opens the window, or raises it when open.
    void OpenLiveView();
    live::LiveWindow* liveWindow() const { return liveWindow_; }
    live::LiveFeed& liveFeed() { return *liveFeed_; }

public slots:
    void OnConnect();
    void OnDisconnect();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void OnAddDevice();
    void OnSetDefault();
    void OnDeleteDevice();
    QTimer* TimerFor(int id);
    void OnLogoClicked();

    // The selector's text changed: the session's board follows it, and a
    // connection, which keeps the board it was opened with, ends at any
    // other text (the same as opening the selector's list).
    void OnSelectorTextChanged(const QString& text);
    void SetConnectedControls(bool connected);
    // Status bar part 3: the board's owner when another program owns it
    // (empty: the credits again).
    void ShowOwner(const QString& text);
    void ShowPart3();
    // Gauge of a channel: range 0..maximum, position, green or red bar.
    void SetGauge(int channel, int maximum, int position, bool positive);

    // SessionListener
    void OnReading(const Reading& reading) override;
    void OnConnected(const std::string& board) override;
    void OnDisconnected(const std::string& board) override;
    void OnBoardLost(const std::string& board) override;
    void OnOwnership(const std::string& board, bool owns, const BoardOwner& owner, int lockError) override;
    void OnLogFailure(const std::string& source, bool recovered, const std::string& line) override;
    void OnStatusText(int part, const std::string& text) override;
    void OnValueText(int channel, const std::string& text) override;
    void OnGaugePosition(int channel, int position) override;
    void OnFirmware(const std::string& text) override;
    void OnCurrentRequest(int channel) override;
    void OnChannelColumns(int channel, const ChannelSettings& settings) override;
    void OnNameTooltip(int channel, const std::string& notes) override;
    void OnCloseRequested() override;

    // Scheduler
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;

    struct ChannelRow {
        QLabel* rowLabel = nullptr;
        FittedLabel* mode = nullptr;
        QLineEdit* value = nullptr;
        QProgressBar* gauge = nullptr;
        FittedLabel* name = nullptr;
        FittedLabel* adjust = nullptr;
        FittedLabel* precision = nullptr;
        QPushButton* edit = nullptr;
    };

    MainWindowDeps deps_;
    // The live view's readings are collected from Connect on, whether or
    // not its window is open. Declared before the session, which tells the
    // feed until it ends.
    std::unique_ptr<live::LiveRecorder> liveRecorder_;
    std::unique_ptr<live::LiveFeed> liveFeed_;
    std::unique_ptr<AcquisitionSession> core_;
    // The selector's text at Connect.
    QString connectionText_;
    DeviceListActions* devices_ = nullptr;
    std::function<void()> closeHook_;
    bool closed_ = false;

    DeviceSelector* selector_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* disconnectButton_ = nullptr;
    QLabel* buildNumber_ = nullptr;
    FittedLabel* firmware_ = nullptr;
    QLineEdit* currentRequest_ = nullptr;
    StatusParts* status_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* loggingMenu_ = nullptr;
    QMenu* graphsMenu_ = nullptr;
    std::array<ChannelRow, kChannelCount> rows_{};
    std::map<int, QTimer*> timers_;
    std::array<std::string, 6> credits_;
    int creditsCounter_ = 0;
    // While another program owns the board: its name, shown instead of the credits.
    QString ownerText_;
    QString creditsText_;
    // Log files that lose records, by source: shown before the owner and the credits.
    std::map<std::string, QString> logFailures_;
    QPointer<live::LiveWindow> liveWindow_;
};

// Shows error boxes on a parent window; an empty caption reads "Error".
class QtMessageSink final : public MessageSink {
public:
    explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void ShowError(const std::string& caption, const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace kestrane::ui
