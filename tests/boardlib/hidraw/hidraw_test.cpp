// The board library's real path, hidapi's hidraw backend with libudev
// enumeration, against boards emulated in a umockdev testbed among other
// HID devices: listing, exchange texts (the same as the simulated bus's),
// draining a stale report, unplug and replug, a node this user cannot open,
// a node taken over by another device, and the logger losing and regaining
// its board.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "board_access.h"
#include "emulated_bus.h"
#include "hidapi_transport.h"
#include "logger_test_support.h"
#include "reading_word.h"
#include "simulated_bus.h"

namespace kestrane::board {
namespace {

using test::EmulatedDevice;
using test::EmulatedHidBus;

// Programs run without the capabilities that let root open any node, so a
// node's mode counts as it does for a user.
const QStringList kWithoutOverride = {"--bounding-set=-dac_override,-dac_read_search", "--"};

EmulatedDevice Board(uint16_t productId) {
    EmulatedDevice d;
    d.productId = productId;
    return d;
}

EmulatedDevice Other(uint16_t vendorId, uint16_t productId, const char* product) {
    EmulatedDevice d;
    d.vendorId = vendorId;
    d.productId = productId;
    d.manufacturer = "Other";
    d.product = product;
    d.board = false;
    return d;
}

std::string Text(int32_t result, const std::array<char, 256>& text) {
    return result == 1 ? std::string(text.data()) : std::string("<failed>");
}

class HidrawPath : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EmulatedHidBus::InMockEnvironment()) << "run under umockdev's preload library";
        ASSERT_EQ(std::getenv("KESTRANE_SIMULATION"), nullptr)
            << "the real path is tested, not the simulated bus";
        lib_.transport = transport_.get();
    }
    std::string Read(int32_t productId, int32_t command, int32_t mode) {
        std::array<char, 256> text{};
        return Text(ReadBoard(lib_, productId, command, mode, text.data()), text);
    }

    EmulatedHidBus bus_;
    std::unique_ptr<HidTransport> transport_ = MakeHidapiTransport();
    BoardLibrary lib_;
};

TEST_F(HidrawPath, ListsBoardsAmongDecoysAndTalksOnlyToThem) {
    const std::string mouse = bus_.Add(Other(0x046D, 0x000A, "Mouse"));  // same product ID
    const std::string a = bus_.Add(Board(0x000A));
    const std::string keyboard = bus_.Add(Other(0x1234, 0x000B, "Keyboard"));
    const std::string b = bus_.Add(Board(0x000B));
    std::array<char, 1024> list{};
    ASSERT_EQ(FindBoards(lib_, list.data()), 1);
    EXPECT_STREQ(list.data(), "000A|000B|");
    EXPECT_NE(Read(0x000A, 8, 0), "<failed>");
    EXPECT_NE(Read(0x000B, 1, 0), "<failed>");
    EXPECT_EQ(bus_.Commands(mouse), 0);
    EXPECT_EQ(bus_.Commands(keyboard), 0);
    EXPECT_EQ(bus_.Commands(a), 1);
    EXPECT_EQ(bus_.Commands(b), 1);
    std::array<char, 256> text{};
    ASSERT_EQ(BoardManufacturer(lib_, 0x000A, text.data()), 1);
    EXPECT_STREQ(text.data(), "Morvane");
    ASSERT_EQ(BoardProduct(lib_, 0x000A, text.data()), 1);
    EXPECT_STREQ(text.data(), "KESTRANEUNIT");
    ASSERT_EQ(BoardVersion(lib_, 0x000A, text.data()), 1);
    EXPECT_STREQ(text.data(), "0100");
}

TEST_F(HidrawPath, AnswerTextsEqualTheSimulatedBoards) {
    // Raw words at the edges of the format, and volts through the firmware's
    // own encoding.
    const std::array<uint32_t, 6> words = {0x401000C0u, 0xC0000000u,       0x3FFFFF40u,
                                           0x7FFFFFFFu, VoltsToWord(12.6), VoltsToWord(-0.0375)};
    EmulatedDevice d = Board(0x000A);
    d.words = words;
    d.firmware = "KESTRANE FW 2.07";
    bus_.Add(d);
    std::string sim = "[device]\nproduct-id = 000A\nfirmware = KESTRANE FW 2.07\n";
    for (int ch = 1; ch <= 6; ++ch) {
        char word[16];
        std::snprintf(word, sizeof word, "0x%08X", words[static_cast<size_t>(ch - 1)]);
        sim += "channel" + std::to_string(ch) + " = word " + word + "\n";
    }
    SimParseResult parsed = ParseSimulation(sim);
    ASSERT_TRUE(parsed.config) << parsed.error;
    SimulatedBus simulated(std::move(*parsed.config));
    BoardLibrary simLib;
    simLib.transport = &simulated;
    for (int32_t command : {1, 2, 3, 4, 5, 6, 8}) {
        for (int32_t mode : {0, 1}) {
            std::array<char, 256> expected{};
            const std::string want =
                Text(ReadBoard(simLib, 0x000A, command, mode, expected.data()), expected);
            EXPECT_EQ(Read(0x000A, command, mode), want) << "command " << command << " mode " << mode;
        }
    }
    EXPECT_EQ(Read(0x000A, 1, 1), "+ 0.197734");
}

