// The checks and conversions the channel dialogs apply to what the user
// typed before anything is saved: alarm band limits, the filter weight,
// log folders and list look-ups, and the line breaks of the notes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// An alarm band may be saved enabled only when both limits are numbers and
// MAX is greater than MIN (equal is refused).
bool BandLimitsValid(std::string_view maxText, std::string_view minText);

// A weight is stored when it is a number other than 1 (a weight of 1
// would make the filter a no-op, so it is refused in every spelling).
bool FilterWeightAcceptable(std::string_view text);

// The log folder for a folder the user chose: the folder, a separator,
// the PID and a separator. A folder already ending with a separator (the
// root) gets no second one.
std::string LogFolderFromChosen(std::string_view folder, std::string_view pid);

// Index of the first entry that begins with `prefix`, letter case ignored;
// -1 when none does.
int FindEntryStartingWith(const std::vector<std::string>& entries, std::string_view prefix);

// Stored notes as the edit box shows them: CR LF line ends become plain
// line feeds.
std::string NotesForEdit(std::string_view stored);

// The notes to store for what the edit box holds. Notes the user left as
// they were shown are the stored bytes themselves, so saving other fields
// never rewrites them; edited notes get the line ends the stored notes
// used (CR LF when they had none, the ends the client writes), and are cut
// to `maxBytes` on a character boundary without leaving half a CR LF.
std::string NotesForStore(std::string_view edited, std::string_view shown, std::string_view stored,
                          std::size_t maxBytes);

}  // namespace kestrane
