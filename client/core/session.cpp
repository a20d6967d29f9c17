#include "client/core/session.h"

#include <algorithm>

#include "client/core/acquisition_tasks.h"
#include "client/core/core_metrics.h"
#include "client/core/library_board.h"
#include "client/core/startup_logic.h"
#include "common/open_data.h"

namespace kestrane::core {

namespace {

std::unique_ptr<BoardExchange> OwnBoard(BoardExchange* given) {
    return given ? nullptr : std::make_unique<LibraryBoardExchange>();
}

std::unique_ptr<ChannelTasks> OwnTasks(ChannelTasks* given, AlarmActions& alarms,
                                       LogFailureReporter::Listener onLogFailure) {
    return given ? nullptr
                 : std::make_unique<AcquisitionTasks>(alarms, nullptr, nullptr, std::move(onLogFailure));
}

}  // namespace

AcquisitionSession::AcquisitionSession(const SessionParts& parts)
    : ownBoard_(OwnBoard(parts.board)),
      ownTasks_(OwnTasks(parts.tasks, parts.alarms,
                         [this](const LogFailureNote& note) {
                             Tell([&](SessionListener& l) {
                                 l.OnLogFailure(note.source, note.recovered, note.line);
                             });
                         })),
      scheduler_(parts.scheduler),
      settingsSource_(parts.settings),
      messages_(parts.messages),
      board_(parts.board ? *parts.board : *ownBoard_),
      tasks_(parts.tasks ? *parts.tasks : *ownTasks_) {}

AcquisitionSession::~AcquisitionSession() = default;

void AcquisitionSession::AddListener(SessionListener& listener) { listeners_.push_back(&listener); }

void AcquisitionSession::RemoveListener(SessionListener& listener) { std::erase(listeners_, &listener); }

void AcquisitionSession::SelectBoard(std::string pid) {
    // Another board chosen while one is lost: that one is no longer sought.
    if (lost_ && pid != connectionPid_) StopRecovery();
    selectedPid_ = std::move(pid);
}

std::string AcquisitionSession::currentPid() const {
    return connected_ || lost_ ? connectionPid_ : selectedPid_;
}

void AcquisitionSession::LoadAndShowSettings() {
    // A failed load keeps what was loaded before; the columns are shown
    // from the in-memory settings either way.
    settingsSource_.Load(currentPid(), settings_);
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = settings_.channels[static_cast<std::size_t>(n - 1)];
        ShownColumns& shown = columns_[static_cast<std::size_t>(n - 1)];
        shown.adjustText = ch.adj;
        shown.precisionText = ch.precision;
        Tell([&](SessionListener& l) { l.OnChannelColumns(n, ch); });
        if (connected_) Tell([&](SessionListener& l) { l.OnNameTooltip(n, ch.notes); });
    }
}

void AcquisitionSession::Connect() {
    if (lost_) StopRecovery();
    connectionPid_ = selectedPid_;
    polling_.productId = ProductIdFromPid(connectionPid_);

    std::string firmware;
    answered_ = board_.Read(polling_.productId, kFirmwareCommand, firmware);
    if (answered_) Tell([&](SessionListener& l) { l.OnFirmware(firmware); });

    ClaimBoard();
    Tell([](SessionListener& l) { l.OnStatusText(1, "Connected"); });
    Tell([](SessionListener& l) { l.OnStatusText(2, kPollingStartedText); });
    connected_ = true;
    Tell([&](SessionListener& l) { l.OnConnected(connectionPid_); });
    LoadAndShowSettings();

    scheduler_.StartTimer(kTimerPolling, kPollingPeriodMs);
    scheduler_.StartTimer(kTimerTrigger, kTriggerPeriodMs);
    scheduler_.StartTimer(kTimerAnimation, kAnimationPeriodMs);
    for (int n = 1; n <= kChannelCount && !viewer_; ++n) {
        const ChannelSettings& ch = settings_.channels[static_cast<std::size_t>(n - 1)];
        if (!ch.LoggingEnabled()) continue;
        const int period = tasks_.LogPeriodMs(ch, states_.at(n));
        if (period > 0) scheduler_.StartTimer(kTimerLogFirst + n - 1, period);
    }
}

