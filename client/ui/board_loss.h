// What the client does when its board stops answering and when it is
// back, besides the window's own texts: one line on stderr for each (the
// journal keeps them), a desktop notification when this client owns the
// board, and a udev watch that looks for the board as soon as a hidraw
// node appears instead of at the next retry tick.
#pragma once

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "client/core/board_hotplug.h"
#include "client/core/session.h"
#include "notify/notifier.h"

namespace kestrane::ui {

// The status bar while a board is lost: part 1, part 2 and the longer
// sentence of part 2's tooltip. `neverAnswered`: lost before it answered
// once since Connect, i.e. not plugged in yet.
struct LostStatusTexts {
    std::string state;
    std::string message;
    std::string detail;
};
LostStatusTexts LostStatus(const std::string& board, std::time_t since, bool neverAnswered);

// The stderr lines, without the program's "Kestrane: " prefix.
std::string BoardLostLine(const std::string& board, std::time_t when, bool neverAnswered);
std::string BoardBackLine(const std::string& board, std::time_t when, std::time_t lostAt);

class BoardLossReport final : public core::SessionListener {
public:
    // `journal` receives the lines (stderr in the program); `notifier` may
    // be null. Both must outlive this object.
    BoardLossReport(core::AcquisitionSession& session, std::FILE* journal, notify::Notifier* notifier);
    ~BoardLossReport() override;
    BoardLossReport(const BoardLossReport&) = delete;
    BoardLossReport& operator=(const BoardLossReport&) = delete;

    // Only the board's owner notifies; a viewer's window still shows the loss.
    void SetNotifies(bool on) { notifies_ = on; }

    void OnDisconnected(const std::string& board) override;
    void OnBoardLost(const std::string& board) override;
    void OnBoardBack(const std::string& board) override;
    // Only the owner notifies; a lock that cannot be taken is said once.
    void OnOwnership(const std::string& board, bool owns, const BoardOwner& owner, int lockError) override;

private:
    void Say(const std::string& line);

    core::AcquisitionSession& session_;
    std::FILE* journal_;
    notify::Notifier* notifier_;
    bool notifies_ = true;
    bool toldLockError_ = false;
    // A loss was notified, so the return is too; a board that was only
    // waited for at start was never lost.
    bool lossNotified_ = false;
    std::time_t lostAt_ = 0;
    std::unique_ptr<core::BoardHotplugWatch> hotplug_;
};

}  // namespace kestrane::ui
