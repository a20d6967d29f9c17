// Alarm programs named by a shared settings database: which paths are
// trusted (owner and write bits of the file and the folders above it),
// the stat results taken from a real folder, and one report per program.
#include "acquisition/program_trust.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "temp_dir.h"

namespace kestrane {
namespace {

constexpr uint32_t kUser = 1000;
constexpr uint32_t kFile = S_IFREG;
constexpr uint32_t kDir = S_IFDIR;

PathOwnership P(const std::string& path, uint32_t uid, uint32_t mode) { return {path, true, uid, mode}; }

TEST(ProgramTrustTest, JudgesOwnersAndWriteBits) {
    const PathOwnership root = P("/", 0, kDir | 0755);
    const PathOwnership home = P("/home/u", kUser, kDir | 0755);
    struct Case {
        const char* what;
        std::vector<PathOwnership> chain;
        ProgramTrust trust;
        std::string path;
    };
    const Case cases[] = {
        {"own program in own folder",
         {P("/home/u/a.sh", kUser, kFile | 0755), home, root},
         ProgramTrust::Trusted,
         ""},
        {"root's program",
         {P("/usr/bin/x", 0, kFile | 0755), P("/usr/bin", 0, kDir | 0755), root},
         ProgramTrust::Trusted,
         ""},
        {"owner may write, others only read",
         {P("/home/u/a.sh", kUser, kFile | 0744), home, root},
         ProgramTrust::Trusted,
         ""},
        {"program of another user",
         {P("/home/v/a.sh", 1001, kFile | 0755), P("/home/v", 1001, kDir | 0755), root},
         ProgramTrust::ForeignOwner,
         "/home/v/a.sh"},
        {"own program in another user's folder",
         {P("/home/v/a.sh", kUser, kFile | 0755), P("/home/v", 1001, kDir | 0755), root},
         ProgramTrust::ForeignOwner,
         "/home/v"},
        {"group may write the program",
         {P("/home/u/a.sh", kUser, kFile | 0775), home, root},
         ProgramTrust::OthersMayWrite,
         "/home/u/a.sh"},
        {"others may write the program",
         {P("/home/u/a.sh", kUser, kFile | 0757), home, root},
         ProgramTrust::OthersMayWrite,
         "/home/u/a.sh"},
        {"group may write a folder",
         {P("/srv/lab/a.sh", kUser, kFile | 0755), P("/srv/lab", 0, kDir | 0775), root},
         ProgramTrust::OthersMayWrite,
         "/srv/lab"},
        {"world-writable sticky folder, as /tmp",
         {P("/tmp/a.sh", kUser, kFile | 0755), P("/tmp", 0, kDir | 01777), root},
         ProgramTrust::Trusted,
         ""},
        {"sticky bit does not excuse a writable file",
         {P("/tmp/a.sh", kUser, kFile | 01777), P("/tmp", 0, kDir | 01777), root},
         ProgramTrust::OthersMayWrite,
         "/tmp/a.sh"},
        {"writable root folder",
         {P("/a.sh", 0, kFile | 0755), P("/", 0, kDir | 0777)},
         ProgramTrust::OthersMayWrite,
         "/"},
        {"a path that cannot be examined",
         {P("/home/u/a.sh", kUser, kFile | 0755), {"/home/u", false, 0, 0}, root},
         ProgramTrust::Unknown,
         "/home/u"},
        {"nothing to judge", {}, ProgramTrust::Unknown, ""},
    };
    for (const Case& c : cases) {
        const ProgramVerdict v = JudgeProgramPath(c.chain, kUser);
        EXPECT_EQ(v.trust, c.trust) << c.what;
        EXPECT_EQ(v.path, c.path) << c.what;
    }
    EXPECT_EQ(RefusalReason(JudgeProgramPath({P("/home/v/a.sh", 1001, kFile | 0755)}, kUser)),
              "the settings database is shared and /home/v/a.sh belongs to user 1001, neither you nor root");
    EXPECT_EQ(RefusalReason(JudgeProgramPath({P("/srv/a.sh", 0, kFile | 0775)}, kUser)),
              "the settings database is shared and /srv/a.sh is writable by group or others");
    EXPECT_EQ(RefusalReason({}), "");
}

class ProgramGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        // The folders above the test's own must pass, or nothing here can.
        const std::vector<PathOwnership> above = ExamineProgramPath(dir_.path().string());
        if (JudgeProgramPath(above, ::geteuid()).trust != ProgramTrust::Trusted)
            GTEST_SKIP() << "the temporary folder's own path is not trusted: " << dir_.path();
        program_ = dir_.Write("alarm.sh", "#!/bin/sh\n");
        ASSERT_EQ(::chmod(program_.c_str(), 0755), 0);
    }
    bool Allows(AlarmProgramGuard& guard) { return guard.Allows(program_); }

    test::TempDir dir_{"kestrane-trust"};
    std::string program_;
    std::vector<std::string> said_;
    AlarmProgramGuard::Reporter record_ = [this](const std::string& m) { said_.push_back(m); };
};

TEST_F(ProgramGuardTest, SharedSettingsRefuseWritablePathsOncePerProgram) {
    AlarmProgramGuard guard(true, record_);
    EXPECT_TRUE(Allows(guard));

    ASSERT_EQ(::chmod(program_.c_str(), 0775), 0);
    EXPECT_FALSE(Allows(guard));
    EXPECT_FALSE(Allows(guard));
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_EQ(said_[0], "alarm program " + program_ + " not started: the settings database is shared and " +
                            program_ + " is writable by group or others");

    // Mended: it runs again; a folder that others may write refuses it anew.
    ASSERT_EQ(::chmod(program_.c_str(), 0755), 0);
    EXPECT_TRUE(Allows(guard));
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0777), 0);
    EXPECT_FALSE(Allows(guard));
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0700), 0);

    // A link from a trusted place to a program others may write.
    const std::string other = dir_.Write("other.sh", "#!/bin/sh\n");
    ASSERT_EQ(::chmod(other.c_str(), 0777), 0);
    const std::string link = dir_.File("link.sh");
    std::filesystem::create_symlink(other, link);
    EXPECT_FALSE(guard.Allows(link));
    EXPECT_FALSE(guard.Allows(dir_.File("missing.sh")));
    EXPECT_EQ(said_.size(), 3u);
}

TEST_F(ProgramGuardTest, ForeignOwnerIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    ASSERT_EQ(::chown(program_.c_str(), 4242, 4242), 0);
    AlarmProgramGuard guard(true, record_);
    EXPECT_FALSE(Allows(guard));
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_NE(said_[0].find("belongs to user 4242"), std::string::npos) << said_[0];
}

TEST_F(ProgramGuardTest, OwnSettingsChangeNothing) {
    ASSERT_EQ(::chmod(program_.c_str(), 0777), 0);
    AlarmProgramGuard guard(false, record_);
    EXPECT_TRUE(Allows(guard));
    EXPECT_TRUE(said_.empty());
}

}  // namespace
}  // namespace kestrane
