// Alarm bands: each channel's high and low band compare the shown reading
// with their limits, and on entering or leaving a band start a program and
// play a sound. The clock and the actions are interfaces so tests run with
// a fake clock and recorded actions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/channel_model.h"
#include "common/reading_number.h"

namespace kestrane {

// Wall-clock time in whole seconds (32 bits, wrapping); repeats measure
// unsigned differences of it, so a clock set back re-arms waiting bands.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t NowSeconds() = 0;
};

// The system clock: time() cut to 32 bits.
class SystemClock final : public Clock {
public:
    uint32_t NowSeconds() override;
};

enum class AlarmBand { High, Low };
enum class AlarmEvent { Alarm, Return };  // the band fired, or returned to normal

// What an alarm is about, for the programs it starts.
struct AlarmContext {
    std::string board;                   // product ID text; empty when the caller did not say
    int channel = 0;                     // 1..6; 0 when the caller did not say
    std::string name;                    // the channel's name
    std::string shown;                   // the reading that caused the event, as shown
    std::optional<ReadingNumber> value;  // its number; none when it showed none
    AlarmBand band = AlarmBand::High;
    AlarmEvent event = AlarmEvent::Alarm;
};

// What an alarm does. Both return at once; failures are not reported.
class AlarmActions {
public:
    virtual ~AlarmActions() = default;
    virtual void StartProgram(const std::string& path) = 0;
    virtual void PlaySound(const std::string& path) = 0;
    // Called before each alarm's or return's program and sound, so the
    // program can be told what happened.
    virtual void BeginAlarm(const AlarmContext& /*context*/) {}
};

// A shown reading ("+ 12.345", "- 20.000") as a signed number: "+" counts as
// no sign, "-" negates, blanks after the sign are skipped, the rest trimmed
// and read strictly. "  DISABLED", an empty text or any other non-number
// gives nothing. At most the first 31 characters are read.
std::optional<long double> ParseShownReading(std::string_view shown);

// One channel's trigger check: high band then low band, each only when its
// enable text is exactly "ENABLED". Fires when the reading is beyond the
// band's fire limit (equal fires nothing), repeats after the band's Test
// Every interval, and runs the return-to-normal actions once after a firing
// when the reading comes back past the other limit. A band limit or reading
// that is not a number makes that band's tests false. Program before sound.
// `board`, `channel` and `number` (the shown reading's number, from its
// conversion) are passed on to the actions' context.
void RunTriggerCheck(const ChannelSettings& settings, std::string_view shown, TriggerState& trigger,
                     Clock& clock, AlarmActions& actions, std::string_view board = {}, int channel = 0,
                     const std::optional<ReadingNumber>& number = std::nullopt);

// Trigger timer tick (timer 3, every 50 ms): channels 1 to 6 in order, each
// checked when its has-a-reading flag is set, reading its shown text.
void RunTriggerTick(const BoardSettings& settings, ChannelStates& states, Clock& clock,
                    AlarmActions& actions);

}  // namespace kestrane
