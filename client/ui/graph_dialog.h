// The Graph dialog: one chart of a channel's log file, captioned with the
// channel's name and reloaded once a minute while open. The chart logic is
// the chart library's; this module only builds the path and drives the calls.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <string>
#include <string_view>

#include "acquisition/channel_model.h"

class QKeyEvent;
class QCloseEvent;

namespace kestrane::ui {

inline constexpr int kGraphChartX = 10;
inline constexpr int kGraphChartY = 10;
inline constexpr int kGraphChartWidth = 600;
inline constexpr int kGraphChartHeight = 240;
inline constexpr int kGraphReloadMs = 60000;

// Log file of channel n (1..6) as the current settings name it; an empty
// log folder means the program's folder followed by the board's PID and "/".
// The settings themselves are not changed.
std::string GraphLogPath(const BoardSettings& board, int channel, std::string_view programDirectory);

// The current settings, read anew for every path; null when there are none.
using BoardSettingsGetter = std::function<const BoardSettings*()>;

class GraphDialog : public QDialog {
public:
    GraphDialog(QWidget* owner, int channel, BoardSettingsGetter settings, std::string programDirectory);
    ~GraphDialog() override;

    // The chart library's window handle (null when it could not be created).
    void* chart() const { return chart_; }
    // The log file the chart loads, from the settings current now.
    std::string logPath() const;
    const QTimer& reloadTimer() const { return reload_; }
    // The minute tick: reloads the channel's log file into the chart.
    void Reload();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    bool LoadChart();

    int channel_;
    BoardSettingsGetter settings_;
    std::string programDirectory_;
    void* chart_ = nullptr;
    QTimer reload_;
};

// Opens the Graph dialog of a channel modally over the main window.
class GraphDialogs {
public:
    void SetUp(QWidget* owner, BoardSettingsGetter settings, std::string programDirectory);
    void Open(int channel);

private:
    QPointer<QWidget> owner_;
    BoardSettingsGetter settings_;
    std::string programDirectory_;
};

}  // namespace kestrane::ui
