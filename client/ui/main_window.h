// The main window: device controls, the six channel rows, status bar,
// credits ticker, logo and menus. It holds no logic of its own: buttons,
// menus and timers go to the client core and the window services.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <map>
#include <memory>

#include "core/client_core.h"
#include "live/live_feed.h"
#include "live/live_recorder.h"
#include "live/qt/live_window.h"
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
// wheel step over it changes nothing and is reported the same way.
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

private:
    bool holdsConnection_ = false;
};

// The clickable logo with the hand cursor.
class LogoLabel : public QLabel {
    Q_OBJECT
public:
    explicit LogoLabel(QWidget* parent);
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The four-part status bar; part edges at 50, 140 and 360 pixels.
class StatusParts : public QWidget {
    Q_OBJECT
public:
    explicit StatusParts(QWidget* parent);
    void setPartText(int part, const QString& text);
    QString partText(int part) const;
    QLabel* part(int index) const { return parts_[static_cast<std::size_t>(index)]; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::array<QLabel*, 4> parts_{};
};

struct MainWindowDeps {
    MessageSink& messages;
    BoardExchange& board;
    BoardSettingsSource& settingsSource;
    ChannelTasks& tasks;
    WindowDialogs& dialogs;
    UrlOpener& urls;
};

class MainWindow : public QMainWindow, private MainView {
    Q_OBJECT
public:
    explicit MainWindow(const MainWindowDeps& deps, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The rest of the start-up once the database is open: device list,
    // disabled Disconnect, gauges, credits ticker, build number, menus.
    void InitializeAfterDatabase(DeviceListActions* devices);
    // Called when the window closes, after the polling timer stopped.
    void SetCloseHook(std::function<void()> hook) { closeHook_ = std::move(hook); }

    ClientCore& core() { return *core_; }
    DeviceSelector* deviceSelector() const { return selector_; }
    QPushButton* connectButton() const { return connectButton_; }
    StatusParts* statusParts() const { return status_; }
    bool timerActive(int id) const;
    // For the channel dialogs: a window timer started (or restarted with a
    // new period) or stopped by id, and a channel's Value text and gauge.
    void StartWindowTimer(int id, int periodMs) { StartTimer(id, periodMs); }
    void StopWindowTimer(int id) { StopTimer(id); }
    QString channelValueText(int channel) const;
    int channelGaugePosition(int channel) const;
    // The credits ticker, also driven directly by tests.
    void CreditsTick();
    // Graphs > Live View: opens the window, or raises it when open.
    void OpenLiveView();
    live::LiveWindow* liveWindow() const { return liveWindow_; }
    live::LiveFeed& liveFeed() { return *liveFeed_; }

public slots:
    void OnConnect();
    void OnDisconnect();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void BuildControls();
    void BuildMenus();
    void OnAddDevice();
    void OnSetDefault();
    void OnDeleteDevice();
    QTimer* TimerFor(int id);
    void OnLogoClicked();

    // MainView
    void SetStatusText(int part, const std::string& text) override;
    void SetValueText(int channel, const std::string& text) override;
    void SetGauge(int channel, int maximum, int position, bool positive) override;
    void SetGaugePosition(int channel, int position) override;
    void SetFirmwareText(const std::string& text) override;
    void SetCurrentRequest(const std::string& text) override;
    void SetConnectedControls(bool connected) override;
    void SetChannelColumns(int channel, const std::string& mode, const std::string& name,
                           const std::string& adjust, const std::string& precision) override;
    void SetNameTooltip(int channel, const std::string& notes) override;
    std::string DeviceSelectorText() const override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void RequestClose() override;

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
    std::unique_ptr<ClientCore> core_;
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
    QMenu* loggingMenu_ = nullptr;
    QMenu* graphsMenu_ = nullptr;
    std::array<ChannelRow, kChannelCount> rows_{};
    std::map<int, QTimer*> timers_;
    std::array<std::string, 6> credits_;
    int creditsCounter_ = 0;
    // The live view's readings are collected from Connect on, whether or
    // not its window is open.
    std::unique_ptr<live::LiveRecorder> liveRecorder_;
    std::unique_ptr<live::LiveFeed> liveFeed_;
    QPointer<live::LiveWindow> liveWindow_;
};

// Shows error boxes on a parent window; an empty caption reads "Error".
class QtMessageSink final : public MessageSink {
public:
    explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void showError(const std::string& caption, const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace kestrane::ui
