// The client's polling loop without any window: one pass reads the next
// channel of the round 1..6 through a board exchange, and the status
// animation tells whether a pass is in progress. Timers and widgets stay in
// the caller, so tests drive passes one by one with a fake board.
#pragma once

#include <cstdint>
#include <string>

#include "acquisition/channel_model.h"

namespace kestrane {

// Commands of the board exchange besides the channel numbers 1..6.
inline constexpr int kFirmwareCommand = 8;

// One command/response exchange with a board, in mode 0 (raw reading word).
// Returns false on any failure; `answer` then holds nothing usable.
class BoardExchange {
public:
    virtual ~BoardExchange() = default;
    virtual bool Read(uint32_t productId, int command, std::string& answer) = 0;
};

// Where a pass puts what it found. The session implements it by
// converting the word and writing the Value field and gauge.
class PollingDisplay {
public:
    virtual ~PollingDisplay() = default;
    virtual void ShowCurrentRequest(int channel) = 0;
    virtual void ShowDisabled(int channel) = 0;
    virtual void ShowReading(int channel, const std::string& word) = 0;
};

// The polling state, one per client.
struct PollingCycle {
    int nextChannel = 1;     // channel the next pass reads
    int currentChannel = 1;  // channel read by the last completed exchange
    bool busy = false;       // a pass is running or held up by an error
    uint32_t productId = 0;  // selected board, refreshed every pass
    std::string answer;      // text of the last exchange
    int animationStep = 0;   // 0..11: dots shown next, minus one
};

enum class PassOutcome {
    Skipped,         // a pass was already running: nothing done
    Disabled,        // channel switched off: "  DISABLED" shown, no exchange
    Read,            // reading exchanged and shown
    ExchangeFailed,  // the board did not answer; busy stays set
};

struct PassResult {
    PassOutcome outcome = PassOutcome::Skipped;
    int channel = 0;
};

inline constexpr const char* kDisabledText = "  DISABLED";
inline constexpr const char* kPollingPausedText = "Polling Paused !";
inline constexpr const char* kPollingStartedText = " MSG: Data Polling Started";

// The channel after `channel` in the round 1..6.
int NextChannelAfter(int channel);

// One polling pass. On ExchangeFailed the busy flag stays set on purpose:
// the caller shows an error and closes, and passes arriving meanwhile must
// return at once.
PassResult RunPollingPass(PollingCycle& cycle, const BoardSettings& settings, uint32_t productId,
                          BoardExchange& board, PollingDisplay& display);

// Status text for one animation tick: "Polling Paused !" while a pass is
// held up, else " MSG: Data Polling " with 1..12 dots (then the step moves on).
std::string AnimationTick(PollingCycle& cycle);

// Disconnect: the next pass starts the round again at channel 1. Busy flag
// and animation step are left as they are.
void ResetRound(PollingCycle& cycle);

}  // namespace kestrane
