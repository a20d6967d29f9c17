#include "settings/device_registry.h"

#include <cstddef>
#include <limits>

#include "common/numtext.h"
#include "settings/text_cut.h"

namespace kestrane {
namespace {

constexpr std::size_t kPidLength = 4;
constexpr const char* kNoHandle = "Statement handle allocation failed";
constexpr const char* kExecFailed = "Execution of SQL statement failed";

bool IsBoardItem(std::string_view item) {
    if (item.size() != kPidLength) return false;
    for (char c : item) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!hex) return false;
    }
    return true;
}

}  // namespace

std::string DeviceEntryText(const std::string& pid) { return pid + kEntrySuffix; }

std::string PidFromSelectorText(std::string_view selectorText) {
    return FirstCharacters(selectorText, kPidLength);
}

std::vector<std::string> AttachedKestraneEntries(BoardDirectory& boards) {
    std::vector<std::string> entries;
    std::string list;
    if (!boards.FindBoards(list)) return entries;
    std::size_t start = 0;
    for (std::size_t bar = list.find('|'); bar != std::string::npos; bar = list.find('|', start)) {
        const std::string item = list.substr(start, bar - start);
        start = bar + 1;
        if (!IsBoardItem(item)) continue;
        const std::optional<uint32_t> id = HexToInt(item);
        if (!id) continue;
        std::string product;
        if (boards.ProductString(*id, product) && product == kProductName) {
            entries.push_back(DeviceEntryText(item));
        }
    }
    return entries;
}

DeviceList DeviceRegistry::List() {
    DeviceList out;
    const QueryResult r =
        db_.Query(ListStatement(), {2, 3, 5}, {kShortFieldMax, kShortFieldMax, kShortFieldMax},
                  std::numeric_limits<std::size_t>::max());
    if (r.status == ExecStatus::NoHandle) {
        out.status = Status::Failure(kNoHandle);
        return out;
    }
    if (r.status == ExecStatus::Failed) {
        out.status = Status::Failure(kExecFailed);
        return out;
    }
    for (const std::vector<std::string>& row : r.rows) {
        out.entries.push_back(DeviceEntryText(row[1]));
        // With several default rows the last one read wins.
        if (row[2] == "YES") out.defaultIndex = static_cast<int>(out.entries.size()) - 1;
    }
    return out;
}

AddOutcome DeviceRegistry::Add(std::string_view selectedEntry, AddMode mode) {
    AddOutcome out;
    if (selectedEntry.empty()) {
        out.message = "No Device Selected!";
        return out;
    }
    const std::string pid = PidFromSelectorText(selectedEntry);

    if (mode == AddMode::Normal) {
        // The duplicate test must run: without it nothing is added, so a
        // board is never registered twice nor made a second default.
        const SqlStatement load = LoadStatement(kBoardVid, pid);
        const QueryResult r = db_.Query(load, {2, 3}, {kShortFieldMax, kShortFieldMax}, 1);
        if (r.status == ExecStatus::NoHandle) {
            out.message = kNoHandle;
            return out;
        }
        if (r.status == ExecStatus::Failed) {
            out.message = RenderStatement(load);
            return out;
        }
        if (!r.rows.empty()) {
            out.message = "Device Already In Database!";
            return out;
        }
    }

    const SqlStatement insert = InsertStatement(kBoardVid, pid);
    switch (db_.Execute(insert)) {
        case ExecStatus::NoHandle:
            out.message = kNoHandle;
            return out;
        case ExecStatus::Failed:
            out.message = RenderStatement(insert);
            return out;
        case ExecStatus::Ok:
            break;
    }
    if (mode == AddMode::FirstRun) {
        db_.Execute(SetDefaultStatement(db_.IdentifierQuote(), kBoardVid, pid));
    }
    out.added = true;
    return out;
}

bool DeviceRegistry::Remove(const std::string& pid) {
    return db_.Execute(DeleteStatement(kBoardVid, pid)) == ExecStatus::Ok;
}

bool DeviceRegistry::SetDefault(const std::string& pid) {
    // Only a registered board can become the default; otherwise clearing
    // first would leave no default board at all.
    const QueryResult r = db_.Query(LoadStatement(kBoardVid, pid), {3}, {kShortFieldMax}, 1);
    if (r.status != ExecStatus::Ok || r.rows.empty()) return false;
    const char quote = db_.IdentifierQuote();
    if (db_.Execute(ClearDefaultStatement(quote)) != ExecStatus::Ok) return false;
    return db_.Execute(SetDefaultStatement(quote, kBoardVid, pid)) == ExecStatus::Ok;
}

}  // namespace kestrane
