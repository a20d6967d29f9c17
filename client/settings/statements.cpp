#include "settings/statements.h"

#include "settings/table_layout.h"

namespace kestrane {
namespace {

constexpr int kOptionsFieldCount = 24;  // VMnENABLE .. VMnLOWNORMFILE
constexpr int kFilterFirstField = 24;   // VMnFILTERENABLE, VMnFILTERWEIGHT

bool ValidChannel(int channel) { return channel >= 1 && channel <= kChannelCount; }

std::string Quoted(char quote, const char* name) {
    return std::string(1, quote) + name + std::string(1, quote);
}

// "UPDATE Main SET VMnA = ?, VMnB = ? WHERE VID = ? AND PID = ?;" with the
// values in the same order.
SqlStatement Update(const std::vector<std::pair<std::string, std::string>>& assignments,
                    const std::string& vid, const std::string& pid) {
    SqlStatement s;
    s.text = "UPDATE Main SET ";
    for (std::size_t i = 0; i < assignments.size(); ++i) {
        if (i > 0) s.text += ", ";
        s.text += assignments[i].first + " = ?";
        s.values.push_back(assignments[i].second);
    }
    s.text += " WHERE VID = ? AND PID = ?;";
    s.values.push_back(vid);
    s.values.push_back(pid);
    return s;
}

std::string Prefix(int channel) { return "VM" + std::to_string(channel); }

}  // namespace

std::string RenderStatement(const SqlStatement& statement) {
    std::string out;
    std::size_t next = 0;
    for (char c : statement.text) {
        if (c != '?' || next >= statement.values.size()) {
            out += c;
            continue;
        }
        out += '\'';
        for (char v : statement.values[next]) {
            out += v;
            if (v == '\'') out += '\'';
        }
        out += '\'';
        ++next;
    }
    return out;
}

SqlStatement ListStatement() { return {"select * from Main;", {}}; }

SqlStatement LoadStatement(const std::string& vid, const std::string& pid) {
    return {"SELECT * FROM Main WHERE VID = ? AND PID = ?;", {vid, pid}};
}

SqlStatement InsertStatement(const std::string& vid, const std::string& pid) {
    return {"INSERT INTO Main (VID,PID) VALUES (?,?);", {vid, pid}};
}

SqlStatement DeleteStatement(const std::string& vid, const std::string& pid) {
    return {"DELETE FROM Main WHERE VID = ? AND PID = ?;", {vid, pid}};
}

SqlStatement ClearDefaultStatement(char quote) {
    return {"UPDATE Main SET " + Quoted(quote, "DEFAULT") + " = ?;", {"NO"}};
}

SqlStatement SetDefaultStatement(char quote, const std::string& vid, const std::string& pid) {
    return {"UPDATE Main SET " + Quoted(quote, "DEFAULT") + " = ? WHERE VID = ? AND PID = ?;",
            {"YES", vid, pid}};
}

std::optional<SqlStatement> OptionsStatement(int channel, const ChannelSettings& values,
                                             const std::string& vid, const std::string& pid) {
    if (!ValidChannel(channel)) return std::nullopt;
    std::vector<std::pair<std::string, std::string>> assignments;
    // Block columns sit at 6 + 26 (n - 1) + k; their names come from the layout.
    const int first = 6 + kChannelBlockColumns * (channel - 1);
    for (int k = 0; k < kOptionsFieldCount; ++k) {
        assignments.emplace_back(MainColumnAt(first + k).name, BlockField(values, k));
    }
    return Update(assignments, vid, pid);
}

std::optional<SqlStatement> FilterStatement(int channel, const ChannelSettings& values,
                                            const std::string& vid, const std::string& pid) {
    if (!ValidChannel(channel)) return std::nullopt;
    const int first = 6 + kChannelBlockColumns * (channel - 1);
    return Update({{MainColumnAt(first + kFilterFirstField).name, values.filterEnable},
                   {MainColumnAt(first + kFilterFirstField + 1).name, values.filterWeight}},
                  vid, pid);
}

std::optional<SqlStatement> LoggingStatement(int channel, const ChannelSettings& values,
                                             const std::string& vid, const std::string& pid) {
    if (!ValidChannel(channel)) return std::nullopt;
    const std::string p = Prefix(channel);
    return Update({{p + "LOGENABLED", values.logEnabled},
                   {p + "LOGSIZE", values.logSize},
                   {p + "LOGINTERVAL", values.logInterval},
                   {p + "LOGFILENAME", values.logFileName},
                   {p + "LOGPATH", values.logPath}},
                  vid, pid);
}

}  // namespace kestrane
