// Whether an alarm program may run when the settings that name it come
// from a database others can write: the file and the folders above it
// must belong to root or to the user and be writable by nobody else, the
// check ssh makes of its own files. Qt-free; the judgement is a pure
// function of stat results, the guard adds the file system and says each
// refusal once.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kestrane {

// One path's stat result.
struct PathOwnership {
    std::string path;
    bool found = false;  // stat succeeded
    uint32_t uid = 0;
    uint32_t mode = 0;  // st_mode: type and permission bits
};

enum class ProgramTrust {
    Trusted,
    Unknown,         // a path could not be examined
    ForeignOwner,    // owned by someone other than root and the user
    OthersMayWrite,  // the file, or a folder without the sticky bit, is group or world writable
};

struct ProgramVerdict {
    ProgramTrust trust = ProgramTrust::Trusted;
    std::string path;  // the path that decided a refusal
    uint32_t uid = 0;  // its owner, for ForeignOwner
};

// `chain` holds the program and the folders whose entries lead to it. A
// folder with the sticky bit (as /tmp) may be writable by all: others can
// neither remove nor rename what they do not own in it. Every other path
// must be writable by its owner only. An empty chain is not trusted.
ProgramVerdict JudgeProgramPath(const std::vector<PathOwnership>& chain, uint32_t user);

// "the settings database is shared and /srv/x is writable by group or
// others" and the like: why the program does not start.
std::string RefusalReason(const ProgramVerdict& verdict);

// The stat results of `program` (an absolute path) and every folder above
// it up to "/", both along the path as given and along the path with its
// links resolved, so neither a link nor its target can be swapped.
std::vector<PathOwnership> ExamineProgramPath(const std::string& program);

// Settings from the user's own database: every program runs as before.
// From a shared one: programs are judged, and a refusal is told through
// `report` once per program for the life of the guard.
class AlarmProgramGuard {
public:
    using Reporter = std::function<void(const std::string& message)>;
    AlarmProgramGuard(bool sharedSettings, Reporter report);

    // True when `program` (absolute path) may be started.
    bool Allows(const std::string& program);

private:
    bool shared_;
    Reporter report_;
    std::set<std::string> told_;
};

}  // namespace kestrane