TEST_F(HidrawPath, StaleReportIsDrainedBeforeTheCommand) {
    EmulatedDevice d = Board(0x000A);
    d.words[0] = 0x40000080u;
    const std::string node = bus_.Add(d);
    ASSERT_EQ(Read(0x000A, 1, 0), std::to_string(0x40000080u));
    // Another program's answer, left unread on this program's handle.
    std::vector<uint8_t> stale(64, 0);
    stale[0] = '1';
    stale[4] = 0x7F;
    bus_.SendReport(node, stale);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Read(0x000A, 1, 0), std::to_string(0x40000080u));
}

TEST_F(HidrawPath, UnplugFailsTheExchangeAndReplugUnderANewNameIsFound) {
    const std::string first = bus_.Add(Board(0x000A));
    ASSERT_NE(Read(0x000A, 1, 0), "<failed>");
    ASSERT_EQ(lib_.held.size(), 1u);
    bus_.Remove(first);
    EXPECT_EQ(Read(0x000A, 1, 0), "<failed>");
    EXPECT_TRUE(lib_.held.empty());
    const std::string second = bus_.Add(Board(0x000A));
    EXPECT_NE(second, first);
    EXPECT_NE(Read(0x000A, 1, 0), "<failed>");
    ASSERT_EQ(lib_.held.size(), 1u);
    EXPECT_EQ(lib_.held[0].info.path, second);
}

