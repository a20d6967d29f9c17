// Brings a lost board back as soon as udev reports a hidraw node that may
// be it, instead of at the next retry tick: a hotplug monitor watched by a
// QSocketNotifier. Right after an add, before udev has applied the rule's
// permissions, the node may not open yet: tried again briefly, then the
// permission hint.
#pragma once

#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kestrane_hotplug.h"

namespace kestrane::core {

// How long, and how often, a node that has just appeared is tried.
inline constexpr int kAddedNodeTriesMs = 1500;
inline constexpr int kAddedNodeTryPeriodMs = 100;

class BoardHotplugWatch {
public:
    // `tryResume` reconnects the board when it is lost and says whether it
    // is (or already was) polled again; `noAccess` is told a node that
    // appeared, could not be used within kAddedNodeTriesMs, and cannot be
    // opened by this user.
    BoardHotplugWatch(uint32_t productId, std::function<bool()> tryResume,
                      std::function<void(const std::string& node)> noAccess);
    ~BoardHotplugWatch();
    BoardHotplugWatch(const BoardHotplugWatch&) = delete;
    BoardHotplugWatch& operator=(const BoardHotplugWatch&) = delete;

    // False when udev could not be reached: only the retry timer is left.
    bool active() const { return monitor_ != nullptr; }

private:
    void OnEvents();
    void OnTry();

    uint32_t productId_;
    std::function<bool()> tryResume_;
    std::function<void(const std::string&)> noAccess_;
    std::unique_ptr<board::HotplugMonitor> monitor_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer tries_;
    int triesLeft_ = 0;
    std::string node_;
};

// The text that names a node this user may not open.
std::string NoAccessText(const std::string& node, const std::string& pid);

}  // namespace kestrane::core
