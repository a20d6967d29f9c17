// The client's logic without widgets: Connect, Disconnect, the timer
// dispatch of the polling, trigger, animation, logging and credits timers,
// and what each writes into the main window. The window implements
// MainView; tests implement it with plain records and drive the core.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/channel_model.h"
#include "acquisition/conversion.h"
#include "acquisition/polling_cycle.h"
#include "settings/message_sink.h"

namespace kestrane::ui {

// What the core writes into and reads from the main window.
class MainView {
public:
    virtual ~MainView() = default;
    virtual void SetStatusText(int part, const std::string& text) = 0;
    virtual void SetValueText(int channel, const std::string& text) = 0;
    // Gauge of a channel: range 0..maximum, position, green or red bar.
    virtual void SetGauge(int channel, int maximum, int position, bool positive) = 0;
    virtual void SetGaugePosition(int channel, int position) = 0;
    virtual void SetFirmwareText(const std::string& text) = 0;
    virtual void SetCurrentRequest(const std::string& text) = 0;
    // Connect/Disconnect buttons, Edit buttons, Logging and Graphs menus.
    virtual void SetConnectedControls(bool connected) = 0;
    virtual void SetChannelColumns(int channel, const std::string& mode, const std::string& name,
                                   const std::string& adjust, const std::string& precision) = 0;
    // Notes shown over the Name column while connected; empty removes it.
    virtual void SetNameTooltip(int channel, const std::string& notes) = 0;
    virtual std::string DeviceSelectorText() const = 0;
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;
    // Ask the window to close (after the failed-exchange box).
    virtual void RequestClose() = 0;
};

// Loads one board's row from the settings database. Returns false and
// leaves `out` untouched when the row cannot be read.
class BoardSettingsSource {
public:
    virtual ~BoardSettingsSource() = default;
    virtual bool Load(const std::string& vid, const std::string& pid, BoardSettings& out) = 0;
};

// Alarm checks and log records of a channel.
class ChannelTasks {
public:
    virtual ~ChannelTasks() = default;
    virtual void TriggerCheck(int channel, const ChannelSettings& settings, ChannelState& state) = 0;
    virtual void WriteLogRecord(int channel, const ChannelSettings& settings, const ChannelState& state) = 0;
    // Period of the channel's logging timer at Connect; 0 starts none.
    virtual int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) = 0;
};

inline constexpr const char* kWriteFailedText = "Write to board failed";
inline constexpr const char* kWriteFailedCaption = "SHAZBOT! Function call to DLL failed!";
inline constexpr const char* kVid = "0000";

// The Adjust and Precision columns as last shown. The conversion reads
// these, so a saved value takes effect once it is shown.
struct ShownColumns {
    std::string adjustText;
    std::string precisionText;
};

class ClientCore final : private PollingDisplay {
public:
    ClientCore(MainView& view, MessageSink& messages, BoardExchange& board,
               BoardSettingsSource& settingsSource, ChannelTasks& tasks);

    void Connect();
    void Disconnect();
    // The device selector's text changed. A connection keeps the board it
    // was opened with, so any other text while connected disconnects, the
    // same as opening the selector's list.
    void SelectorTextChanged();
    // Dispatches a main-window timer; unknown ids are ignored.
    void OnTimer(int id);
    // Closing: stops the polling timer. The caller closes the database.
    void PrepareClose();

    // Load the selected board's settings and show them in the columns and
    // tooltips; also run after a dialog saved settings.
    void LoadAndShowSettings();

    bool connected() const { return connected_; }
    const PollingCycle& polling() const { return polling_; }
    const BoardSettings& settings() const { return settings_; }
    BoardSettings& mutableSettings() { return settings_; }
    // The Logging dialog keeps a channel's last valid logging period here.
    ChannelStates& mutableStates() { return states_; }
    const ChannelStates& states() const { return states_; }
    const ShownColumns& columns(int n) const { return columns_[static_cast<std::size_t>(n - 1)]; }
    // The board being worked on: the one chosen at Connect while
    // connected, otherwise the first four characters of the selector.
    std::string currentPid() const;

    // After the Logging dialog saved channel n: restarts its logging timer
    // with the new period, or stops it when logging is off. Does nothing
    // while disconnected (the timers run only while connected).
    void ApplyLoggingSettings(int channel);

    // The Logging dialog clears the busy flag when it closes.
    void ClearBusy() { polling_.busy = false; }

    // Headless use: a failed exchange no longer shows the error box and
    // closes; the core disconnects instead (every shown reading cleared, so
    // no record or alarm comes from old values), lets the next pass run
    // again after a Connect and calls `handler`, which may retry.
    void SetBoardLostHandler(std::function<void()> handler) { boardLost_ = std::move(handler); }

    // Called with each reading a pass converted and showed, after the
    // channel's state was updated.
    void SetReadingObserver(std::function<void(int channel, const ChannelState& state)> observer) {
        readingObserver_ = std::move(observer);
    }
    // One more observer of the same readings, called after the one above.
    void AddReadingObserver(std::function<void(int channel, const ChannelState& state)> observer) {
        moreReadingObservers_.push_back(std::move(observer));
    }

private:
    void PollingTick();
    void TriggerTick();
    void AnimationTickOnce();

    // PollingDisplay
    void ShowCurrentRequest(int channel) override;
    void ShowDisabled(int channel) override;
    void ShowReading(int channel, const std::string& word) override;

    MainView& view_;
    MessageSink& messages_;
    BoardExchange& board_;
    BoardSettingsSource& settingsSource_;
    ChannelTasks& tasks_;

    BoardSettings settings_;
    ChannelStates states_;
    std::array<ShownColumns, kChannelCount> columns_;
    PollingCycle polling_;
    bool connected_ = false;
    bool closing_ = false;
    std::function<void()> boardLost_;
    std::function<void(int, const ChannelState&)> readingObserver_;
    std::vector<std::function<void(int, const ChannelState&)>> moreReadingObservers_;
    // Set once an exchange failed: the shown readings are the board's last
    // before it went, so they are neither logged nor checked for alarms.
    bool exchangeFailed_ = false;
    // The selector's text and its PID at Connect.
    std::string connectionText_;
    std::string connectionPid_;
};

}  // namespace kestrane::ui
