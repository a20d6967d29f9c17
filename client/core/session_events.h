// What a session tells its observers: typed readings, the connection's
// changes, a lost board and its return, and the texts a window shows
// besides the readings. Every method has an empty default, so a shell
// listens only to what it uses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "acquisition/board_owner.h"
#include "acquisition/channel_model.h"
#include "common/reading_number.h"

namespace kestrane::core {

// One converted reading. `shown` and `value` come from the same
// conversion: PlainNumber(value) is the number `shown` displays.
struct Reading {
    std::string board;   // product ID text, "000A"
    int channel = 0;     // 1..6
    int64_t unixMs = 0;  // when it was converted, milliseconds since 1970 UTC
    ReadingNumber value;
    std::string unit;   // "V" or "A"
    std::string shown;  // the Value text, "+ 12.345"
    GaugeState gauge;
};

class SessionListener {
public:
    virtual ~SessionListener() = default;

    virtual void OnReading(const Reading& /*reading*/) {}
    // Polling started for `board`, or stopped (by the user, or because
    // the board was lost). Disconnect is told even when nothing was
    // connected, with an empty board.
    virtual void OnConnected(const std::string& /*board*/) {}
    virtual void OnDisconnected(const std::string& /*board*/) {}
    // With recovery on: the board stopped answering (its readings are
    // cleared, nothing is logged or checked), then answered again and
    // polling resumed at channel 1.
    virtual void OnBoardLost(const std::string& /*board*/) {}
    virtual void OnBoardBack(const std::string& /*board*/) {}

    // At each Connect of a session with an owner lock: whether it owns the
    // board; `owner` names the holder when it does not. `lockError` is the
    // errno when no lock could be taken at all (the session then owns).
    virtual void OnOwnership(const std::string& /*board*/, bool /*owns*/, const BoardOwner& /*owner*/,
                             int /*lockError*/) {}

    // A channel's log file stopped taking records (`recovered` false) or
    // takes them again; `line` says which file and why. Told once per
    // channel and cause; the line also went to stderr.
    virtual void OnLogFailure(const std::string& /*source*/, bool /*recovered*/,
                              const std::string& /*line*/) {}

    // The window's texts: a status bar part, a channel's Value text when
    // it shows no reading ("  DISABLED", empty), a gauge set back, the
    // firmware, the channel being read, a channel's columns and notes.
    virtual void OnStatusText(int /*part*/, const std::string& /*text*/) {}
    virtual void OnValueText(int /*channel*/, const std::string& /*text*/) {}
    virtual void OnGaugePosition(int /*channel*/, int /*position*/) {}
    virtual void OnFirmware(const std::string& /*text*/) {}
    virtual void OnCurrentRequest(int /*channel*/) {}
    virtual void OnChannelColumns(int /*channel*/, const ChannelSettings& /*settings*/) {}
    virtual void OnNameTooltip(int /*channel*/, const std::string& /*notes*/) {}
    // Without recovery, a failed exchange ends the program after its box.
    virtual void OnCloseRequested() {}
};

// A listener to readings only, for shells that keep a file of them.
class ReadingListener final : public SessionListener {
public:
    explicit ReadingListener(std::function<void(const Reading&)> onReading)
        : onReading_(std::move(onReading)) {}
    void OnReading(const Reading& reading) override { onReading_(reading); }

private:
    std::function<void(const Reading&)> onReading_;
};

}  // namespace kestrane::core
