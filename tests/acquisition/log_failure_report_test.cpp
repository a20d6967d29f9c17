// Lost log records are never silent: each failing write names its step and
// errno, the reporter tells each cause once per source and tells again when
// writing works, and the stderr line and the listener's note agree.
#include "acquisition/log_failure_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <sys/stat.h>

#include "acquisition/append_whole.h"
#include "temp_dir.h"

namespace kestrane {
namespace {

namespace fs = std::filesystem;

class FixedTime final : public LocalTimeSource {
public:
    std::tm LocalNow() override {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 11;
        t.tm_mday = 7;
        return t;
    }
};

ChannelSettings Channel(const std::string& folder, const std::string& name) {
    ChannelSettings s;
    s.logEnabled = "YES";
    s.logSize = "1 Megabyte";
    s.logPath = folder;
    s.logFileName = name;
    return s;
}

TEST(LogWriteCause, EachFailureNamesItsStepAndErrno) {
    test::TempDir temp("kestrane-logcause");
    const std::string dir = temp.path().string();
    temp.Write("plain", "keep");
    fs::create_directory(temp.path() / "adir");
    ASSERT_EQ(::mkfifo(temp.File("fifo").c_str(), 0600), 0);
    FixedTime time;
    struct R {
        const char* what;
        ChannelSettings target;
        LogWriteStep step;
        int error;
    };
    const R cases[] = {
        {"two missing levels", Channel(dir + "/gone/deeper/", "ch1.txt"), LogWriteStep::Folder, ENOENT},
        {"a file where the folder is", Channel(dir + "/plain/", "ch1.txt"), LogWriteStep::Open, ENOTDIR},
        {"a folder where the file is", Channel(dir + "/", "adir"), LogWriteStep::Open, EISDIR},
        {"a FIFO nobody reads", Channel(dir + "/", "fifo"), LogWriteStep::Open, ENXIO},
        {"a full disk", Channel("/dev/", "full"), LogWriteStep::Write, ENOSPC},
        {"a good file", Channel(dir + "/", "ok.txt"), LogWriteStep::Written, 0},
    };
    for (const auto& c : cases) {
        const LogWriteResult r = WriteLogRecord(c.target, "+ 1", time);
        EXPECT_EQ(r.step, c.step) << c.what;
        EXPECT_EQ(r.error, c.error) << c.what;
        EXPECT_EQ(static_cast<bool>(r), c.step == LogWriteStep::Written) << c.what;
    }
    BoardSettings board;
    ChannelStates states;
    EXPECT_EQ(WriteLogRecord(0, board, states, time).step, LogWriteStep::NoSuchChannel);
}

TEST(LogWriteCause, AFullDiskLeavesNoPartOfTheRecord) {
    std::FILE* full = std::fopen("/dev/full", "a");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
    EXPECT_EQ(AppendWhole(::fileno(full), "07 Dec 2026;01:49:10 PM;+ 1\r\n"), ENOSPC);
    std::fclose(full);
}

// Collects what the reporter says on its stream and to its listener.
class ReporterProbe {
public:
    ReporterProbe()
        : stream_(std::tmpfile(), &std::fclose),
          reporter_([this](const LogFailureNote& n) { notes.push_back(n); }, stream_.get()) {}
    LogFailureReporter& reporter() { return reporter_; }
    std::string StreamText() {
        std::string text;
        std::rewind(stream_.get());
        for (int c; (c = std::fgetc(stream_.get())) != EOF;) text.push_back(static_cast<char>(c));
        return text;
    }
    std::vector<LogFailureNote> notes;

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream_;
    LogFailureReporter reporter_;
};

TEST(LogFailureReporter, OncePerSourceAndCauseAndAgainAfterRecovery) {
    const LogWriteResult ok{};
    const LogWriteResult full{LogWriteStep::Write, ENOSPC};
    const LogWriteResult denied{LogWriteStep::Open, EACCES};
    const LogWriteResult noFolder{LogWriteStep::Folder, EACCES};
    struct Step {
        std::string source;
        LogWriteResult result;
        const char* line;  // what is reported, or null for nothing
    };
    const std::string ch1 = ChannelLogSource(1);
    const std::string ch3 = ChannelLogSource(3);
    const std::vector<Step> steps = {
        {ch1, ok, nullptr},  // working from the start: nothing to say
        {ch1, full,
         "Channel 1 log: cannot write a record to /l/f.txt: No space left on device; "
         "records are being lost"},
        {ch1, full, nullptr},  // the same cause again: already told
        {ch3, full,
         "Channel 3 log: cannot write a record to /l/f.txt: No space left on device; "
         "records are being lost"},  // another channel is its own source
        {ch1, denied, "Channel 1 log: cannot open /l/f.txt: Permission denied; records are being lost"},
        {ch1, full, nullptr},  // back to a cause already told during this failure
        {ch1, noFolder,
         "Channel 1 log: cannot create the folder of /l/f.txt: Permission denied; "
         "records are being lost"},
        {ch1, ok, "Channel 1 log: writing /l/f.txt works again; 5 records were lost"},
        {ch1, ok, nullptr},
        {ch1, full,
         "Channel 1 log: cannot write a record to /l/f.txt: No space left on device; "
         "records are being lost"},  // a new failure is told afresh
        {ch1, ok, "Channel 1 log: writing /l/f.txt works again; 1 record was lost"},
        {ch3, ok, "Channel 3 log: writing /l/f.txt works again; 1 record was lost"},
    };
    ReporterProbe probe;
    std::string expectedStream;
    std::size_t told = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        probe.reporter().Note(s.source, "/l/f.txt", s.result);
        if (s.line == nullptr) {
            EXPECT_EQ(probe.notes.size(), told) << "step " << i;
            continue;
        }
        ASSERT_EQ(probe.notes.size(), told + 1) << "step " << i;
        const LogFailureNote& n = probe.notes.back();
        EXPECT_EQ(n.line, s.line) << "step " << i;
        EXPECT_EQ(n.source, s.source) << "step " << i;
        EXPECT_EQ(n.recovered, static_cast<bool>(s.result)) << "step " << i;
        EXPECT_EQ(probe.reporter().failing(s.source), !s.result) << "step " << i;
        expectedStream += std::string(s.line) + "\n";
        ++told;
    }
    EXPECT_EQ(probe.StreamText(), expectedStream);
}

TEST(LogFailureReporter, AFolderThatGoesAndComesBackIsToldBothWays) {
    test::TempDir temp("kestrane-logloss");
    const fs::path folder = temp.path() / "logs";
    const ChannelSettings s = Channel(folder.string() + "/", "ch2.txt");
    const std::string path = LogFilePath(s);
    // The folder's parent goes: the folder cannot be made again (one level only).
    const ChannelSettings nested = Channel((temp.path() / "mount" / "logs").string() + "/", "ch2.txt");
    FixedTime time;
    ReporterProbe probe;
    LogFailureReporter& r = probe.reporter();
    const std::string source = ChannelLogSource(2);

    r.Note(source, path, WriteLogRecord(s, "+ 1", time));
    EXPECT_TRUE(probe.notes.empty());
    fs::remove_all(folder);
    fs::create_directory(temp.path() / "mount");
    // A missing folder is made again by the write itself: still nothing to tell.
    r.Note(source, path, WriteLogRecord(s, "+ 1", time));
    EXPECT_TRUE(probe.notes.empty());

    const std::string nestedPath = LogFilePath(nested);
    r.Note(source, nestedPath, WriteLogRecord(nested, "+ 1", time));
    fs::remove_all(temp.path() / "mount");
    for (int i = 0; i < 3; ++i) r.Note(source, nestedPath, WriteLogRecord(nested, "+ 1", time));
    ASSERT_EQ(probe.notes.size(), 1u);
    EXPECT_EQ(probe.notes[0].line, "Channel 2 log: cannot create the folder of " + nestedPath +
                                       ": No such file or directory; records are being lost");
    fs::create_directory(temp.path() / "mount");
    r.Note(source, nestedPath, WriteLogRecord(nested, "+ 1", time));
    ASSERT_EQ(probe.notes.size(), 2u);
    EXPECT_EQ(probe.notes[1].line,
              "Channel 2 log: writing " + nestedPath + " works again; 3 records were lost");
    EXPECT_TRUE(probe.notes[1].recovered);
}

}  // namespace
}  // namespace kestrane
