// kestrane-demo-settings: fills a settings database (made when missing) with
// the demo boards (000A, the default, and 000B), configured to match the
// signals of packaging/demo/demo-board.sim: named channels with notes, a
// shunt, every precision from 0 to 6, a channel switched off, an alarm
// band with its scripts and chime, and a logged channel.
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/channel_model.h"
#include "music/player/wav_writer.h"
#include "settings/install_record.h"
#include "settings/installer.h"
#include "settings/message_sink.h"
#include "settings/settings_database.h"
#include "settings/statements.h"

namespace {

using kestrane::BoardSettings;
using kestrane::ChannelSettings;

ChannelSettings Channel(const char* enable, const char* name, const char* notes, const char* adj,
                        const char* precision, const char* mode) {
    ChannelSettings c = kestrane::MeasuringChannel(enable, name, adj, precision, mode);
    c.notes = notes;
    return c;
}

// The files the demo's alarm band runs, kept beside the database: two
// scripts (blanks in their names on purpose) that note each event in
// alarm-events.txt, and a short chime.
struct AlarmFiles {
    std::string highScript, normalScript, chime, events;
};

AlarmFiles AlarmFilesIn(const std::string& folder) {
    return {folder + "charger high.sh", folder + "charger normal.sh", folder + "charger chime.wav",
            folder + "alarm-events.txt"};
}

bool WriteScript(const std::string& path, const char* event) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    std::fprintf(f,
                 "#!/bin/sh\n"
                 "# Run by the Kestrane demo when channel 6's alarm band %s.\n"
                 "cd \"$(dirname \"$0\")\" && echo \"$(date +%%T) %s\" >> alarm-events.txt\n",
                 event, event);
    const bool ok = std::fclose(f) == 0;
    return ok && chmod(path.c_str(), 0755) == 0;
}

// A 0.4 s two-tone chime that fades out, 48 kHz stereo.
bool WriteChime(const std::string& path) {
    constexpr int kRate = 48000, kFrames = kRate * 2 / 5;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kFrames) * 2);
    for (int i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double tone = i < kFrames / 2 ? 880.0 : 660.0;
        const double fade = 1.0 - static_cast<double>(i) / kFrames;
        const auto v = static_cast<std::int16_t>(9000.0 * fade * std::sin(2.0 * 3.14159265358979 * tone * t));
        samples[2 * static_cast<std::size_t>(i)] = v;
        samples[2 * static_cast<std::size_t>(i) + 1] = v;
    }
    kestrane::music::player::WavWriter writer;
    return writer.Open(path) && writer.Write(samples) && writer.Close();
}

BoardSettings BoardA(const std::string& logFolder, const AlarmFiles& alarm) {
    BoardSettings b;
    auto& ch = b.channels;
    ch[0] = Channel("YES", "House battery", "12 V lead-acid bank in the van.\nLogged every 5 seconds.", "1",
                    "2", "VDC");
    ch[0].logEnabled = "YES";
    ch[0].logInterval = "5 Secs";
    ch[0].logSize = "2 Megabytes";
    ch[0].logFileName = "house-battery.log";
    ch[0].logPath = logFolder;
    ch[1] =
        Channel("NO", "5V supply", "Bench supply; switched off while the bench is unused.", "1", "5", "VDC");
    ch[2] = Channel("YES", "Load current", "50 A / 75 mV shunt in the negative lead.", "1", "1", "ADC");
    ch[2].amp = "50";
    ch[2].millivolt = "75";
    ch[3] = Channel("YES", "Solar panel", "Panel voltage, shown in whole volts.", "1", "0", "VDC");
    ch[4] = Channel("YES", "Negative rail", "-12 V rail of the amplifier.", "1", "6", "VDC");
    ch[5] = Channel("YES", "Charger",
                    "Charger output with an alarm band:\nhigh above 12.2 V, clear below 11.8 V.", "1.000",
                    "4", "VDC");
    ch[5].highEnable = "ENABLED";
    ch[5].highTriggerMax = "12.2";
    ch[5].highTriggerMin = "11.8";
    ch[5].lowEnable = "ENABLED";
    ch[5].lowTriggerMin = "9.8";
    ch[5].lowTriggerMax = "10.2";
    ch[5].highTestEvery = "5 Secs";
    ch[5].highFile = alarm.highScript;
    ch[5].highSound = alarm.chime;
    ch[5].highNormFile = alarm.normalScript;
    ch[5].highNormSound = alarm.chime;
    return b;
}

