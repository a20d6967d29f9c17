#include "client/core/channel_saves.h"

#include "client/core/session.h"
#include "settings/settings_database.h"
#include "validators/validators.h"

namespace kestrane::core {
namespace {

using StoreCall = bool (ChannelSettingsStore::*)(int, const std::string&, const BoardSettings&);

bool ValidChannel(int channel) { return channel >= 1 && channel <= kChannelCount; }

// Stores the board's settings with channel `channel` replaced and, once
// stored, makes them the client's own and shows them.
ChannelSaveResult StoreAndApply(AcquisitionSession& core, ChannelSettingsStore& store, StoreCall call,
                                int channel, const ChannelSettings& edited) {
    const std::size_t index = static_cast<std::size_t>(channel - 1);
    BoardSettings updated = core.settings();
    updated.channels[index] = edited;
    if (!(store.*call)(channel, core.currentPid(), updated)) return ChannelSaveResult::StoreFailed;
    core.mutableSettings().channels[index] = edited;
    core.LoadAndShowSettings();
    return ChannelSaveResult::Saved;
}

}  // namespace

bool DatabaseSettingsStore::SaveOptions(int channel, const std::string& pid, const BoardSettings& settings) {
    return database_ && database_->SaveOptions(channel, pid, settings);
}

bool DatabaseSettingsStore::SaveFilter(int channel, const std::string& pid, const BoardSettings& settings) {
    return database_ && database_->SaveFilter(channel, pid, settings);
}

bool DatabaseSettingsStore::SaveLogging(int channel, const std::string& pid, const BoardSettings& settings) {
    return database_ && database_->SaveLogging(channel, pid, settings);
}

ChannelSaveResult SaveChannelOptions(AcquisitionSession& core, ChannelSettingsStore& store, int channel,
                                     const ChannelSettings& edited) {
    if (!ValidChannel(channel)) return ChannelSaveResult::StoreFailed;
    if (edited.HighBandEnabled() && !BandLimitsValid(edited.highTriggerMax, edited.highTriggerMin))
        return ChannelSaveResult::BandLimitsInvalid;
    if (edited.LowBandEnabled() && !BandLimitsValid(edited.lowTriggerMax, edited.lowTriggerMin))
        return ChannelSaveResult::BandLimitsInvalid;
    return StoreAndApply(core, store, &ChannelSettingsStore::SaveOptions, channel, edited);
}

ChannelSaveResult SaveChannelFilter(AcquisitionSession& core, ChannelSettingsStore& store, int channel,
                                    const ChannelSettings& edited) {
    if (!ValidChannel(channel)) return ChannelSaveResult::StoreFailed;
    if (!FilterWeightAcceptable(edited.filterWeight)) return ChannelSaveResult::WeightInvalid;
    return StoreAndApply(core, store, &ChannelSettingsStore::SaveFilter, channel, edited);
}

ChannelSaveResult SaveChannelLogging(AcquisitionSession& core, ChannelSettingsStore& store, int channel,
                                     const ChannelSettings& edited) {
    if (!ValidChannel(channel)) return ChannelSaveResult::StoreFailed;
    if (edited.logFileName.empty()) return ChannelSaveResult::LogNameMissing;
    const ChannelSaveResult result =
        StoreAndApply(core, store, &ChannelSettingsStore::SaveLogging, channel, edited);
    if (result == ChannelSaveResult::Saved) core.ApplyLoggingSettings(channel);
    return result;
}

}  // namespace kestrane::core
