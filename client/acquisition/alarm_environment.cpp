#include "acquisition/alarm_environment.h"

#include <algorithm>

#include "common/reading_number.h"

namespace kestrane {
namespace {

std::string WithoutNul(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> AlarmEnvironment(const AlarmContext& context) {
    return {
        {"KESTRANE_BOARD", WithoutNul(context.board)},
        {"KESTRANE_CHANNEL", context.channel > 0 ? std::to_string(context.channel) : std::string()},
        {"KESTRANE_NAME", WithoutNul(context.name)},
        {"KESTRANE_VALUE", context.value ? PlainNumber(*context.value) : std::string()},
        {"KESTRANE_BAND", context.band == AlarmBand::High ? "high" : "low"},
        {"KESTRANE_EVENT", context.event == AlarmEvent::Alarm ? "alarm" : "return"},
    };
}

}  // namespace kestrane
