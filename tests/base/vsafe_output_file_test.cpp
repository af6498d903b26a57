#include "base/vsafe_output_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using oxa_test::ReadFile;
using oxa_test::WriteFile;

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool WriteWhole(VSafeOutputFile& file, const std::string& path, const std::string& text) {
    return file.Open(path.c_str()) && file.WriteText(text.c_str()) && file.Commit();
}

}  // namespace

TEST(safe_output, TemporariesAreFreshFilesBesideTheTarget) {
    oxa_test::ScratchDir dir("safe_", "fresh");
    fs::create_directories(dir / "elsewhere");
    WriteFile(dir / "elsewhere/victim", "victim");
    // What a suffix-named temporary would have met: a user's file and a link leading out.
    WriteFile(dir / "a.bin.tmp", "mine");
    fs::create_symlink("elsewhere/victim", dir / "b.bin.tmp");
    VSafeOutputFile a, b;
    ASSERT_TRUE(a.Open((dir / "a.bin").c_str()));
    ASSERT_TRUE(b.Open((dir / "b.bin").c_str()));
    // Two files, two temporaries, both regular files of the target's folder.
    EXPECT_NE(a.TemporaryPath(), b.TemporaryPath());
    for (const VSafeOutputFile* file : {&a, &b}) {
        EXPECT_EQ(fs::path(file->TemporaryPath()).parent_path(), fs::path(dir / "a.bin").parent_path());
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file->TemporaryPath())));
    }
    EXPECT_TRUE(a.WriteText("new a"));
    EXPECT_TRUE(b.WriteText("new b"));
    EXPECT_TRUE(a.Commit());
    EXPECT_TRUE(b.Commit());
    EXPECT_EQ(ReadFile(dir / "a.bin"), "new a");
    EXPECT_EQ(ReadFile(dir / "b.bin"), "new b");
    EXPECT_EQ(ReadFile(dir / "a.bin.tmp"), "mine");
    EXPECT_EQ(ReadFile(dir / "elsewhere/victim"), "victim");
    EXPECT_EQ(Names(dir.path.string()),
              (std::set<std::string>{"a.bin", "a.bin.tmp", "b.bin", "b.bin.tmp", "elsewhere"}));

    // A target that is a link becomes the new file; the linked file stays.
    fs::create_symlink("elsewhere/victim", dir / "c.bin");
    VSafeOutputFile c;
    ASSERT_TRUE(WriteWhole(c, dir / "c.bin", "new c"));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir / "c.bin")));
    EXPECT_EQ(ReadFile(dir / "elsewhere/victim"), "victim");
    // The longest name a folder takes; a bare name is written in the working folder.
    const std::string longest = dir / std::string(255, 'x');
    EXPECT_TRUE(WriteWhole(c, longest, "long"));
    EXPECT_EQ(ReadFile(longest), "long");
    // A folder that is not there: nothing to create, and the system's reason is kept.
    EXPECT_FALSE(c.Open((dir / "missing/d.bin").c_str()));
    EXPECT_FALSE(c.IsOpen());
    std::string temporary = "stale";
    errno = 0;
    EXPECT_EQ(VCreateTemporaryFor(dir / "missing/d.bin", temporary), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(temporary.empty());
    EXPECT_FALSE(c.Open(nullptr));
    EXPECT_FALSE(c.Open(""));
}

TEST(safe_output, AGroupPutsItsFilesInPlaceTogetherOrNotAtAll) {
    oxa_test::ScratchDir dir("safe_", "group");
    const std::string a = dir / "a", b = dir / "b";
    WriteFile(a, "old a");
    VSafeOutputFile file, stopped;
    std::string name;
    {
        VSafeOutputGroup run;
        EXPECT_EQ(VSafeOutputGroup::Current(), &run);
        // A file whose writer never finished (its object outlives the group).
        ASSERT_TRUE(stopped.Open((dir / "c").c_str()));
        ASSERT_TRUE(WriteWhole(file, a, "new a"));
        ASSERT_TRUE(WriteWhole(file, b, "new b"));
        // Written but not yet in place.
        EXPECT_EQ(ReadFile(a), "old a");
        EXPECT_FALSE(fs::exists(b));
        EXPECT_EQ(run.Targets(), (std::vector<std::string>{a, b}));
        // A file its writer gave up goes at once; the group does not remove its name again
        // (another file may have it by then).
        VSafeOutputFile given;
        ASSERT_TRUE(given.Open((dir / "d").c_str()));
        name = given.TemporaryPath();
        given.Abandon();
        WriteFile(name, "another's");
        // Never committed: the temporaries go, also the open one; the targets stay.
    }
    EXPECT_EQ(ReadFile(name), "another's");
    fs::remove(name);
    EXPECT_TRUE(stopped.IsOpen());
    EXPECT_EQ(VSafeOutputGroup::Current(), nullptr);
    EXPECT_EQ(Names(dir.path.string()), (std::set<std::string>{"a"}));
    EXPECT_EQ(ReadFile(a), "old a");

    {
        VSafeOutputGroup run;
        {
            // A nested group hands its files to the one around it.
            VSafeOutputGroup inner;
            ASSERT_TRUE(WriteWhole(file, a, "new a"));
            EXPECT_TRUE(inner.Commit());
            EXPECT_EQ(ReadFile(a), "old a");
        }
        EXPECT_EQ(VSafeOutputGroup::Current(), &run);
        ASSERT_TRUE(WriteWhole(file, b, "new b"));
        EXPECT_TRUE(run.Commit());
        EXPECT_TRUE(run.Targets().empty());
    }
    EXPECT_EQ(ReadFile(a), "new a");
    EXPECT_EQ(ReadFile(b), "new b");
    EXPECT_EQ(Names(dir.path.string()), (std::set<std::string>{"a", "b"}));
    // Without a group each file is in place at its Commit.
    ASSERT_TRUE(WriteWhole(file, a, "alone"));
    EXPECT_EQ(ReadFile(a), "alone");
}

