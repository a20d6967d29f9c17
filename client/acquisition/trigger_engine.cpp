// Trigger engine. Each band is a hysteresis pair: it fires beyond one limit
// and returns to normal only beyond the other, so a reading hovering near a
// limit does not chatter. Flags and firing times are updated before the
// actions run, so an action that fails changes nothing.
#include "acquisition/trigger_engine.h"

#include <ctime>

#include "acquisition/intervals.h"
#include "common/numtext.h"

namespace kestrane {
namespace {

constexpr std::size_t kShownReadMax = 31;

enum class Direction { Above, Below };

// True only when both texts are numbers and the reading is strictly beyond
// the limit; equal values are neither above nor below.
bool Beyond(std::string_view shown, const std::string& limitText, Direction dir) {
    const auto reading = ParseShownReading(shown);
    const auto limit = TextToReal(TrimText(limitText));
    if (!reading || !limit) return false;
    return dir == Direction::Above ? *reading > *limit : *reading < *limit;
}

struct BandView {
    AlarmBand band;
    const std::string& enable;
    const std::string& fireLimit;  // fire beyond this
    Direction fireDirection;
    const std::string& returnLimit;  // return to normal beyond this
    Direction returnDirection;
    const std::string& testEvery;
    const std::string& file;
    const std::string& sound;
    const std::string& normFile;
    const std::string& normSound;
    int32_t& fired;
    int32_t& armed;
    uint32_t& lastFiring;
};

void RunActions(AlarmActions& actions, AlarmContext& context, AlarmEvent event, const std::string& program,
                const std::string& sound) {
    if (program.empty() && sound.empty()) return;
    context.event = event;
    actions.BeginAlarm(context);
    if (!program.empty()) actions.StartProgram(program);
    if (!sound.empty()) actions.PlaySound(sound);
}

void CheckBand(const BandView& band, std::string_view shown, Clock& clock, AlarmActions& actions,
               AlarmContext& context) {
    if (!BandEnabled(band.enable)) return;  // flags kept until enabled again
    context.band = band.band;

    if (Beyond(shown, band.fireLimit, band.fireDirection)) {
        if (band.fired == 0) {
            band.fired = 1;
            band.armed = 1;
            band.lastFiring = clock.NowSeconds();
            RunActions(actions, context, AlarmEvent::Alarm, band.file, band.sound);
        } else {
            const uint32_t interval = TestEverySeconds(band.testEvery);
            const uint32_t now = clock.NowSeconds();
            // Unsigned difference: a clock set back gives a large value and
            // re-arms the band instead of blocking it until the clock catches up.
            if (interval != 0 && now - band.lastFiring > interval) band.fired = 0;
        }
    }

    if (Beyond(shown, band.returnLimit, band.returnDirection) && band.armed == 1) {
        band.fired = 0;
        band.armed = 0;
        RunActions(actions, context, AlarmEvent::Return, band.normFile, band.normSound);
    }
}

}  // namespace

uint32_t SystemClock::NowSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

std::optional<long double> ParseShownReading(std::string_view shown) {
    std::string_view s = shown.substr(0, kShownReadMax);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
        while (!s.empty() && s[0] == ' ') s.remove_prefix(1);
        // A second sign is not a shown reading.
        if (!s.empty() && (s[0] == '+' || s[0] == '-')) return std::nullopt;
    }
    const auto v = TextToReal(TrimText(s));
    if (!v) return std::nullopt;
    return negative ? -*v : *v;
}

void RunTriggerCheck(const ChannelSettings& settings, std::string_view shown, TriggerState& trigger,
                     Clock& clock, AlarmActions& actions, std::string_view board, int channel,
                     const std::optional<ReadingNumber>& number) {
    AlarmContext context;
    context.board = std::string(board);
    context.channel = channel;
    context.name = settings.vmName;
    context.shown = std::string(shown.substr(0, kShownReadMax));
    context.value = number;
    const BandView high{AlarmBand::High,        settings.highEnable,     settings.highTriggerMax,
                        Direction::Above,       settings.highTriggerMin, Direction::Below,
                        settings.highTestEvery, settings.highFile,       settings.highSound,
                        settings.highNormFile,  settings.highNormSound,  trigger.highFired,
                        trigger.highArmed,      trigger.highLastFiring};
    const BandView low{AlarmBand::Low,         settings.lowEnable,   settings.lowTriggerMin, Direction::Below,
                       settings.lowTriggerMax, Direction::Above,     settings.lowTestEvery,  settings.lowFile,
                       settings.lowSound,      settings.lowNormFile, settings.lowNormSound,  trigger.lowFired,
                       trigger.lowArmed,       trigger.lowLastFiring};
    CheckBand(high, shown, clock, actions, context);
    CheckBand(low, shown, clock, actions, context);
}

void RunTriggerTick(const BoardSettings& settings, ChannelStates& states, Clock& clock,
                    AlarmActions& actions) {
    for (int n = 1; n <= kChannelCount; ++n) {
        ChannelState& ch = states.at(n);
        if (!ch.hasReading) continue;
        RunTriggerCheck(settings.channels[static_cast<std::size_t>(n - 1)], ch.shown, ch.trigger, clock,
                        actions, settings.pid, n, ch.number);
    }
}

}  // namespace kestrane