void AcquisitionSession::SetOwnerLock(BoardOwnerLock* lock, std::string program) {
    ownerLock_ = lock;
    ownerProgram_ = std::move(program);
}

void AcquisitionSession::ClaimBoard() {
    viewer_ = false;
    owner_ = {};
    if (!ownerLock_) return;
    const BoardClaimResult claim = ownerLock_->TryAcquire(connectionPid_, ownerProgram_);
    viewer_ = claim.claim == BoardClaim::HeldBy;
    if (viewer_) owner_ = claim.owner;
    Tell([&](SessionListener& l) { l.OnOwnership(connectionPid_, !viewer_, owner_, claim.error); });
}

void AcquisitionSession::ApplyLoggingSettings(int channel) {
    if (!connected_ || viewer_ || channel < 1 || channel > kChannelCount) return;
    const int id = kTimerLogFirst + channel - 1;
    const ChannelSettings& ch = settings_.channels[static_cast<std::size_t>(channel - 1)];
    const int period = ch.LoggingEnabled() ? tasks_.LogPeriodMs(ch, states_.at(channel)) : 0;
    if (period > 0)
        scheduler_.StartTimer(id, period);
    else
        scheduler_.StopTimer(id);
}

void AcquisitionSession::Disconnect() {
    // The user's Disconnect also ends the search for a lost board, and
    // gives the board up to any other program.
    if (lost_) StopRecovery();
    if (ownerLock_) ownerLock_->Release();
    viewer_ = false;
    StopPolling();
}

void AcquisitionSession::StopPolling() {
    Tell([](SessionListener& l) { l.OnStatusText(1, "Not Connected"); });
    Tell([](SessionListener& l) { l.OnStatusText(2, "MSG:   Click on connect"); });
    scheduler_.StopTimer(kTimerPolling);
    scheduler_.StopTimer(kTimerTrigger);
    scheduler_.StopTimer(kTimerAnimation);
    for (int n = 1; n <= kChannelCount; ++n) scheduler_.StopTimer(kTimerLogFirst + n - 1);
    // Told even when nothing was connected, so the window sets its
    // controls back every time; the board is then empty.
    const std::string board = connected_ ? connectionPid_ : std::string();
    connected_ = false;
    Tell([&](SessionListener& l) { l.OnDisconnected(board); });
    ResetRound(polling_);
    ResetOnDisconnect(states_);
    for (int n = 1; n <= kChannelCount; ++n) {
        const std::string& shown = states_.at(n).shown;
        Tell([&](SessionListener& l) { l.OnValueText(n, shown); });
        Tell([&](SessionListener& l) { l.OnGaugePosition(n, 0); });
        Tell([&](SessionListener& l) { l.OnNameTooltip(n, std::string()); });
    }
}

void AcquisitionSession::PrepareClose() {
    closing_ = true;
    scheduler_.StopTimer(kTimerPolling);
    if (lost_) StopRecovery();
}

void AcquisitionSession::OnTimer(int id) {
    if (id == kTimerPolling) {
        PollingTick();
    } else if (id == kTimerTrigger) {
        TriggerTick();
    } else if (id == kTimerAnimation) {
        AnimationTickOnce();
    } else if (id == kTimerRetry) {
        Retry();
    } else if (id >= kTimerLogFirst && id < kTimerLogFirst + kChannelCount) {
        // A tick still queued after the board went writes nothing.
        if (exchangeFailed_ || !connected_ || viewer_) return;
        const int n = id - kTimerLogFirst + 1;
        tasks_.WriteLogRecord(n, settings_.channels[static_cast<std::size_t>(n - 1)], states_.at(n));
    }
}

