// The list of registered boards in table Main and the boards attached over
// USB: filling the device selector, adding (with the duplicate test),
// deleting and choosing the default board. Qt-free; the widgets are thin.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "settings/settings_database.h"

namespace kestrane {

// What follows the PID in every device selector and Add Device entry.
inline constexpr const char* kEntrySuffix = " - USB  KESTRANEUNIT";
inline constexpr const char* kProductName = "KESTRANEUNIT";

// "<pid> - USB  KESTRANEUNIT".
std::string DeviceEntryText(const std::string& pid);
// The current PID: the first four characters of the selector's text (fewer
// when it is shorter). Characters, not bytes: typed text may hold any
// character and a PID never ends inside one. The one rule for every user
// of the selector (polling, Connect, settings, Delete, Set Default).
std::string PidFromSelectorText(std::string_view selectorText);

// The board library's view of the attached boards, behind an interface so
// tests can fake it.
class BoardDirectory {
public:
    virtual ~BoardDirectory() = default;
    // The board list text "000A|000B|"; false when the devices cannot be
    // enumerated.
    virtual bool FindBoards(std::string& list) = 0;
    // The USB product string of the board with that product ID.
    virtual bool ProductString(uint32_t productId, std::string& text) = 0;
};

// The Add Device list: one entry per attached board whose product string is
// exactly "KESTRANEUNIT", in the library's order. Items that are not four
// hexadecimal digits are skipped; text after the last "|" is no item.
std::vector<std::string> AttachedKestraneEntries(BoardDirectory& boards);

struct DeviceList {
    Status status;                     // whether the list statement ran
    std::vector<std::string> entries;  // in table order
    int defaultIndex = -1;             // last row whose DEFAULT is "YES"
};

enum class AddMode { Normal, FirstRun };

struct AddOutcome {
    bool added = false;
    // The message to show over the dialog ("No Device Selected!", "Device
    // Already In Database!", or the failed statement's text); may be empty.
    std::string message;
};

class DeviceRegistry {
public:
    explicit DeviceRegistry(SettingsDatabase& database) : db_(database) {}

    // Reads every row. When it cannot, the status carries "Statement handle
    // allocation failed" or "Execution of SQL statement failed" (shown by
    // the caller, caption kClientCaption) and the list is empty.
    DeviceList List();

    // ADD of the Add Device dialog for the selected entry text (empty when
    // nothing is selected). Normal mode refuses a board already registered,
    // and adds nothing when that test cannot run. First-run mode adds the
    // board without the test and makes it the default.
    AddOutcome Add(std::string_view selectedEntry, AddMode mode);

    // Delete Device and Set Default for the board named by `pid`; the
    // outcome is returned but the user is not told.
    bool Remove(const std::string& pid);
    bool SetDefault(const std::string& pid);

private:
    SettingsDatabase& db_;
};

}  // namespace kestrane
