#include "client/core/board_hotplug.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kestrane::core {
namespace {

// Whether this user is refused the node (not: the node is gone or busy).
bool AccessRefused(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

}  // namespace

BoardHotplugWatch::BoardHotplugWatch(uint32_t productId, std::function<bool()> tryResume,
                                     std::function<void(const std::string&)> noAccess)
    : productId_(productId),
      tryResume_(std::move(tryResume)),
      noAccess_(std::move(noAccess)),
      monitor_(board::HotplugMonitor::Open()) {
    if (!monitor_) return;
    notifier_ = std::make_unique<QSocketNotifier>(monitor_->fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { OnEvents(); });
    QObject::connect(&tries_, &QTimer::timeout, [this] { OnTry(); });
}

BoardHotplugWatch::~BoardHotplugWatch() = default;

void BoardHotplugWatch::OnEvents() {
    if (!monitor_->DrainEvents()) return;
    for (const board::HotplugEvent& e : monitor_->events()) {
        if (!e.added) continue;
        // Boards have vendor ID 0; a node udev gave no identity may be one.
        const bool maybeBoard = e.vendorId == 0 && (e.productId == productId_ || e.productId == 0);
        if (!maybeBoard) continue;
        node_ = e.devnode;
        if (tryResume_()) {
            tries_.stop();
            return;
        }
        triesLeft_ = kAddedNodeTriesMs / kAddedNodeTryPeriodMs;
        tries_.start(kAddedNodeTryPeriodMs);
    }
}

void BoardHotplugWatch::OnTry() {
    if (tryResume_()) {
        tries_.stop();
        return;
    }
    if (--triesLeft_ > 0) return;
    tries_.stop();
    if (!node_.empty() && AccessRefused(node_)) noAccess_(node_);
}

std::string NoAccessText(const std::string& node, const std::string& pid) {
    return "the device " + node + " appeared but cannot be opened; if it is board " + pid +
           ", this user may lack access to it: install the udev rule (README, \"Giving users access to the "
           "board\")";
}

}  // namespace kestrane::core
