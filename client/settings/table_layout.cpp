#include "settings/table_layout.h"

#include <vector>

namespace kestrane {
namespace {

struct BlockColumn {
    const char* suffix;
    std::size_t maxBytes;
    std::string ChannelSettings::*field;
};

// The 26 columns of a channel block in stored order.
constexpr BlockColumn kBlock[kChannelBlockColumns] = {
    {"ENABLE", kShortFieldMax, &ChannelSettings::enable},
    {"NOTES", kNotesFieldMax, &ChannelSettings::notes},
    {"VMNAME", kShortFieldMax, &ChannelSettings::vmName},
    {"ADJ", kShortFieldMax, &ChannelSettings::adj},
    {"PRECISION", kShortFieldMax, &ChannelSettings::precision},
    {"MODE", kShortFieldMax, &ChannelSettings::mode},
    {"AMP", kShortFieldMax, &ChannelSettings::amp},
    {"MILLIVOLT", kShortFieldMax, &ChannelSettings::millivolt},
    {"HIGHTRIGGERMAX", kShortFieldMax, &ChannelSettings::highTriggerMax},
    {"HIGHTRIGGERMIN", kShortFieldMax, &ChannelSettings::highTriggerMin},
    {"LOWTRIGGERMAX", kShortFieldMax, &ChannelSettings::lowTriggerMax},
    {"LOWTRIGGERMIN", kShortFieldMax, &ChannelSettings::lowTriggerMin},
    {"HIGHTESTEVERY", kShortFieldMax, &ChannelSettings::highTestEvery},
    {"LOWTESTEVERY", kShortFieldMax, &ChannelSettings::lowTestEvery},
    {"HIGHENABLE", kShortFieldMax, &ChannelSettings::highEnable},
    {"LOWENABLE", kShortFieldMax, &ChannelSettings::lowEnable},
    {"HIGHFILE", kPathFieldMax, &ChannelSettings::highFile},
    {"LOWFILE", kPathFieldMax, &ChannelSettings::lowFile},
    {"HIGHSOUND", kPathFieldMax, &ChannelSettings::highSound},
    {"LOWSOUND", kPathFieldMax, &ChannelSettings::lowSound},
    {"HIGHNORMSOUND", kPathFieldMax, &ChannelSettings::highNormSound},
    {"HIGHNORMFILE", kPathFieldMax, &ChannelSettings::highNormFile},
    {"LOWNORMSOUND", kPathFieldMax, &ChannelSettings::lowNormSound},
    {"LOWNORMFILE", kPathFieldMax, &ChannelSettings::lowNormFile},
    {"FILTERENABLE", kShortFieldMax, &ChannelSettings::filterEnable},
    {"FILTERWEIGHT", kShortFieldMax, &ChannelSettings::filterWeight},
};

// The logging columns, grouped by field after the six blocks.
constexpr BlockColumn kLogging[kLogColumnsPerChannel] = {
    {"LOGENABLED", kShortFieldMax, &ChannelSettings::logEnabled},
    {"LOGSIZE", kShortFieldMax, &ChannelSettings::logSize},
    {"LOGINTERVAL", kShortFieldMax, &ChannelSettings::logInterval},
    {"LOGFILENAME", kFileNameFieldMax, &ChannelSettings::logFileName},
    {"LOGPATH", kPathFieldMax, &ChannelSettings::logPath},
};

constexpr int kFirstBlockPosition = 6;
constexpr int kFirstLogPosition = kFirstBlockPosition + kChannelCount * kChannelBlockColumns;  // 162

// Which record field a position names: a device field, or a channel field.
struct Slot {
    std::string BoardSettings::*device = nullptr;
    int channel = -1;  // 0-based
    std::string ChannelSettings::*field = nullptr;
};

Slot SlotAt(int position) {
    // ID and BOARDNOTE (positions 1 and 4) load into no field.
    static constexpr std::string BoardSettings::*kDevice[5] = {
        nullptr, &BoardSettings::vid, &BoardSettings::pid, nullptr, &BoardSettings::isDefault};
    Slot slot;
    if (position >= 1 && position < kFirstBlockPosition) {
        slot.device = kDevice[position - 1];
    } else if (position >= kFirstBlockPosition && position < kFirstLogPosition) {
        const int offset = position - kFirstBlockPosition;
        slot.channel = offset / kChannelBlockColumns;
        slot.field = kBlock[offset % kChannelBlockColumns].field;
    } else if (position >= kFirstLogPosition && position <= kMainColumnCount) {
        const int offset = position - kFirstLogPosition;
        slot.channel = offset % kChannelCount;
        slot.field = kLogging[offset / kChannelCount].field;
    }
    return slot;
}

std::vector<MainColumn> BuildColumns() {
    std::vector<MainColumn> columns;
    columns.reserve(kMainColumnCount);
    columns.push_back({"ID", kShortFieldMax});
    columns.push_back({"VID", kShortFieldMax});
    columns.push_back({"PID", kShortFieldMax});
    columns.push_back({"BOARDNOTE", kShortFieldMax});
    columns.push_back({"DEFAULT", kShortFieldMax});
    for (int n = 1; n <= kChannelCount; ++n) {
        for (const BlockColumn& c : kBlock) {
            columns.push_back({"VM" + std::to_string(n) + c.suffix, c.maxBytes});
        }
    }
    for (const BlockColumn& c : kLogging) {
        for (int n = 1; n <= kChannelCount; ++n) {
            columns.push_back({"VM" + std::to_string(n) + c.suffix, c.maxBytes});
        }
    }
    return columns;
}

const std::vector<MainColumn>& Columns() {
    static const std::vector<MainColumn> columns = BuildColumns();
    return columns;
}

}  // namespace

const MainColumn& MainColumnAt(int position) {
    static const MainColumn kNone{"", 0};
    if (position < 1 || position > kMainColumnCount) return kNone;
    return Columns()[static_cast<std::size_t>(position - 1)];
}

std::string* FieldAt(BoardSettings& settings, int position) {
    const Slot slot = SlotAt(position);
    if (slot.device != nullptr) return &(settings.*slot.device);
    if (slot.field != nullptr)
        return &(settings.channels[static_cast<std::size_t>(slot.channel)].*slot.field);
    return nullptr;
}

std::string& BlockField(ChannelSettings& channel, int k) {
    if (k < 0 || k >= kChannelBlockColumns) {
        static thread_local std::string scratch;
        scratch.clear();
        return scratch;
    }
    return channel.*kBlock[k].field;
}

const std::string& BlockField(const ChannelSettings& channel, int k) {
    return BlockField(const_cast<ChannelSettings&>(channel), k);
}

}  // namespace kestrane
