#include "core/client_core.h"

#include "common/numtext.h"
#include "core/startup_logic.h"
#include "settings/device_registry.h"
#include "ui/ui_ids.h"

namespace kestrane::ui {

ClientCore::ClientCore(MainView& view, MessageSink& messages, BoardExchange& board,
                       BoardSettingsSource& settingsSource, ChannelTasks& tasks)
    : view_(view), messages_(messages), board_(board), settingsSource_(settingsSource), tasks_(tasks) {}

std::string ClientCore::currentPid() const {
    return connected_ ? connectionPid_ : PidFromSelectorText(view_.DeviceSelectorText());
}

void ClientCore::LoadAndShowSettings() {
    // A failed load keeps what was loaded before; the columns are shown
    // from the in-memory settings either way.
    settingsSource_.Load(kVid, currentPid(), settings_);
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = settings_.channels[static_cast<std::size_t>(n - 1)];
        ShownColumns& shown = columns_[static_cast<std::size_t>(n - 1)];
        shown.adjustText = ch.adj;
        shown.precisionText = ch.precision;
        view_.SetChannelColumns(n, ch.mode, ch.vmName, ch.adj, ch.precision);
        if (connected_) view_.SetNameTooltip(n, ch.notes);
    }
}

void ClientCore::Connect() {
    connectionText_ = view_.DeviceSelectorText();
    connectionPid_ = PidFromSelectorText(connectionText_);
    polling_.productId = ProductIdFromPid(connectionPid_);

    std::string firmware;
    if (board_.Read(polling_.productId, kFirmwareCommand, firmware)) view_.SetFirmwareText(firmware);

    view_.SetStatusText(1, "Connected");
    view_.SetStatusText(2, kPollingStartedText);
    connected_ = true;
    view_.SetConnectedControls(true);
    LoadAndShowSettings();

    view_.StartTimer(kTimerPolling, kPollingPeriodMs);
    view_.StartTimer(kTimerTrigger, kTriggerPeriodMs);
    view_.StartTimer(kTimerAnimation, kAnimationPeriodMs);
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelSettings& ch = settings_.channels[static_cast<std::size_t>(n - 1)];
        if (!ch.LoggingEnabled()) continue;
        const int period = tasks_.LogPeriodMs(ch, states_.at(n));
        if (period > 0) view_.StartTimer(kTimerLogFirst + n - 1, period);
    }
}

void ClientCore::ApplyLoggingSettings(int channel) {
    if (!connected_ || channel < 1 || channel > kChannelCount) return;
    const int id = kTimerLogFirst + channel - 1;
    const ChannelSettings& ch = settings_.channels[static_cast<std::size_t>(channel - 1)];
    const int period = ch.LoggingEnabled() ? tasks_.LogPeriodMs(ch, states_.at(channel)) : 0;
    if (period > 0)
        view_.StartTimer(id, period);
    else
        view_.StopTimer(id);
}

void ClientCore::Disconnect() {
    view_.SetStatusText(1, "Not Connected");
    view_.SetStatusText(2, "MSG:   Click on connect");
    view_.StopTimer(kTimerPolling);
    view_.StopTimer(kTimerTrigger);
    view_.StopTimer(kTimerAnimation);
    for (int n = 1; n <= kChannelCount; ++n) view_.StopTimer(kTimerLogFirst + n - 1);
    connected_ = false;
    view_.SetConnectedControls(false);
    ResetRound(polling_);
    ResetOnDisconnect(states_);
    for (int n = 1; n <= kChannelCount; ++n) {
        view_.SetValueText(n, states_.at(n).shown);
        view_.SetGaugePosition(n, 0);
        view_.SetNameTooltip(n, std::string());
    }
}

void ClientCore::SelectorTextChanged() {
    if (connected_ && view_.DeviceSelectorText() != connectionText_) Disconnect();
}

void ClientCore::PrepareClose() {
    closing_ = true;
    view_.StopTimer(kTimerPolling);
}

void ClientCore::OnTimer(int id) {
    if (id == kTimerPolling) {
        PollingTick();
    } else if (id == kTimerTrigger) {
        TriggerTick();
    } else if (id == kTimerAnimation) {
        AnimationTickOnce();
    } else if (id >= kTimerLogFirst && id < kTimerLogFirst + kChannelCount) {
        if (exchangeFailed_) return;
        const int n = id - kTimerLogFirst + 1;
        tasks_.WriteLogRecord(n, settings_.channels[static_cast<std::size_t>(n - 1)], states_.at(n));
    }
}

void ClientCore::PollingTick() {
    if (closing_) return;
    // Every pass reads the board of the connection; a different selector
    // text has disconnected before any pass could see it.
    const PassResult result = RunPollingPass(polling_, settings_, polling_.productId, board_, *this);
    if (result.outcome != PassOutcome::ExchangeFailed) return;
    if (boardLost_) {
        Disconnect();
        polling_.busy = false;
        boardLost_();
        return;
    }
    // The box runs a nested event loop: further polling ticks return at
    // once because the pass is still busy; the animation shows the pause.
    // The trigger and logging timers stop here, before the box, so the
    // readings of a board that has gone are never recorded as live.
    exchangeFailed_ = true;
    view_.StopTimer(kTimerTrigger);
    for (int n = 1; n <= kChannelCount; ++n) view_.StopTimer(kTimerLogFirst + n - 1);
    messages_.showError(kWriteFailedCaption, kWriteFailedText);
    closing_ = true;
    view_.RequestClose();
}

void ClientCore::TriggerTick() {
    if (exchangeFailed_) return;
    for (int n = 1; n <= kChannelCount; ++n) {
        if (states_.at(n).hasReading)
            tasks_.TriggerCheck(n, settings_.channels[static_cast<std::size_t>(n - 1)], states_.at(n));
    }
}

void ClientCore::AnimationTickOnce() { view_.SetStatusText(2, AnimationTick(polling_)); }

void ClientCore::ShowCurrentRequest(int channel) { view_.SetCurrentRequest(IntToText(channel)); }

void ClientCore::ShowDisabled(int channel) {
    states_.at(channel).shown = kDisabledText;
    view_.SetValueText(channel, states_.at(channel).shown);
}

void ClientCore::ShowReading(int channel, const std::string& word) {
    const ShownColumns& columns = columns_[static_cast<std::size_t>(channel - 1)];
    ApplyReading(states_, channel, settings_.channels[static_cast<std::size_t>(channel - 1)], word,
                 columns.adjustText, columns.precisionText);
    const ChannelState& state = states_.at(channel);
    view_.SetValueText(channel, state.shown);
    view_.SetGauge(channel, state.gauge.maximum, state.gauge.position, state.gauge.positive);
    if (readingObserver_) readingObserver_(channel, state);
    for (const auto& observer : moreReadingObservers_) observer(channel, state);
}

}  // namespace kestrane::ui
