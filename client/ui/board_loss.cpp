#include "ui/board_loss.h"

#include <cstring>

#include "client/core/startup_logic.h"

namespace kestrane::ui {
namespace {

std::string LocalText(std::time_t when, const char* format) {
    std::tm local{};
    if (::localtime_r(&when, &local) == nullptr) return "?";
    char buf[40];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &local);
    return n > 0 ? std::string(buf, n) : std::string("?");
}

constexpr const char* kClock = "%H:%M:%S";
constexpr const char* kDateClock = "%Y-%m-%d %H:%M:%S";

}  // namespace

LostStatusTexts LostStatus(const std::string& board, std::time_t since, bool neverAnswered) {
    const std::string clock = LocalText(since, kClock);
    if (neverAnswered)
        return {"Waiting", "Waiting for board " + board,
                "Board " + board + " was not found at " + clock +
                    ". Kestrane connects as soon as it is plugged in; Disconnect stops waiting."};
    return {"Board Lost", "Lost at " + clock + ", reconnecting",
            "Board " + board + " stopped answering at " + clock +
                ". Kestrane reconnects as soon as it answers again; Disconnect stops trying."};
}

std::string BoardLostLine(const std::string& board, std::time_t when, bool neverAnswered) {
    if (neverAnswered)
        return "board " + board + " not found at " + LocalText(when, kDateClock) + "; waiting for it";
    return "board " + board + " lost at " + LocalText(when, kDateClock) + "; reconnecting";
}

std::string BoardBackLine(const std::string& board, std::time_t when, std::time_t lostAt) {
    return "board " + board + " back at " + LocalText(when, kDateClock) + " (lost at " +
           LocalText(lostAt, kDateClock) + "); polling again";
}

BoardLossReport::BoardLossReport(core::AcquisitionSession& session, std::FILE* journal,
                                 notify::Notifier* notifier)
    : session_(session), journal_(journal), notifier_(notifier) {
    session_.AddListener(*this);
}

BoardLossReport::~BoardLossReport() { session_.RemoveListener(*this); }

void BoardLossReport::Say(const std::string& line) {
    if (!journal_) return;
    std::fprintf(journal_, "Kestrane: %s\n", line.c_str());
    std::fflush(journal_);
}

void BoardLossReport::OnDisconnected(const std::string&) {
    // Told before the session marks a board lost, and at the user's
    // Disconnect, never from inside the watch's own handler: the watch
    // stays while the board is polled again, since a found board is
    // connected from within it.
    hotplug_.reset();
    if (!session_.boardLost()) lossNotified_ = false;
}

void BoardLossReport::OnBoardLost(const std::string& board) {
    lostAt_ = std::time(nullptr);
    const bool neverAnswered = !session_.boardAnswered();
    Say(BoardLostLine(board, lostAt_, neverAnswered));
    if (notifier_ && notifies_ && !neverAnswered) {
        notifier_->BoardLost(board, std::string(), lostAt_);
        lossNotified_ = true;
    }
    core::AcquisitionSession& session = session_;
    hotplug_ = std::make_unique<core::BoardHotplugWatch>(
        core::ProductIdFromPid(board),
        [&session] {
            session.RetryNow();
            return !session.boardLost();
        },
        [this, board](const std::string& node) { Say(core::NoAccessText(node, board)); });
}

void BoardLossReport::OnOwnership(const std::string& board, bool owns, const BoardOwner&, int lockError) {
    notifies_ = owns;
    if (lockError == 0 || toldLockError_) return;
    toldLockError_ = true;
    Say("cannot take the owner lock of board " + board + " in " + DefaultBoardLockFolder() + " (" +
        std::strerror(lockError) + "); logging as its owner");
}

void BoardLossReport::OnBoardBack(const std::string& board) {
    const std::time_t now = std::time(nullptr);
    Say(BoardBackLine(board, now, lostAt_));
    if (notifier_ && lossNotified_) notifier_->BoardBack(board, std::string(), now);
    lossNotified_ = false;
}

}  // namespace kestrane::ui
