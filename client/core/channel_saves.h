// What OK does in the Voltmeter Options, Averaging Filter and Logging
// dialogs, without the dialogs: check the edited channel, store it, take
// it into the running client and restart what depends on it.
#pragma once

#include <string>

#include "acquisition/channel_model.h"

namespace kestrane {
class SettingsDatabase;
}

namespace kestrane::core {

class AcquisitionSession;

// Where the dialogs' changes of one channel of board `pid` are stored;
// each returns false when the change was not stored.
class ChannelSettingsStore {
public:
    virtual ~ChannelSettingsStore() = default;
    virtual bool SaveOptions(int channel, const std::string& pid, const BoardSettings& settings) = 0;
    virtual bool SaveFilter(int channel, const std::string& pid, const BoardSettings& settings) = 0;
    virtual bool SaveLogging(int channel, const std::string& pid, const BoardSettings& settings) = 0;
};

// The settings database's save statements; with no database nothing is
// stored.
class DatabaseSettingsStore final : public ChannelSettingsStore {
public:
    explicit DatabaseSettingsStore(SettingsDatabase* database) : database_(database) {}
    bool SaveOptions(int channel, const std::string& pid, const BoardSettings& settings) override;
    bool SaveFilter(int channel, const std::string& pid, const BoardSettings& settings) override;
    bool SaveLogging(int channel, const std::string& pid, const BoardSettings& settings) override;

private:
    SettingsDatabase* database_;
};

enum class ChannelSaveResult {
    Saved,
    BandLimitsInvalid,  // an enabled alarm band whose MAX is not above its MIN
    WeightInvalid,      // a filter weight that is no number, or 1
    LogNameMissing,     // logging without a file name
    StoreFailed,        // the store refused; nothing in the client changed
};

// Each takes channel 1..6 as the dialog edited it (texts already cut to
// their stored lengths), checks it, stores it for the selected board and
// only then shows it in the main window. Nothing changes unless the
// result is Saved.
ChannelSaveResult SaveChannelOptions(AcquisitionSession& core, ChannelSettingsStore& store, int channel,
                                     const ChannelSettings& edited);
ChannelSaveResult SaveChannelFilter(AcquisitionSession& core, ChannelSettingsStore& store, int channel,
                                    const ChannelSettings& edited);
// Also restarts the channel's logging timer with the new interval, or
// stops it when logging is off.
ChannelSaveResult SaveChannelLogging(AcquisitionSession& core, ChannelSettingsStore& store, int channel,
                                     const ChannelSettings& edited);

}  // namespace kestrane::core