BoardSettings BoardB() {
    BoardSettings b;
    auto& ch = b.channels;
    ch[0] = Channel("YES", "3V3 logic", "Logic supply of the test board.", "1", "3", "VDC");
    ch[1] = Channel("YES", "24V bus", "", "1", "2", "VDC");
    ch[2] = Channel("YES", "Bipolar", "", "1", "2", "VDC");
    ch[3] = Channel("YES", "Reference", "", "1", "4", "VDC");
    ch[4] = Channel("YES", "48V bus", "", "1", "1", "VDC");
    ch[5] = Channel("NO", "Unused", "", "1", "0", "VDC");
    return b;
}

bool AddBoard(kestrane::SettingsDatabase& db, const std::string& pid, const BoardSettings& settings,
              bool isDefault) {
    if (db.Execute(kestrane::InsertStatement(kestrane::kBoardVid, pid)) != kestrane::ExecStatus::Ok)
        return false;
    if (isDefault && db.Execute(kestrane::SetDefaultStatement(db.IdentifierQuote(), kestrane::kBoardVid,
                                                              pid)) != kestrane::ExecStatus::Ok)
        return false;
    for (int n = 1; n <= kestrane::kChannelCount; ++n) {
        if (!db.SaveOptions(n, pid, settings) || !db.SaveFilter(n, pid, settings) ||
            !db.SaveLogging(n, pid, settings))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // --record PROGRAM also writes the install record naming PROGRAM, for
    // running the client straight from a build tree.
    std::string recordProgram;
    int first = 1;
    if (argc == 5 && std::string(argv[1]) == "--record") {
        recordProgram = argv[2];
        first = 3;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: kestrane-demo-settings [--record PROGRAM] DATABASE LOG_FOLDER/\n");
        return 2;
    }
    const std::string database = argv[first];
    std::string logFolder = argv[first + 1];
    if (std::FILE* existing = std::fopen(database.c_str(), "rb")) {
        std::fclose(existing);
    } else {
        std::string error;
        if (!kestrane::CreateSettingsDatabase(database, error)) {
            std::fprintf(stderr, "kestrane-demo-settings: %s\n", error.c_str());
            return 1;
        }
    }
    if (!recordProgram.empty()) {
        kestrane::SystemInstallRecord record;
        if (!record.SetProgramPath(recordProgram)) {
            std::fprintf(stderr, "kestrane-demo-settings: cannot write the install record\n");
            return 1;
        }
    }
    if (logFolder.empty() || logFolder.back() != '/') logFolder += '/';
    const std::string::size_type slash = database.find_last_of('/');
    const AlarmFiles alarm =
        AlarmFilesIn(slash == std::string::npos ? std::string("./") : database.substr(0, slash + 1));
    if (!WriteScript(alarm.highScript, "went above 12.2 V") ||
        !WriteScript(alarm.normalScript, "came back below 11.8 V") || !WriteChime(alarm.chime)) {
        std::fprintf(stderr, "kestrane-demo-settings: cannot write the alarm files beside %s\n",
                     database.c_str());
        return 1;
    }
    kestrane::SettingsDatabase db;
    if (const kestrane::Status opened = db.Open(kestrane::ConnectionStringFor(database)); !opened.ok()) {
        std::fprintf(stderr, "%s: %s\n", kestrane::kClientCaption, opened.message().c_str());
        return 1;
    }
    if (!AddBoard(db, "000A", BoardA(logFolder, alarm), true) || !AddBoard(db, "000B", BoardB(), false)) {
        std::fprintf(stderr, "kestrane-demo-settings: %s\n", db.LastDiagnostic().c_str());
        return 1;
    }
    std::printf("Demo boards 000A (default) and 000B written to %s\n", database.c_str());
    std::printf("Channel 6's alarm band runs \"%s\" and \"%s\", noting events in %s\n",
                alarm.highScript.c_str(), alarm.normalScript.c_str(), alarm.events.c_str());
    return 0;
}
