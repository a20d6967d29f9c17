// Every SQL statement the client issues against table Main. Values always
// travel as bound parameters ("?"), never inside the text, so apostrophes in
// names and paths are stored unchanged; the reserved column name DEFAULT is
// quoted with the driver's identifier quote.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/board_settings.h"

namespace kestrane {

inline constexpr const char* kBoardVid = "0000";  // boards are vendor 0

struct SqlStatement {
    std::string text;                 // with one "?" per value
    std::vector<std::string> values;  // bound in order, as character data
};

// The statement with its values written in as SQL literals (apostrophes
// doubled), for showing a failed statement to the user.
std::string RenderStatement(const SqlStatement& statement);

SqlStatement ListStatement();
SqlStatement LoadStatement(const std::string& vid, const std::string& pid);
SqlStatement InsertStatement(const std::string& vid, const std::string& pid);
SqlStatement DeleteStatement(const std::string& vid, const std::string& pid);
// `quote` is the driver's identifier quote character, e.g. '"'.
SqlStatement ClearDefaultStatement(char quote);
SqlStatement SetDefaultStatement(char quote, const std::string& vid, const std::string& pid);

// The three save statements of a channel (1 to 6); std::nullopt for any
// other channel number. Options: the 24 block fields from VMnENABLE to
// VMnLOWNORMFILE; filter: VMnFILTERENABLE, VMnFILTERWEIGHT; logging: the five
// logging fields.
std::optional<SqlStatement> OptionsStatement(int channel, const ChannelSettings& values,
                                             const std::string& vid, const std::string& pid);
std::optional<SqlStatement> FilterStatement(int channel, const ChannelSettings& values,
                                            const std::string& vid, const std::string& pid);
std::optional<SqlStatement> LoggingStatement(int channel, const ChannelSettings& values,
                                             const std::string& vid, const std::string& pid);

}  // namespace kestrane
