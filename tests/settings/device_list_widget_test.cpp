// The device selector, its buttons and the Add Device dialog as widgets,
// on the offscreen platform against a real SQLite settings database. The
// modal dialog is replaced by a runner where the controller opens it. The
// board list of the real board library is read from a simulated bus.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "settings/dll_board_directory.h"
#include "test_support.h"
#include "ui/add_device_dialog.h"
#include "ui/device_list.h"

namespace kestrane::test {
namespace {

// The application object lives in main(), so it goes before Qt's globals.
void App() { ASSERT_NE(QApplication::instance(), nullptr); }

// Replaces the simulation file named by KESTRANE_SIMULATION (set in main()
// before the board library's first call) in one rename, so the library
// sees the new bus on its next call.
bool WriteBus(const std::string& text) {
    const char* path = std::getenv("KESTRANE_SIMULATION");
    if (path == nullptr) return false;
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

std::string DemoBus() {
    std::ifstream in(KESTRANE_DEMO_SIMULATION, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Entry(const std::string& pid) { return pid + " - USB  KESTRANEUNIT"; }

class DeviceListWidgets : public DatabaseTest {
protected:
    void SetUp() override {
        App();
        DatabaseTest::SetUp();
        if (IsSkipped()) return;
        window_ = std::make_unique<QWidget>();
        selector_ = new QComboBox(window_.get());
        connect_ = new QPushButton(QStringLiteral("Connect"), window_.get());
        controller_ = std::make_unique<DeviceListController>(window_.get(), selector_, connect_, db_, boards_,
                                                             sink_, [this] { return connected_; });
        // The stand-in dialog registers `toAdd_` (if any) in the mode asked.
        controller_->SetDialogRunner([this](AddMode mode) {
            modes_.push_back(mode);
            if (toAdd_.empty()) return false;
            return DeviceRegistry(db_).Add(Entry(toAdd_), mode).added;
        });
    }
    void TearDown() override {
        controller_.reset();
        window_.reset();
        DatabaseTest::TearDown();
    }
    std::vector<std::string> items() const {
        std::vector<std::string> out;
        for (int i = 0; i < selector_->count(); ++i) out.push_back(selector_->itemText(i).toStdString());
        return out;
    }
    std::string text() const { return selector_->currentText().toStdString(); }

    FakeBoards boards_;
    std::unique_ptr<QWidget> window_;
    QComboBox* selector_ = nullptr;
    QPushButton* connect_ = nullptr;
    std::unique_ptr<DeviceListController> controller_;
    std::vector<AddMode> modes_;
    std::string toAdd_;
    bool connected_ = false;  // the connection state the controller asks for
};

TEST_F(DeviceListWidgets, EmptyTableOpensTheFirstRunDialog) {
    toAdd_ = "000A";
    controller_->Fill();
    EXPECT_EQ(modes_, std::vector<AddMode>{AddMode::FirstRun});
    EXPECT_EQ(items(), std::vector<std::string>{Entry("000A")});
    EXPECT_EQ(text(), Entry("000A"));  // made the default
    EXPECT_TRUE(connect_->isEnabled());
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(DeviceListWidgets, ClosingTheFirstRunDialogLeavesConnectDisabled) {
    controller_->Fill();
    EXPECT_EQ(modes_.size(), 1u);
    EXPECT_TRUE(items().empty());
    EXPECT_EQ(text(), "");
    EXPECT_FALSE(connect_->isEnabled());
    // ADD Device later registers a board and enables Connect again.
    toAdd_ = "000B";
    controller_->AddDevice();
    EXPECT_EQ(modes_.back(), AddMode::Normal);
    EXPECT_EQ(items(), std::vector<std::string>{Entry("000B")});
    EXPECT_TRUE(connect_->isEnabled());
}

TEST_F(DeviceListWidgets, TheDefaultBoardIsSelectedAtStartAndStaysAfterAnAdd) {
    addRow("000A", "NO");
    addRow("000B", "YES");
    controller_->Fill();
    EXPECT_TRUE(modes_.empty());
    EXPECT_EQ(items(), (std::vector<std::string>{Entry("000A"), Entry("000B")}));
    EXPECT_EQ(text(), Entry("000B"));
    EXPECT_EQ(controller_->CurrentPid(), "000B");

    toAdd_ = "000C";
    controller_->AddDevice();
    EXPECT_EQ(items(), (std::vector<std::string>{Entry("000A"), Entry("000B"), Entry("000C")}));
    EXPECT_EQ(text(), Entry("000B"));

    // Typed text: its first four characters are the PID, whole characters
    // even where they take several bytes.
    selector_->setEditText(QStringLiteral("0B"));
    EXPECT_EQ(controller_->CurrentPid(), "0B");
    selector_->setEditText(QString::fromUtf8("00\u20AC1 - USB"));
    EXPECT_EQ(controller_->CurrentPid(),
              "00\xE2\x82\xAC"
              "1");
}

// While connected the main window keeps Connect disabled; a board added
// then (by ADD Device, or by the first-run dialog after the last board
// was deleted) must not enable it, or Connect could run a second time.
TEST_F(DeviceListWidgets, AddingABoardWhileConnectedLeavesConnectDisabled) {
    const struct {
        const char* name;
        bool connected;
        bool deleteLastFirst;  // reach the first-run dialog by deleting
        bool connectEnabledAfter;
    } cases[] = {
        {"ADD Device, disconnected", false, false, true},
        {"ADD Device, connected", true, false, false},
        {"first run after the last delete, disconnected", false, true, true},
        {"first run after the last delete, connected", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* pid : {"000A", "000B", "000C"}) DeviceRegistry(db_).Remove(pid);
        addRow("000A", "YES");
        controller_->Fill();
        modes_.clear();
        connected_ = c.connected;
        connect_->setEnabled(!c.connected);  // as Connect and Disconnect leave it
        if (c.deleteLastFirst) {
            toAdd_ = "000C";
            controller_->DeleteDevice();
            ASSERT_EQ(modes_, std::vector<AddMode>{AddMode::FirstRun});
            EXPECT_EQ(items(), std::vector<std::string>{Entry("000C")});
        } else {
            toAdd_ = "000B";
            controller_->AddDevice();
            ASSERT_EQ(modes_, std::vector<AddMode>{AddMode::Normal});
            EXPECT_EQ(items(), (std::vector<std::string>{Entry("000A"), Entry("000B")}));
        }
        EXPECT_EQ(connect_->isEnabled(), c.connectEnabledAfter);
    }
}

TEST_F(DeviceListWidgets, WithoutADefaultTheTextStaysEmpty) {
    addRow("000A", "NO");
    addRow("000B", "");
    controller_->Fill();
    EXPECT_EQ(items().size(), 2u);
    EXPECT_EQ(text(), "");
}

TEST_F(DeviceListWidgets, DeleteAndSetDefaultActOnTheSelectorsBoard) {
    addRow("000A", "YES");
    addRow("000B", "NO");
    addRow("000C", "NO");
    controller_->Fill();

    selector_->setCurrentIndex(2);
    controller_->SetDefault();
    EXPECT_EQ(text(), Entry("000C"));
    EXPECT_EQ(defaults(),
              (std::map<std::string, std::string>{{"000A", "NO"}, {"000B", "NO"}, {"000C", "YES"}}));

    // Deleting a board that is not the default: the default is shown again.
    selector_->setCurrentIndex(0);
    controller_->DeleteDevice();
    EXPECT_EQ(items(), (std::vector<std::string>{Entry("000B"), Entry("000C")}));
    EXPECT_EQ(text(), Entry("000C"));

    // Deleting the default leaves the text empty.
    controller_->DeleteDevice();
    EXPECT_EQ(items(), std::vector<std::string>{Entry("000B")});
    EXPECT_EQ(text(), "");

    // Deleting the last board leads to the first-run dialog.
    selector_->setCurrentIndex(0);
    controller_->DeleteDevice();
    EXPECT_EQ(modes_, std::vector<AddMode>{AddMode::FirstRun});
    EXPECT_FALSE(connect_->isEnabled());
}

TEST_F(DeviceListWidgets, AClosedDatabaseReportsOnceAndOpensNoDialog) {
    db_.Close();
    controller_->Fill();
    EXPECT_EQ(sink_.texts(), std::vector<std::string>{"Statement handle allocation failed"});
    EXPECT_EQ(sink_.messages[0].first, "Morvane Kestrane Client");
    EXPECT_TRUE(modes_.empty());
    EXPECT_TRUE(items().empty());
}

// Seven boards of every kind the Add Device list must tell apart.
const char* const kMixedBus =
    "[device]\nproduct-id = 000A\nproduct = KESTRANEUNIT\n"
    "[device]\nproduct-id = 000B\nproduct = kestraneunit\n"   // differs in case only
    "[device]\nproduct-id = 000D\nproduct = KESTRANEUNIT2\n"  // longer name
    "[device]\nvendor-id = 1234\nproduct-id = 00E1\n"         // another vendor
    "[device]\nproduct-id = 000F\nfault = busy\n"             // held by another program
    "[device]\nproduct-id = 0010\nfault = absent\n"           // not on the bus
    "[device]\nproduct-id = 1A2B\nproduct = KESTRANEUNIT\n";

// FindKestranes and GetProductString of the board library, as the Add
// Device dialog uses them, over simulated buses.
TEST(DllBoardDirectory, ListsTheBoardsOfTheBusInItsOrder) {
    App();
    using Products = std::map<uint32_t, std::optional<std::string>>;  // nullopt: no string
    const struct {
        const char* name;
        std::string bus;
        bool listOk;
        std::string list;
        Products products;
        std::vector<std::string> entries;
    } cases[] = {
        {"the demo bus",
         DemoBus(),
         true,
         "000A|000B|",
         {{0xA, "KESTRANEUNIT"}, {0xB, "KESTRANEUNIT"}, {0xC, std::nullopt}},
         {Entry("000A"), Entry("000B")}},
        {"bus order, not number order",
         "[device]\nproduct-id = 000C\n[device]\nproduct-id = 000A\n",
         true,
         "000C|000A|",
         {{0xC, "KESTRANEUNIT"}, {0xA, "KESTRANEUNIT"}},
         {Entry("000C"), Entry("000A")}},
        {"only boards named exactly KESTRANEUNIT",
         kMixedBus,
         true,
         "000A|000B|000D|1A2B|",
         {{0xA, "KESTRANEUNIT"},
          {0xB, "kestraneunit"},
          {0xD, "KESTRANEUNIT2"},
          {0x1A2B, "KESTRANEUNIT"},
          {0xE1, std::nullopt},
          {0xF, std::nullopt},
          {0x10, std::nullopt}},
         {Entry("000A"), Entry("1A2B")}},
        {"no board attached", "# an empty bus\n", true, "", {{0xA, std::nullopt}}, {}},
        {"bus cannot be read", "[device]\nproduct-id = not hex\n", false, "", {{0xA, std::nullopt}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bus.empty());
        ASSERT_TRUE(WriteBus(c.bus));
        DllBoardDirectory boards;
        std::string list = "left over";
        EXPECT_EQ(boards.FindBoards(list), c.listOk);
        if (c.listOk) {
            EXPECT_EQ(list, c.list);
        }
        for (const auto& [id, product] : c.products) {
            std::string text;
            EXPECT_EQ(boards.ProductString(id, text), product.has_value()) << id;
            if (product) {
                EXPECT_EQ(text, *product) << id;
            }
        }
        EXPECT_EQ(AttachedKestraneEntries(boards), c.entries);
    }
}

class AddDeviceDialogTest : public DatabaseTest {
protected:
    void SetUp() override {
        App();
        DatabaseTest::SetUp();
        boards_.list = "000A|000B|000C|";
        boards_.products = {{0xA, "KESTRANEUNIT"}, {0xB, "KESTRANEUNIT"}, {0xC, "kestraneunit"}};
    }
    static std::vector<std::string> listed(const AddDeviceDialog& d) {
        std::vector<std::string> out;
        for (int i = 0; i < d.boardList()->count(); ++i)
            out.push_back(d.boardList()->item(i)->text().toStdString());
        return out;
    }
    FakeBoards boards_;
};

TEST_F(AddDeviceDialogTest, ListsKestraneUnitsAndRefreshSearchesAgain) {
    DeviceRegistry registry(db_);
    AddDeviceDialog dialog(AddMode::Normal, registry, boards_, sink_);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Add Device"));
    EXPECT_EQ(listed(dialog), (std::vector<std::string>{Entry("000A"), Entry("000B")}));
    boards_.list = "000B|";
    QTest::mouseClick(dialog.refreshButton(), Qt::LeftButton);
    EXPECT_EQ(listed(dialog), std::vector<std::string>{Entry("000B")});
    boards_.listOk = false;
    dialog.refresh();
    EXPECT_TRUE(listed(dialog).empty());
}

TEST_F(AddDeviceDialogTest, TheBoardLibraryFeedsTheList) {
    ASSERT_TRUE(WriteBus(kMixedBus));
    DllBoardDirectory library;
    DeviceRegistry registry(db_);
    AddDeviceDialog dialog(AddMode::FirstRun, registry, library, sink_);
    dialog.show();
    EXPECT_EQ(listed(dialog), (std::vector<std::string>{Entry("000A"), Entry("1A2B")}));
    // Refresh searches the bus again.
    ASSERT_TRUE(WriteBus("[device]\nproduct-id = 0B0E\n"));
    QTest::mouseClick(dialog.refreshButton(), Qt::LeftButton);
    EXPECT_EQ(listed(dialog), std::vector<std::string>{Entry("0B0E")});
    dialog.boardList()->setCurrentRow(0);
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(defaults(), (std::map<std::string, std::string>{{"0B0E", "YES"}}));
}

TEST_F(AddDeviceDialogTest, AddInNormalMode) {
    addRow("000A", "YES");
    DeviceRegistry registry(db_);
    AddDeviceDialog dialog(AddMode::Normal, registry, boards_, sink_);
    dialog.show();

    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);  // nothing selected
    EXPECT_EQ(sink_.messages.back(), (std::pair<std::string, std::string>{"", "No Device Selected!"}));
    EXPECT_TRUE(dialog.isVisible());

    dialog.boardList()->setCurrentRow(0);
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    EXPECT_EQ(sink_.messages.back().second, "Device Already In Database!");
    EXPECT_TRUE(dialog.isVisible());

    dialog.boardList()->setCurrentRow(1);
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(sink_.messages.size(), 2u);
    EXPECT_EQ(defaults(), (std::map<std::string, std::string>{{"000A", "YES"}, {"000B", ""}}));
}

TEST_F(AddDeviceDialogTest, AddInFirstRunModeMakesTheDefault) {
    DeviceRegistry registry(db_);
    AddDeviceDialog dialog(AddMode::FirstRun, registry, boards_, sink_);
    dialog.show();
    dialog.boardList()->setCurrentRow(1);
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(defaults(), (std::map<std::string, std::string>{{"000B", "YES"}}));
}

TEST_F(AddDeviceDialogTest, EnterAndEscapeDoNothing) {
    DeviceRegistry registry(db_);
    AddDeviceDialog dialog(AddMode::Normal, registry, boards_, sink_);
    dialog.show();
    dialog.boardList()->setCurrentRow(0);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(&dialog, key);
        EXPECT_TRUE(dialog.isVisible()) << key;
    }
    EXPECT_TRUE(sink_.messages.empty());
    EXPECT_TRUE(defaults().empty());
}

}  // namespace
}  // namespace kestrane::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The board library takes the variable at its first call: set it first.
    const kestrane::test::TempDir bus("kestrane-bus");
    const std::filesystem::path& busFolder = bus.path();
    if (busFolder.empty()) return 1;
    ::setenv("KESTRANE_SIMULATION", (busFolder / "board.sim").c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