void AcquisitionSession::PollingTick() {
    if (closing_) return;
    // Every pass reads the board of the connection; a different selection
    // has disconnected before any pass could see it.
    const PassResult result = RunPollingPass(polling_, settings_, polling_.productId, board_, *this);
    if (result.outcome == PassOutcome::Read) answered_ = true;
    if (result.outcome != PassOutcome::ExchangeFailed) return;
    if (recovery_) {
        MarkLost();
        return;
    }
    // The box runs a nested event loop: further polling ticks return at
    // once because the pass is still busy; the animation shows the pause.
    // The trigger and logging timers stop here, before the box, so the
    // readings of a board that has gone are never recorded as live.
    exchangeFailed_ = true;
    scheduler_.StopTimer(kTimerTrigger);
    for (int n = 1; n <= kChannelCount; ++n) scheduler_.StopTimer(kTimerLogFirst + n - 1);
    messages_.ShowError(kWriteFailedCaption, kWriteFailedText);
    closing_ = true;
    Tell([](SessionListener& l) { l.OnCloseRequested(); });
}

void AcquisitionSession::MarkLost() {
    // Every shown reading is cleared, so no record or alarm comes from the
    // values the board gave before it went.
    StopPolling();
    polling_.busy = false;
    lost_ = true;
    scheduler_.StartTimer(kTimerRetry, kRetryPeriodMs);
    Tell([&](SessionListener& l) { l.OnBoardLost(connectionPid_); });
}

void AcquisitionSession::RetryNow() {
    if (lost_) Retry();
}

void AcquisitionSession::Retry() {
    if (!lost_ || closing_) return;
    std::string answer;
    if (!board_.Read(ProductIdFromPid(connectionPid_), kFirmwareCommand, answer)) return;
    const std::string board = connectionPid_;
    StopRecovery();
    selectedPid_ = board;
    polling_.busy = false;
    Connect();
    Tell([&](SessionListener& l) { l.OnBoardBack(board); });
}

void AcquisitionSession::StopRecovery() {
    lost_ = false;
    scheduler_.StopTimer(kTimerRetry);
}

void AcquisitionSession::TriggerTick() {
    if (exchangeFailed_ || viewer_) return;
    const std::string board = currentPid();
    for (int n = 1; n <= kChannelCount; ++n) {
        if (states_.at(n).hasReading)
            tasks_.TriggerCheck(board, n, settings_.channels[static_cast<std::size_t>(n - 1)], states_.at(n));
    }
}

void AcquisitionSession::AnimationTickOnce() {
    const std::string text = AnimationTick(polling_);
    Tell([&](SessionListener& l) { l.OnStatusText(2, text); });
}

void AcquisitionSession::ShowCurrentRequest(int channel) {
    Tell([&](SessionListener& l) { l.OnCurrentRequest(channel); });
}

void AcquisitionSession::ShowDisabled(int channel) {
    ChannelState& state = states_.at(channel);
    state.shown = kDisabledText;
    state.number.reset();
    Tell([&](SessionListener& l) { l.OnValueText(channel, state.shown); });
}

void AcquisitionSession::ShowReading(int channel, const std::string& word) {
    const ShownColumns& columns = columns_[static_cast<std::size_t>(channel - 1)];
    const ChannelSettings& settings = settings_.channels[static_cast<std::size_t>(channel - 1)];
    ApplyReading(states_, channel, settings, word, columns.adjustText, columns.precisionText);
    if (listeners_.empty()) return;
    const ChannelState& state = states_.at(channel);
    const Reading reading{connectionPid_, channel,    NowUnixMs(), *state.number, UnitForMode(settings.mode),
                          state.shown,    state.gauge};
    Tell([&](SessionListener& l) { l.OnReading(reading); });
}

}  // namespace kestrane::core
