// One acquisition session without any window: the board chosen by product
// ID, its settings, Connect and Disconnect, the polling, trigger,
// animation and logging timers (through the shell's scheduler), the
// conversion, alarm checks and log records, and the handling of a board
// that stops answering. Shells observe it through SessionListener; the
// client's window and the headless logger assemble it the same way.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/board_owner.h"
#include "acquisition/channel_model.h"
#include "acquisition/conversion.h"
#include "acquisition/polling_cycle.h"
#include "acquisition/trigger_engine.h"
#include "client/core/scheduler.h"
#include "client/core/session_events.h"
#include "settings/message_sink.h"

namespace kestrane::core {

// Loads one board's row of settings by product ID. Returns false and
// leaves `out` untouched when the row cannot be read.
class BoardSettingsSource {
public:
    virtual ~BoardSettingsSource() = default;
    virtual bool Load(const std::string& pid, BoardSettings& out) = 0;
};

// Alarm checks and log records of a channel.
class ChannelTasks {
public:
    virtual ~ChannelTasks() = default;
    // `board` is the product ID told to alarm programs.
    virtual void TriggerCheck(const std::string& board, int channel, const ChannelSettings& settings,
                              ChannelState& state) = 0;
    virtual void WriteLogRecord(int channel, const ChannelSettings& settings, const ChannelState& state) = 0;
    // Period of the channel's logging timer at Connect; 0 starts none.
    virtual int LogPeriodMs(const ChannelSettings& settings, ChannelState& state) = 0;
};

inline constexpr const char* kWriteFailedText = "Write to board failed";
inline constexpr const char* kWriteFailedCaption = "SHAZBOT! Function call to DLL failed!";

// The Adjust and Precision columns as last shown. The conversion reads
// these, so a saved value takes effect once it is shown.
struct ShownColumns {
    std::string adjustText;
    std::string precisionText;
};

// What a session is assembled from. The references must outlive it.
struct SessionParts {
    Scheduler& scheduler;
    BoardSettingsSource& settings;
    // Programs started and sounds played by the alarm bands.
    AlarmActions& alarms;
    // Shows the failed-exchange box when the session does not recover.
    MessageSink& messages;
    // Null: the board library.
    BoardExchange* board = nullptr;
    // Null: the trigger engine and log writer over `alarms`, the system
    // clock and the local time.
    ChannelTasks* tasks = nullptr;
};

class AcquisitionSession final : private PollingDisplay {
public:
    explicit AcquisitionSession(const SessionParts& parts);
    ~AcquisitionSession() override;
    AcquisitionSession(const AcquisitionSession&) = delete;
    AcquisitionSession& operator=(const AcquisitionSession&) = delete;

    // Listeners are told in the order they were added; each must outlive
    // the session or be removed first.
    void AddListener(SessionListener& listener);
    void RemoveListener(SessionListener& listener);

    // The board to work on: four hexadecimal digits, "000A". A connection
    // keeps the board it was opened with; the selection applies at the
    // next Connect (and to settings loaded while disconnected).
    void SelectBoard(std::string pid);

    void Connect();
    void Disconnect();
    // Dispatches one of the session's timers; unknown ids are ignored.
    void OnTimer(int id);
    // Closing: stops the polling timer and the search for a lost board.
    // The caller closes the database.
    void PrepareClose();

    // Load the current board's settings and show them in the columns and
    // tooltips; also run after a dialog saved settings.
    void LoadAndShowSettings();

    // Recovery off (the client's default): a failed exchange stops the
    // trigger and logging timers, shows the "Write to board failed" box and
    // asks the shell to close. Recovery on (the logger): the board is marked
    // lost instead (OnDisconnected, then OnBoardLost; readings cleared, so
    // nothing is logged or checked), looked for every kRetryPeriodMs, and
    // once it answers polling starts again at channel 1 (OnConnected, then
    // OnBoardBack).
    void SetRecovery(bool on) { recovery_ = on; }
    bool recovery() const { return recovery_; }
    // Looks for the lost board now, e.g. when a device was plugged in;
    // does nothing unless a board is lost.
    void RetryNow();
    bool boardLost() const { return lost_; }
    // Whether the board of this connection has answered since the user's
    // Connect: a board lost before that was never there, and is waited for.
    bool boardAnswered() const { return answered_; }

    // One board, one owner: with a lock given, each Connect (and each
    // return of a lost board) claims the board for `program`. The owner
    // logs, checks alarms and keeps metrics; while another program holds
    // the board this session only shows its readings (a viewer). The claim
    // stays while the board is lost and is given up at Disconnect. Without
    // a lock every session owns its board.
    void SetOwnerLock(BoardOwnerLock* lock, std::string program);
    bool viewer() const { return viewer_; }
    // The holder while this session is a viewer.
    const BoardOwner& owner() const { return owner_; }

    bool connected() const { return connected_; }
    const PollingCycle& polling() const { return polling_; }
    const BoardSettings& settings() const { return settings_; }
    BoardSettings& mutableSettings() { return settings_; }
    // The Logging dialog keeps a channel's last valid logging period here.
    ChannelStates& mutableStates() { return states_; }
    const ChannelStates& states() const { return states_; }
    const ShownColumns& columns(int n) const { return columns_[static_cast<std::size_t>(n - 1)]; }
    // The board being worked on: the one of the connection while connected
    // (or lost), otherwise the selected one.
    std::string currentPid() const;

    // After the Logging dialog saved channel n: restarts its logging timer
    // with the new period, or stops it when logging is off. Does nothing
    // while disconnected (the timers run only while connected).
    void ApplyLoggingSettings(int channel);

    // The Logging dialog clears the busy flag when it closes.
    void ClearBusy() { polling_.busy = false; }

private:
    void PollingTick();
    void TriggerTick();
    void AnimationTickOnce();
    void StopPolling();
    void MarkLost();
    void Retry();
    void StopRecovery();
    void ClaimBoard();

    template <typename F>
    void Tell(F&& f) {
        for (SessionListener* l : listeners_) f(*l);
    }

    // PollingDisplay
    void ShowCurrentRequest(int channel) override;
    void ShowDisabled(int channel) override;
    void ShowReading(int channel, const std::string& word) override;

    std::unique_ptr<BoardExchange> ownBoard_;
    std::unique_ptr<ChannelTasks> ownTasks_;
    Scheduler& scheduler_;
    BoardSettingsSource& settingsSource_;
    MessageSink& messages_;
    BoardExchange& board_;
    ChannelTasks& tasks_;
    std::vector<SessionListener*> listeners_;

    BoardSettings settings_;
    ChannelStates states_;
    std::array<ShownColumns, kChannelCount> columns_;
    PollingCycle polling_;
    bool connected_ = false;
    bool closing_ = false;
    bool recovery_ = false;
    bool lost_ = false;
    bool answered_ = false;
    BoardOwnerLock* ownerLock_ = nullptr;
    std::string ownerProgram_;
    bool viewer_ = false;
    BoardOwner owner_;
    // Set once an exchange failed without recovery: the shown readings are
    // the board's last before it went, so they are neither logged nor
    // checked for alarms.
    bool exchangeFailed_ = false;
    std::string selectedPid_;
    // The board of the connection, kept while it is lost.
    std::string connectionPid_;
};

}  // namespace kestrane::core
