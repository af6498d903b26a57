#include "tools/oxa_run_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "base/vsafe_output_file.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;
using oxa_test::WriteFile;

// The allocations of this program can be refused from the n-th on, as when memory runs out.
namespace {
long long gAllowed = -1;  // below 0: none is refused
}  // namespace

void* operator new(std::size_t size) {
    void* made = gAllowed == 0 ? nullptr : std::malloc(size ? size : 1);
    if (!made) throw std::bad_alloc();
    if (gAllowed > 0) --gAllowed;
    return made;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return gAllowed == 0 ? nullptr : std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept {
    return operator new(size, nothrow);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

std::vector<std::string> Paths(const std::vector<oxa_run::RunFile>& files) {
    std::vector<std::string> paths;
    for (const oxa_run::RunFile& file : files)
        paths.push_back(file.path);
    return paths;
}

}  // namespace

TEST(run_plan, TheFilesOfARun) {
    oxa_test::ScratchDir dir("run_plan", "files");
    using List = std::vector<std::string>;
    EXPECT_EQ(Paths(oxa_run::OutputsOf(dir / "o.obj")), (List{dir / "o.obj", dir / "o.mtl"}));
    EXPECT_EQ(Paths(oxa_run::OutputsOf(dir / "o.AMC")), (List{dir / "o.AMC", dir / "o.asf"}));
    EXPECT_EQ(Paths(oxa_run::OutputsOf(dir / "o.dxf")), List{dir / "o.dxf"});
    // An OBJ's libraries as its reader finds them, after a byte-order mark too.
    WriteFile(dir / "lib.mtl", "newmtl m\n");
    WriteFile(dir / "in.obj", "\xEF\xBB\xBFmtllib lib.mtl\n");
    EXPECT_EQ(Paths(oxa_run::InputsOf(dir / "in.obj", "")), (List{dir / "in.obj", dir / "lib.mtl"}));
    // An AMC's skeleton: the one named, else the regular file beside it, else what is there.
    EXPECT_EQ(oxa_run::SkeletonFor(dir / "w.amc", "given.asf"), "given.asf");
    EXPECT_EQ(oxa_run::SkeletonFor(dir / "w.amc", ""), "");
    ASSERT_EQ(mkfifo((dir / "w.asf").c_str(), 0600), 0);
    EXPECT_EQ(oxa_run::SkeletonFor(dir / "w.amc", ""), dir / "w.asf");
    WriteFile(dir / "w.ASF", "");
    EXPECT_EQ(oxa_run::SkeletonFor(dir / "w.amc", ""), dir / "w.ASF");
    EXPECT_EQ(Paths(oxa_run::InputsOf(dir / "w.amc", "")), (List{dir / "w.amc", dir / "w.ASF"}));
}

TEST(run_plan, ChecksSayWhatIsWrong) {
    oxa_test::ScratchDir dir("run_plan", "checks");
    WriteFile(dir / "in.bvh", "x");
    ASSERT_EQ(mkfifo((dir / "pipe.bvh").c_str(), 0600), 0);
    fs::create_directories(dir / "folder.bvh");
    EXPECT_EQ(oxa_run::CheckInputFile(dir / "in.bvh"), "");
    EXPECT_EQ(oxa_run::CheckInputFile(dir / "none.bvh"), dir / "none.bvh" + " does not exist");
    EXPECT_EQ(oxa_run::CheckInputFile(dir / "pipe.bvh"),
              dir / "pipe.bvh" + " is a device, pipe or socket, not a file that can be read");
    EXPECT_EQ(oxa_run::CheckInputFile(dir / "folder.bvh"),
              dir / "folder.bvh" + " is a folder, not a file that can be read");
    if (geteuid() != 0) {
        chmod((dir / "in.bvh").c_str(), 0);
        EXPECT_EQ(oxa_run::CheckInputFile(dir / "in.bvh"),
                  dir / "in.bvh" + ": cannot be opened: permission denied");
    }
    EXPECT_EQ(oxa_run::CheckOutputFile(dir / "out.bvh"), "");
    EXPECT_EQ(oxa_run::CheckOutputFile(dir / "folder.bvh"), dir / "folder.bvh" + " is a folder");
    EXPECT_EQ(oxa_run::CheckOutputFile(dir / "no/out.bvh"), "the folder " + dir / "no" + " does not exist");
    EXPECT_EQ(oxa_run::CheckOutputFile(dir / "in.bvh/out.bvh"), dir / "in.bvh" + " is not a folder");
    EXPECT_EQ(oxa_run::CheckOutputFile(dir / "in.bvh"), "");
    EXPECT_EQ(oxa_run::CheckOutputFile("/dev/null"),
              "/dev/null is a device, pipe or socket, not a file that can be written");

    // Outputs over inputs, by another path or a link too.
    fs::create_symlink(dir / "in.bvh", dir / "link.bvh");
    const std::vector<oxa_run::RunFile> inputs{{dir / "in.bvh", "IN"}, {dir / "lib.mtl", "the library"}};
    EXPECT_EQ(oxa_run::WritesOverInput({{dir / "other.bvh", "OUT"}}, inputs), "");
    EXPECT_EQ(oxa_run::WritesOverInput({{dir / "link.bvh", "OUT"}}, inputs),
              dir / "link.bvh" + ": IN and OUT are the same file");
    EXPECT_EQ(oxa_run::WritesOverInput({{dir / "folder.bvh/../in.bvh", "the side file"}}, inputs),
              dir / "folder.bvh/../in.bvh" + ": IN and OUT are the same file (the side file)");
    // A file not there yet is the same when its folder and name are.
    EXPECT_EQ(oxa_run::WritesOverInput({{dir / "folder.bvh/../lib.mtl", "the MTL"}}, inputs),
              dir / "folder.bvh/../lib.mtl" + " (the MTL) and " + dir / "lib.mtl" +
                  " (the library) are the same file; nothing was written");
}

TEST(run_plan, ReasonsAreTheSystems) {
    EXPECT_EQ(oxa_run::ReasonOf(EFBIG), "the file size limit was reached");
    EXPECT_EQ(oxa_run::ReasonOf(ENOSPC), "no space left on the device");
    EXPECT_EQ(oxa_run::ReasonOf(EDQUOT), "the disk quota was reached");
    EXPECT_EQ(oxa_run::ReasonOf(EACCES), "permission denied");
    EXPECT_EQ(oxa_run::ReasonOf(EPERM), "permission denied");
    EXPECT_EQ(oxa_run::ReasonOf(EROFS), "the file system is read-only");
    EXPECT_EQ(oxa_run::ReasonOf(EISDIR), "it is a folder");
    EXPECT_EQ(oxa_run::ReasonOf(ENOMEM), "not enough memory");
    EXPECT_EQ(oxa_run::ReasonOf(EIO), std::strerror(EIO));

    oxa_test::ScratchDir dir("run_plan", "reasons");
    VSafeOutputGroup run;
    EXPECT_EQ(oxa_run::WriteFailure(run), "");
    VSafeOutputFile file;
    ASSERT_FALSE(file.Open((dir / "none/x.dxf").c_str()));
    EXPECT_EQ(oxa_run::WriteFailure(run),
              dir / "none/x.dxf" + ": could not be written: " + std::strerror(ENOENT));
}

TEST(run_plan, ACommitHeldOffByAStopSignalChangesNothing) {
    oxa_test::ScratchDir dir("run_plan", "commit");
    WriteFile(dir / "target", "old");
    {
        VSafeOutputGroup run;
        VSafeOutputFile file;
        ASSERT_TRUE(file.Open((dir / "target").c_str()));
        ASSERT_TRUE(file.WriteText("new"));
        ASSERT_TRUE(file.Commit());
        sigset_t before;
        sigprocmask(SIG_BLOCK, nullptr, &before);
        EXPECT_EQ(oxa_run::CommitRun(run), "");
        // Done: a late stop signal can no longer end the run as stopped.
        sigset_t after;
        sigprocmask(SIG_BLOCK, nullptr, &after);
        // Every signal from outside that ends a process stays held off; a fault is never held
        // off (it would end the process without a word).
        std::vector<int> held = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGALRM, SIGUSR1,   SIGUSR2,
                                 SIGPIPE, SIGPOLL, SIGVTALRM, SIGPROF, SIGXCPU, SIGSTKFLT, SIGPWR};
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
            held.push_back(sig);
        for (int sig : held)
            EXPECT_EQ(sigismember(&after, sig), 1) << sig;
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, SIGCHLD})
            EXPECT_EQ(sigismember(&after, sig) == 1, sigismember(&before, sig) == 1) << sig;
        sigprocmask(SIG_SETMASK, &before, nullptr);
    }
    EXPECT_EQ(oxa_test::ReadFile(dir / "target"), "new");
    // A target that cannot be replaced: its path and the reason.
    fs::create_directories(dir / "folder");
    {
        VSafeOutputGroup run;
        VSafeOutputFile file;
        ASSERT_TRUE(file.Open((dir / "folder").c_str()));
        ASSERT_TRUE(file.Commit());
        EXPECT_EQ(oxa_run::CommitRun(run), dir / "folder" + " is a folder");
    }
    // A pipe that came where a file of the run goes after it was checked: nothing is put in
    // place, the file written before it included.
    {
        VSafeOutputGroup run;
        VSafeOutputFile first, second;
        ASSERT_TRUE(first.Open((dir / "target").c_str()));
        ASSERT_TRUE(first.WriteText("newer"));
        ASSERT_TRUE(first.Commit());
        ASSERT_TRUE(second.Open((dir / "pipe").c_str()));
        ASSERT_TRUE(second.Commit());
        ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
        EXPECT_EQ(oxa_run::CommitRun(run),
                  dir / "pipe" + " is a device, pipe or socket, not a file that can be written");
    }
    EXPECT_EQ(oxa_test::ReadFile(dir / "target"), "new");
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    for (const auto& entry : fs::directory_iterator(dir.path))
        EXPECT_NE(entry.path().filename().string().rfind(".oxa", 0), 0u) << entry.path();
    // A stop signal that came before the renames: the temporaries go, no target changes, and the
    // signal (held off here) ends the run when it is let through.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGHUP);
    ASSERT_EQ(sigprocmask(SIG_BLOCK, &block, &old), 0);
    ASSERT_EQ(raise(SIGHUP), 0);
    {
        VSafeOutputGroup run;
        VSafeOutputFile file;
        ASSERT_TRUE(file.Open((dir / "target").c_str()));
        ASSERT_TRUE(file.WriteText("newer"));
        ASSERT_TRUE(file.Commit());
        EXPECT_EQ(oxa_run::CommitRun(run), "");
    }
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGHUP), 1);
    // Drop the pending signal before letting it through.
    signal(SIGHUP, SIG_IGN);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    signal(SIGHUP, SIG_DFL);
    EXPECT_EQ(oxa_test::ReadFile(dir / "target"), "new");
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3);  // target, folder and pipe
    // Memory that runs out at any allocation of the commit: the file is put in place, or it is
    // not and the answer says memory ran out (the words, or a std::bad_alloc with the signals as
    // they were); no temporary stays.
    for (long long allowed = 0;; ++allowed) {
        std::string answer = "thrown";
        {
            VSafeOutputGroup run;
            VSafeOutputFile file;
            ASSERT_TRUE(file.Open((dir / "target").c_str()));
            ASSERT_TRUE(file.WriteText(std::to_string(allowed).c_str()));
            ASSERT_TRUE(file.Commit());
            gAllowed = allowed;
            try {
                answer = oxa_run::CommitRun(run);
            } catch (const std::bad_alloc&) {
            }
            gAllowed = -1;
            sigset_t now;
            sigprocmask(SIG_SETMASK, &old, &now);
            if (!answer.empty()) EXPECT_EQ(sigismember(&now, SIGTERM), 0) << allowed;
        }
        if (!answer.empty())
            EXPECT_TRUE(answer == "thrown" || answer == "not enough memory to put the files in place")
                << answer;
        EXPECT_EQ(oxa_test::ReadFile(dir / "target"), answer.empty() ? std::to_string(allowed) : "new")
            << allowed;
        if (answer.empty()) break;
        WriteFile(dir / "target", "new");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 3);
}

