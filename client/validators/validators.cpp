#include "validators/validators.h"

#include "common/numtext.h"
#include "settings/text_cut.h"

namespace kestrane {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Plain line feeds in notes stored by hand or by another tool are kept as
// they are; only notes with no line feed without a CR before it use CR LF.
bool StoredWithBareLineFeeds(std::string_view stored) {
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\n' && (i == 0 || stored[i - 1] != '\r')) return true;
    }
    return false;
}

}  // namespace

bool BandLimitsValid(std::string_view maxText, std::string_view minText) {
    // A limit that is no number cannot be compared; refusing it keeps an
    // enabled band from being saved with limits the alarms cannot read.
    const auto max = TextToReal(maxText);
    const auto min = TextToReal(minText);
    return max && min && *max > *min;
}

bool FilterWeightAcceptable(std::string_view text) {
    if (text.empty()) return false;
    const auto value = TextToReal(text);
    return value && *value != 1.0L;
}

std::string LogFolderFromChosen(std::string_view folder, std::string_view pid) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    path.append(pid);
    path += '/';
    return path;
}

int FindEntryStartingWith(const std::vector<std::string>& entries, std::string_view prefix) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        if (e.size() < prefix.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < prefix.size() && same; ++k) same = Lower(e[k]) == Lower(prefix[k]);
        if (same) return static_cast<int>(i);
    }
    return -1;
}

std::string NotesForEdit(std::string_view stored) {
    std::string text;
    text.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n') continue;
        text += stored[i];
    }
    return text;
}

std::string NotesForStore(std::string_view edited, std::string_view shown, std::string_view stored,
                          std::size_t maxBytes) {
    if (edited == shown) return std::string(stored);
    std::string text;
    if (StoredWithBareLineFeeds(stored)) {
        text.assign(edited);
    } else {
        text.reserve(edited.size() + edited.size() / 8);
        for (std::size_t i = 0; i < edited.size(); ++i) {
            if (edited[i] == '\n' && (i == 0 || edited[i - 1] != '\r')) text += '\r';
            text += edited[i];
        }
    }
    std::string cut = CutUtf8(text, maxBytes);
    // A cut between CR and LF would leave a lone CR the edit box shows as
    // a line break of its own.
    if (cut.size() < text.size() && !cut.empty() && cut.back() == '\r' && text[cut.size()] == '\n')
        cut.pop_back();
    return cut;
}

}  // namespace kestrane