TEST(safe_output, AGroupThatCannotReplaceATargetChangesNothing) {
    oxa_test::ScratchDir dir("safe_", "fail");
    const std::string a = dir / "a", b = dir / "b", c = dir / "c", folder = dir / "folder";
    WriteFile(a, "old a");
    fs::create_directories(folder);
    VSafeOutputFile file;
    {
        // A folder at a target is found before anything changes.
        VSafeOutputGroup run;
        ASSERT_TRUE(WriteWhole(file, a, "new a"));
        ASSERT_TRUE(WriteWhole(file, folder, "new folder"));
        EXPECT_FALSE(run.Commit());
        EXPECT_EQ(run.FailedPath(), folder);
        EXPECT_EQ(run.FailedErrno(), EISDIR);
    }
    EXPECT_EQ(ReadFile(a), "old a");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(Names(dir.path.string()), (std::set<std::string>{"a", "folder"}));
    {
        // A rename that fails halfway: the targets replaced before it get their old files back,
        // a target that was new goes again, and the files after it are not put in place.
        VSafeOutputGroup run;
        ASSERT_TRUE(WriteWhole(file, b, "new b"));
        ASSERT_TRUE(WriteWhole(file, a, "new a"));
        ASSERT_TRUE(file.Open(c.c_str()));
        const std::string lost = file.TemporaryPath();
        ASSERT_TRUE(file.Commit());
        ASSERT_EQ(unlink(lost.c_str()), 0);
        ASSERT_TRUE(WriteWhole(file, dir / "d", "new d"));
        EXPECT_FALSE(run.Commit());
        EXPECT_EQ(run.FailedPath(), c);
        EXPECT_EQ(run.FailedErrno(), ENOENT);
    }
    EXPECT_EQ(ReadFile(a), "old a");
    EXPECT_EQ(Names(dir.path.string()), (std::set<std::string>{"a", "folder"}));
}

TEST(safe_output, AFailedFileIsNeverPutInPlace) {
    oxa_test::ScratchDir dir("safe_", "failed");
    const std::string a = dir / "a";
    WriteFile(a, "old a");
    VSafeOutputGroup run;
    VSafeOutputFile file;
    ASSERT_TRUE(file.Open(a.c_str()));
    file.WriteText("half");
    file.MarkFailed();
    EXPECT_FALSE(file.Commit());
    EXPECT_TRUE(run.Targets().empty());
    EXPECT_TRUE(run.Commit());
    EXPECT_EQ(ReadFile(a), "old a");
    EXPECT_EQ(Names(dir.path.string()), (std::set<std::string>{"a"}));
}