namespace {

extern "C" void CallersOwnHandler(int) {}

}  // namespace

TEST(run_plan, GuardingKeepsWhatTheCallerSet) {
    // In a child of its own: the guard changes how the process meets signals.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGUSR1, SIG_IGN);
        signal(SIGUSR2, &CallersOwnHandler);
        struct sigaction withInfo {};
        withInfo.sa_flags = SA_SIGINFO;
        withInfo.sa_sigaction = [](int, siginfo_t*, void*) {};
        sigaction(SIGPROF, &withInfo, nullptr);
        for (int sig : {SIGQUIT, SIGPIPE, SIGRTMAX, SIGTRAP, SIGXFSZ})
            signal(sig, SIG_DFL);
        oxa_run::GuardTemporaries();
        int failures = 0;
        struct sigaction now {};
        sigaction(SIGUSR1, nullptr, &now);
        failures += now.sa_handler != SIG_IGN;  // ignored by the caller: stays ignored
        sigaction(SIGUSR2, nullptr, &now);
        failures += (now.sa_handler != &CallersOwnHandler) << 1;
        sigaction(SIGPROF, nullptr, &now);
        failures += !(now.sa_flags & SA_SIGINFO) << 2;
        for (int sig : {SIGQUIT, SIGPIPE, SIGRTMAX, SIGTRAP}) {
            sigaction(sig, nullptr, &now);
            failures += (now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN) << 3;
        }
        sigaction(SIGXFSZ, nullptr, &now);
        // The file-size signal gets a handler that tells the limit (go on, the write fails) from a
        // signal sent from outside (stop).
        failures += (now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN || !(now.sa_flags & SA_SIGINFO))
                    << 4;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits: 1 an ignored signal, 2 a handler, 4 a handler with "
                                         "information, 8 a signal left without the clean-up, 16 SIGXFSZ";
}
