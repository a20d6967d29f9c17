#include "acquisition/polling_cycle.h"

namespace kestrane {

int NextChannelAfter(int channel) {
    // Out-of-range values restart the round rather than index past it.
    if (channel < 1 || channel > kChannelCount) return 1;
    return channel % kChannelCount + 1;
}

PassResult RunPollingPass(PollingCycle& cycle, const BoardSettings& settings, uint32_t productId,
                          BoardExchange& board, PollingDisplay& display) {
    if (cycle.busy) return {PassOutcome::Skipped, 0};
    cycle.busy = true;
    cycle.productId = productId;
    cycle.answer.clear();

    int n = cycle.nextChannel;
    if (n < 1 || n > kChannelCount) n = 1;
    display.ShowCurrentRequest(n);

    const ChannelSettings& ch = settings.channels[static_cast<std::size_t>(n - 1)];
    if (!ch.IsPolled()) {
        display.ShowDisabled(n);
        cycle.nextChannel = NextChannelAfter(n);
        cycle.busy = false;
        return {PassOutcome::Disabled, n};
    }

    if (!board.Read(cycle.productId, n, cycle.answer)) {
        cycle.answer.clear();
        return {PassOutcome::ExchangeFailed, n};
    }

    cycle.currentChannel = n;
    cycle.nextChannel = NextChannelAfter(n);
    display.ShowReading(n, cycle.answer);
    cycle.busy = false;
    return {PassOutcome::Read, n};
}

std::string AnimationTick(PollingCycle& cycle) {
    if (cycle.busy) return kPollingPausedText;
    if (cycle.animationStep < 0 || cycle.animationStep > 11) cycle.animationStep = 0;
    std::string text = " MSG: Data Polling ";
    text.append(static_cast<std::size_t>(cycle.animationStep + 1), '.');
    cycle.animationStep = (cycle.animationStep + 1) % 12;
    return text;
}

void ResetRound(PollingCycle& cycle) { cycle.nextChannel = 1; }

}  // namespace kestrane