TEST(safe_output, AReplacedFileKeepsItsPermissions) {
    oxa_test::ScratchDir dir("safe_", "modes");
    auto modeOf = [](const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 ? (int)(info.st_mode & 07777) : -1;
    };
    WriteFile(dir / "private", "old");
    WriteFile(dir / "shared", "old");
    chmod((dir / "private").c_str(), 0600);
    chmod((dir / "shared").c_str(), 0754);
    VSafeOutputFile file;
    ASSERT_TRUE(WriteWhole(file, dir / "private", "new"));
    EXPECT_EQ(modeOf(dir / "private"), 0600);
    {
        VSafeOutputGroup run;
        ASSERT_TRUE(WriteWhole(file, dir / "shared", "new"));
        ASSERT_TRUE(WriteWhole(file, dir / "fresh", "new"));
        ASSERT_TRUE(run.Commit());
    }
    EXPECT_EQ(ReadFile(dir / "shared"), "new");
    EXPECT_EQ(modeOf(dir / "shared"), 0754);
    // A new file: the usual mode less the umask.
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(modeOf(dir / "fresh"), (int)(0666 & ~mask));
    // Run as root over another user's file, the file stays that user's.
    if (geteuid() == 0) {
        WriteFile(dir / "theirs", "old");
        ASSERT_EQ(chown((dir / "theirs").c_str(), 65534, 65534), 0);
        ASSERT_TRUE(WriteWhole(file, dir / "theirs", "new"));
        struct stat info {};
        ASSERT_EQ(stat((dir / "theirs").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }
}

TEST(safe_output, TheRegisterOfTemporariesListsWhatIsStillThere) {
    oxa_test::ScratchDir dir("safe_", "register");
    WriteFile(dir / "kept", "old");
    VSafeOutputFile written, open;
    {
        VSafeOutputGroup run;
        ASSERT_TRUE(WriteWhole(written, dir / "kept", "new"));  // handed to the group
        ASSERT_TRUE(open.Open((dir / "other").c_str()));        // still being written
        ASSERT_TRUE(open.WriteText("half"));
        std::string own;
        std::FILE* raw = VCreateTemporaryFor(dir / "raw", own);
        ASSERT_NE(raw, nullptr);
        std::fclose(raw);
        EXPECT_EQ(Names(dir.path.string()).size(), 4u);
        // What a signal handler does: every temporary goes, every target stays.
        VRemoveTemporaries();
        EXPECT_EQ(Names(dir.path.string()), (std::set<std::string>{"kept"}));
        EXPECT_EQ(ReadFile(dir / "kept"), "old");
        open.Abandon();
    }
    // Files renamed into place or removed are off the register: removing what is left touches
    // neither them nor a file that later took such a name.
    VSafeOutputFile later;
    ASSERT_TRUE(WriteWhole(later, dir / "later", "done"));
    ASSERT_TRUE(later.Open((dir / "gone").c_str()));
    const std::string gone = later.TemporaryPath();
    later.Abandon();
    WriteFile(gone, "a user's file");
    VRemoveTemporaries();
    EXPECT_EQ(ReadFile(dir / "later"), "done");
    EXPECT_EQ(ReadFile(gone), "a user's file");
}

TEST(safe_output, AFailedWriteKeepsTheSystemsReason) {
    oxa_test::ScratchDir dir("safe_", "reason");
    // Past the file-size limit a write fails with EFBIG (the signal that would end the process
    // is ignored meanwhile).
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string big(64 * 1024, 'x');
    {
        VSafeOutputGroup run;
        VSafeOutputFile file;
        ASSERT_TRUE(file.Open((dir / "big").c_str()));
        EXPECT_FALSE(file.Write(big.data(), big.size()));
        EXPECT_EQ(file.FailedErrno(), EFBIG);
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(run.WriteFailedPath(), dir / "big");
        EXPECT_EQ(run.WriteFailedErrno(), EFBIG);
        // The first reason of the run stays.
        VSafeOutputFile second;
        ASSERT_TRUE(second.Open((dir / "second").c_str()));
        EXPECT_FALSE(second.Write(big.data(), big.size()));
        second.Abandon();
        EXPECT_EQ(run.WriteFailedPath(), dir / "big");
    }
    {
        // A stream that failed under formatted writes says why at Commit.
        VSafeOutputGroup run;
        VSafeOutputFile printed;
        ASSERT_TRUE(printed.Open((dir / "printed").c_str(), false));
        for (int k = 0; k < 1000; ++k)
            std::fprintf(printed.Stream(), "%s\n", "a line of text that goes past the limit");
        errno = 0;
        EXPECT_FALSE(printed.Commit());
        EXPECT_EQ(run.WriteFailedPath(), dir / "printed");
        EXPECT_EQ(run.WriteFailedErrno(), EFBIG);
        // A failure whose reason the system does not tell has none.
        VSafeOutputFile healthy;
        ASSERT_TRUE(healthy.Open((dir / "healthy").c_str()));
        ASSERT_TRUE(healthy.WriteText("short"));
        errno = ENOENT;
        healthy.MarkFailed();
        EXPECT_EQ(healthy.FailedErrno(), 0);
        EXPECT_FALSE(healthy.Commit());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(Names(dir.path.string()), std::set<std::string>{});
    // A nested group hands its reason to the one around it, committed or not; a file that cannot
    // be created gives its reason too.
    VSafeOutputGroup outer;
    {
        VSafeOutputGroup inner;
        VSafeOutputFile file;
        EXPECT_FALSE(file.Open((dir / "no/such/folder/x").c_str()));
    }
    EXPECT_EQ(outer.WriteFailedPath(), dir / "no/such/folder/x");
    EXPECT_EQ(outer.WriteFailedErrno(), ENOENT);
}