TEST_F(HidrawPath, HeldHandleIsUsedWithoutWalkingAndItsNodeIsCheckedEveryCall) {
    const std::string node = bus_.Add(Board(0x000A));
    bus_.Add(Other(0x046D, 0xC52B, "Receiver"));
    for (int i = 0; i < 20; ++i) ASSERT_NE(Read(0x000A, 1 + i % 6, 0), "<failed>") << i;
    EXPECT_EQ(lib_.walks, 1u);
    ASSERT_EQ(lib_.held.size(), 1u);
    EXPECT_EQ(lib_.held[0].device->Identity(), (HidIdentity{0, 0x000A}));
    // The node now belongs to another device: nothing more is sent to it.
    bus_.Replace(node, 0x046D, 0xC534);
    EXPECT_EQ(lib_.held[0].device->Identity(), (HidIdentity{0x046D, 0xC534}));
    const int commands = bus_.Commands(node);
    EXPECT_EQ(Read(0x000A, 1, 0), "<failed>");
    EXPECT_EQ(bus_.Commands(node), commands);
    EXPECT_TRUE(lib_.held.empty());
    // A device that arrives makes the next call walk the bus.
    const std::string other = bus_.Add(Board(0x000B));
    ASSERT_NE(Read(0x000B, 1, 0), "<failed>");
    const uint64_t walks = lib_.walks;
    bus_.Add(Other(0x1234, 0x5678, "Headset"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(Read(0x000B, 1, 0), "<failed>");
    EXPECT_EQ(lib_.walks, walks + 1);
    EXPECT_EQ(bus_.Commands(other), 2);
}

TEST_F(HidrawPath, ListingNamesANodeThisUserCannotOpen) {
    bus_.Add(Board(0x000A));
    const std::string locked = bus_.Add(Board(0x000C));
    bus_.Chmod(locked, 0);
    QProcess list;
    const int status = test::RunToEnd(
        list, "setpriv", QStringList(kWithoutOverride) << KESTRANE_BOARD_PROGRAM << "list", 20000);
    const std::string out = list.readAllStandardOutput().toStdString();
    const std::string err = list.readAllStandardError().toStdString();
    EXPECT_EQ(status, 1) << out << err;
    EXPECT_NE(out.find("000A"), std::string::npos) << out;
    EXPECT_EQ(out.find("000C"), std::string::npos) << out;
    EXPECT_NE(err.find("the device " + locked + " (vendor 0000, product 000C) cannot be opened"),
              std::string::npos)
        << err;
}

// ---- The logger on the emulated bus -------------------------------------------

// Collects a child's stderr while waiting for a text to appear in it.
bool WaitForText(QProcess& process, std::string& seen, const std::string& text, int timeoutMs) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (seen.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        process.waitForReadyRead(20);
        seen += process.readAllStandardError().toStdString();
    }
    return true;
}

TEST_F(HidrawPath, LoggerResumesAsSoonAsTheBoardsNodeAppears) {
    test::TempDir dir("kestrane-hidraw-logger");
    BoardSettings settings;
    for (int i = 0; i < 6; ++i) settings.channels[static_cast<size_t>(i)] = test::PlainChannel("Ch", "4");
    test::MakeDatabase(dir.File("s.MDB"), {{"000A", settings}});
    EmulatedDevice d = Board(0x000A);
    d.words.fill(VoltsToWord(12.6));
    std::string node = bus_.Add(d);

    QProcess logger;
    // Its own runtime folder, so a logger of another test or benchmark on
    // a board 000A of its own never holds this one's owner lock.
    std::filesystem::create_directories(dir.File("run"));
    std::filesystem::permissions(dir.File("run"), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.File("run")));
    logger.setProcessEnvironment(env);
    logger.setProgram("setpriv");
    logger.setArguments(QStringList(kWithoutOverride)
                        << test::LoggerProgram().c_str() << "--database" << dir.File("s.MDB").c_str()
                        << "--board"
                        << "000A"
                        << "--csv" << dir.File("rows.csv").c_str() << "--duration"
                        << "60");
    logger.start();
    ASSERT_TRUE(logger.waitForStarted(5000));
    std::string said;
    ASSERT_TRUE(WaitForText(logger, said, "polling board 000A", 10000)) << said;
    ASSERT_TRUE(test::WaitFor([&] { return test::ReadLines(dir.File("rows.csv")).size() > 6; }, 10000));

    struct Case {
        const char* what;
        // Milliseconds the new node refuses this user after it appears, as
        // before udev applies the rule's permissions.
        int refusedMs;
    };
    for (const Case c : {Case{"open at once", 0}, Case{"permissions applied late", 400}}) {
        bus_.Remove(node);
        ASSERT_TRUE(WaitForText(logger, said, "does not answer", 5000)) << c.what << said;
        // Well inside the logger's 2 s retry period.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        said.clear();
        const auto added = std::chrono::steady_clock::now();
        node = bus_.Add(d);
        if (c.refusedMs > 0) {
            bus_.Chmod(node, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(c.refusedMs));
            bus_.Chmod(node, 0666);
        }
        ASSERT_TRUE(WaitForText(logger, said, "is back", 5000)) << c.what << said;
        const auto resumedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - added)
                .count();
        std::printf("%s: polling again %lld ms after the node appeared\n", c.what,
                    static_cast<long long>(resumedMs));
        // The retry timer alone would take until about 1.8 s after the add.
        EXPECT_LT(resumedMs, c.refusedMs + 900) << c.what;
    }

    // A node that stays closed to this user gets the permission hint. The
    // node can only be closed after umockdev announced it, so the logger
    // may win the race and open it first: then the case is tried again.
    bool hinted = false;
    for (int attempt = 0; attempt < 4 && !hinted; ++attempt) {
        bus_.Remove(node);
        ASSERT_TRUE(WaitForText(logger, said, "does not answer", 5000)) << said;
        said.clear();
        node = bus_.Add(d);
        bus_.Chmod(node, 0);
        const std::string hint = "the device " + node + " appeared but cannot be opened";
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (!hinted && said.find("is back") == std::string::npos &&
               std::chrono::steady_clock::now() < giveUp) {
            logger.waitForReadyRead(20);
            said += logger.readAllStandardError().toStdString();
            hinted = said.find(hint) != std::string::npos;
        }
        bus_.Chmod(node, 0666);
        ASSERT_TRUE(WaitForText(logger, said, "is back", 5000)) << said;
    }
    EXPECT_TRUE(hinted) << said;
    logger.terminate();
    ASSERT_TRUE(logger.waitForFinished(10000));
    EXPECT_EQ(logger.exitCode(), 0) << said;
}

}  // namespace
}  // namespace kestrane::board
