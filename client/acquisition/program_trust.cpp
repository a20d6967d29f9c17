#include "acquisition/program_trust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace kestrane {
namespace {

constexpr uint32_t kGroupOrOthersWrite = S_IWGRP | S_IWOTH;

// "/a/b/c" -> "/a/b", "/a", "/"; a relative path gives nothing more.
std::vector<std::string> Folders(const std::string& path) {
    std::vector<std::string> out;
    std::string rest = path;
    while (true) {
        while (rest.size() > 1 && rest.back() == '/') rest.pop_back();
        const std::size_t slash = rest.rfind('/');
        if (slash == std::string::npos) break;
        rest = slash == 0 ? "/" : rest.substr(0, slash);
        out.push_back(rest);
        if (rest == "/") break;
    }
    return out;
}

PathOwnership Stat(const std::string& path) {
    PathOwnership p;
    p.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        p.found = true;
        p.uid = st.st_uid;
        p.mode = st.st_mode;
    }
    return p;
}

}  // namespace

ProgramVerdict JudgeProgramPath(const std::vector<PathOwnership>& chain, uint32_t user) {
    if (chain.empty()) return {ProgramTrust::Unknown, std::string(), 0};
    for (const PathOwnership& p : chain) {
        if (!p.found) return {ProgramTrust::Unknown, p.path, 0};
        if (p.uid != 0 && p.uid != user) return {ProgramTrust::ForeignOwner, p.path, p.uid};
        const bool sticky = S_ISDIR(p.mode) && (p.mode & S_ISVTX) != 0;
        if ((p.mode & kGroupOrOthersWrite) != 0 && !sticky)
            return {ProgramTrust::OthersMayWrite, p.path, p.uid};
    }
    return {};
}

std::string RefusalReason(const ProgramVerdict& v) {
    const std::string shared = "the settings database is shared and ";
    switch (v.trust) {
        case ProgramTrust::Trusted:
            return std::string();
        case ProgramTrust::Unknown:
            return shared +
                   (v.path.empty() ? std::string("the program has no path") : v.path + " cannot be examined");
        case ProgramTrust::ForeignOwner:
            return shared + v.path + " belongs to user " + std::to_string(v.uid) + ", neither you nor root";
        case ProgramTrust::OthersMayWrite:
            return shared + v.path + " is writable by group or others";
    }
    return std::string();
}

std::vector<PathOwnership> ExamineProgramPath(const std::string& program) {
    std::vector<PathOwnership> chain{Stat(program)};
    for (const std::string& folder : Folders(program)) chain.push_back(Stat(folder));
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(program.c_str(), nullptr), &std::free);
    if (real && program != real.get()) {
        chain.push_back(Stat(real.get()));
        for (const std::string& folder : Folders(real.get())) chain.push_back(Stat(folder));
    }
    return chain;
}

AlarmProgramGuard::AlarmProgramGuard(bool sharedSettings, Reporter report)
    : shared_(sharedSettings), report_(std::move(report)) {}

bool AlarmProgramGuard::Allows(const std::string& program) {
    if (!shared_) return true;
    const ProgramVerdict verdict = JudgeProgramPath(ExamineProgramPath(program), ::geteuid());
    if (verdict.trust == ProgramTrust::Trusted) return true;
    if (told_.insert(program).second && report_)
        report_("alarm program " + program + " not started: " + RefusalReason(verdict));
    return false;
}

}  // namespace kestrane
