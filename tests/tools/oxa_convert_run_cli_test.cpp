// What a run of oxa-convert leaves when it is stopped or cannot write, what a file it replaces
// keeps, and how it words what went wrong.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/tools/cli_run.h"

namespace fs = std::filesystem;
using oxa_cli::Count;
using oxa_cli::Result;
using oxa_test::ReadFile;
using oxa_test::WriteFile;

namespace {

// Runs the command from `cwd` with `arguments` (shell words) after the shell commands `prefix`.
Result RunIn(const std::string& cwd, const std::string& arguments, const std::string& prefix = "") {
    return oxa_cli::RunIn(cwd, arguments, prefix, "run", 0);
}

// The temporary files of runs in `folder`.
int Temporaries(const std::string& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".oxa", 0) == 0) ++count;
    }
    return count;
}

// A grid of n x n points in triangles: its DXF is about 200 bytes a triangle.
std::string Grid(int n) {
    std::string text;
    text.reserve((size_t)n * n * 40);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            text += "v " + std::to_string(i) + " " + std::to_string(j) + " 0\n";
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j)
            text += "f " + std::to_string(i * n + j + 1) + " " + std::to_string(i * n + j + 2) + " " +
                    std::to_string((i + 1) * n + j + 1) + "\n";
    return text;
}

int ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? (int)(info.st_mode & 07777) : -1;
}

}  // namespace

TEST(cli_run, MaterialLibrariesAreFoundAsTheReaderFindsThem) {
    oxa_test::ScratchDir dir("cli_run", "mtllib");
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n";
    const std::string library = "newmtl red\nKd 1 0 0\nnewmtl kept\nKd 0 0 1\n";
    // After a byte-order mark, and on a line continued with a backslash: the second name comes
    // from the next line.
    WriteFile(dir / "bom.obj", "\xEF\xBB\xBFmtllib b.mtl\n" + triangle);
    WriteFile(dir / "cont.obj", "mtllib c.mtl\\\n  d.mtl\n" + triangle);
    for (const char* name : {"b.mtl", "c.mtl", "d.mtl"})
        WriteFile(dir / name, library);
    for (const char* args : {"bom.obj b.obj", "cont.obj c.obj", "cont.obj d.obj"}) {
        Result r = RunIn(dir.path.string(), args);
        EXPECT_EQ(r.code, 2) << args << ": " << r.err;
        EXPECT_NE(r.err.find("(the input's MTL library) are the same file"), std::string::npos) << r.err;
    }
    for (const char* name : {"b.mtl", "c.mtl", "d.mtl"})
        EXPECT_EQ(ReadFile(dir / name), library) << name;
    EXPECT_FALSE(fs::exists(dir / "b.obj"));
    // The libraries are the reader's: its material comes out in another place.
    Result r = RunIn(dir.path.string(), "bom.obj e.obj");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(ReadFile(dir / "e.mtl").find("Kd 1 0 0\n"), std::string::npos) << ReadFile(dir / "e.mtl");
}

TEST(cli_run, ReplacedFilesKeepTheirPermissions) {
    oxa_test::ScratchDir dir("cli_run", "modes");
    WriteFile(dir / "in.obj", "mtllib in.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n");
    WriteFile(dir / "in.mtl", "newmtl red\nKd 1 0 0\n");
    WriteFile(dir / "out.obj", "old");
    WriteFile(dir / "out.mtl", "old");
    fs::permissions(dir / "out.obj", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir / "out.mtl", fs::perms::owner_read | fs::perms::owner_write);
    Result r = RunIn(dir.path.string(), "in.obj out.obj", "umask 022; ");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(ReadFile(dir / "out.obj"), "old");
    EXPECT_EQ(ModeOf(dir / "out.obj"), 0600);
    EXPECT_EQ(ModeOf(dir / "out.mtl"), 0600);
    // A file that was not there gets the usual mode less the umask.
    r = RunIn(dir.path.string(), "in.obj new.obj", "umask 027; ");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ModeOf(dir / "new.obj"), 0640);
    EXPECT_EQ(ModeOf(dir / "new.mtl"), 0640);
}

TEST(cli_run, AStoppedRunLeavesEveryFileAsItWas) {
    oxa_test::ScratchDir dir("cli_run", "signals");
    WriteFile(dir / "big.obj", Grid(40));
    const std::string old = "old drawing\n";
    // Every signal whose default action ends a process, from a user, a timer, a closed pipe, a
    // resource limit or a fault; SIGXFSZ sent by another process as well (the file-size limit
    // itself only fails the write).
    std::vector<int> signals = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT,  SIGALRM,  SIGUSR1,      SIGUSR2,
                                SIGPIPE, SIGVTALRM, SIGPROF, SIGXCPU,  SIGPOLL,  SIGSTKFLT,    SIGPWR,
                                SIGTRAP, SIGSYS,  SIGABRT,   SIGXFSZ,  SIGRTMIN, SIGRTMIN + 5, SIGRTMAX};
    for (int sig : signals) {
        WriteFile(dir / "big.dxf", old);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.path.c_str()) != 0) _exit(127);
            // The run must meet the signal's default meaning, also under a caller that ignores it.
            signal(sig, SIG_DFL);
            // Those that dump core need not.
            const struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            std::freopen("/dev/null", "w", stderr);
            // The run stops itself once the drawing is written to its temporary, before anything
            // is put in place; the signal comes then, however slowly the machine runs.
            setenv("OXA_CONVERT_TEST_STOP_BEFORE_COMMIT", "1", 1);
            execl(OXA_CONVERT_PATH, "oxa-convert", "big.obj", "big.dxf", (char*)nullptr);
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
        ASSERT_TRUE(WIFSTOPPED(status)) << "signal " << sig << ": the run ended before it wrote";
        EXPECT_EQ(Temporaries(dir.path.string()), 1) << "signal " << sig;
        kill(pid, sig);
        kill(pid, SIGCONT);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << sig << ": exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(Temporaries(dir.path.string()), 0) << "signal " << sig;
        EXPECT_EQ(ReadFile(dir / "big.dxf"), old) << "signal " << sig;
    }
    // What a shell reports for such a run: 128 and the signal's number. The run's state is polled
    // until it has stopped itself, which it stays.
    WriteFile(dir / "big.dxf", old);
    const std::string command =
        "cd '" + dir.path.string() + "' || exit 1; OXA_CONVERT_TEST_STOP_BEFORE_COMMIT=1 " + OXA_CONVERT_PATH +
        " big.obj big.dxf 2>/dev/null & pid=$!; n=0; until grep -q '^State:[[:space:]]*T' /proc/$pid/status || "
        "[ $n -ge 6000 ]; do n=$((n+1)); sleep 0.05; done; kill -TERM $pid; kill -CONT $pid; wait $pid";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_EQ(Temporaries(dir.path.string()), 0);
    EXPECT_EQ(ReadFile(dir / "big.dxf"), old);
}

// A signal that comes the moment the temporary has been made, before the run could do anything
// else: the run is traced, and the signal is sent when the call that created the file returns.
TEST(cli_run, AStopRightAfterTheTemporaryIsMadeLeavesNothing) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "the system calls of the run are read from x86-64 registers";
#else
    oxa_test::ScratchDir dir("cli_run", "made");
    WriteFile(dir / "in.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    for (int sig : {SIGTERM, SIGINT, SIGRTMIN + 2}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.path.c_str()) != 0) _exit(127);
            signal(sig, SIG_DFL);
            std::freopen("/dev/null", "w", stderr);
            if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(126);
            execl(OXA_CONVERT_PATH, "oxa-convert", "in.obj", "out.dxf", (char*)nullptr);
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 126) GTEST_SKIP() << "tracing is not allowed here";
        ASSERT_TRUE(WIFSTOPPED(status));  // at its start
        ptrace(PTRACE_SETOPTIONS, pid, nullptr, (void*)(long)(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
        bool sent = false;
        int pass = 0;
        while (!sent) {
            ASSERT_EQ(ptrace(PTRACE_SYSCALL, pid, nullptr, (void*)(long)pass), 0);
            pass = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFSTOPPED(status)) << "signal " << sig << ": the run ended without a temporary";
            if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
                pass = WSTOPSIG(status);  // a signal of its own
                continue;
            }
            struct user_regs_struct regs {};
            ASSERT_EQ(ptrace(PTRACE_GETREGS, pid, nullptr, &regs), 0);
            // At a call's return (not its entry, where the result reads -ENOSYS), a new descriptor.
            if ((regs.orig_rax != SYS_openat && regs.orig_rax != SYS_open) || (long)regs.rax < 0) continue;
            char target[4096] = {};
            const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string((long)regs.rax);
            if (readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
            const std::string name = fs::path(target).filename().string();
            if (name.rfind(".oxa", 0) != 0) continue;
            kill(pid, sig);
            ASSERT_EQ(ptrace(PTRACE_DETACH, pid, nullptr, nullptr), 0);
            sent = true;
        }
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << sig << ": exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(Temporaries(dir.path.string()), 0) << "signal " << sig;
        EXPECT_FALSE(fs::exists(dir / "out.dxf")) << "signal " << sig;
    }
#endif
}

TEST(cli_run, DevicesPipesAndSocketsAreNotWrittenOver) {
    oxa_test::ScratchDir dir("cli_run", "devices");
    WriteFile(dir / "in.obj", "mtllib in.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n");
    WriteFile(dir / "in.mtl", "newmtl red\nKd 1 0 0\n");
    ASSERT_EQ(mkfifo((dir / "pipe.obj").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "side.mtl").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "walk.asf").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir / "null.dxf");
    WriteFile(dir / "walk.bvh",
              "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation "
              "Xrotation Yrotation\n  End Site\n  {\n    OFFSET 0 10 0\n  }\n}\nMOTION\nFrames: 2\n"
              "Frame Time: 0.033333\n0 0 0 0 0 0\n1 0 0 0 0 0\n");
    struct Case {
        const char* args;
        const char* refused;
    };
    for (const Case& c : {Case{"in.obj pipe.obj", "pipe.obj"}, Case{"in.obj null.dxf", "null.dxf"},
                          Case{"in.obj side.obj", "side.mtl"}, Case{"walk.bvh walk.amc", "walk.asf"}}) {
        // A run that wrote to the pipe would wait for a reader: the time limit ends it.
        Result r = oxa_cli::RunIn(dir.path.string(), c.args, "", "devices", 120);
        EXPECT_EQ(r.code, 1) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(std::string(c.refused) +
                             " is a device, pipe or socket, not a file that can be written"),
                  std::string::npos)
            << c.args << ": " << r.err;
    }
    for (const char* name : {"pipe.obj", "side.mtl", "walk.asf"}) {
        struct stat info {};
        EXPECT_EQ(lstat((dir / name).c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISFIFO(info.st_mode)) << name << " was replaced";
    }
    EXPECT_TRUE(fs::is_symlink(dir / "null.dxf"));
    EXPECT_EQ(fs::read_symlink(dir / "null.dxf"), "/dev/null");
    for (const char* name : {"side.obj", "walk.amc"})
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    EXPECT_EQ(Temporaries(dir.path.string()), 0);
}

TEST(cli_run, AWritePastTheSizeLimitIsAFailedWrite) {
    oxa_test::ScratchDir dir("cli_run", "fsize");
    WriteFile(dir / "big.obj", Grid(150));
    WriteFile(dir / "big.dxf", "old");
    // 2048 blocks are at most 2 MB, the drawing about 9 MB.
    Result r = RunIn(dir.path.string(), "big.obj big.dxf", "ulimit -f 2048; ");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("oxa-convert: big.dxf: could not be written: the file size limit was reached"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Temporaries(dir.path.string()), 0);
    EXPECT_EQ(ReadFile(dir / "big.dxf"), "old");
}

TEST(cli_run, MessagesArePlainLinesWithTheSystemsReason) {
    oxa_test::ScratchDir dir("cli_run", "messages");
    // A refusal with a list of names: once, one name a line.
    WriteFile(
        dir / "dup.bvh",
        "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation "
        "Xrotation Yrotation\n  JOINT Arm\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation "
        "Yrotation\n    End Site\n    {\n      OFFSET 0 10 0\n    }\n  }\n  JOINT Arm\n  {\n    OFFSET 0 "
        "-10 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n    End Site\n    {\n      OFFSET 0 -10 0\n"
        "    }\n  }\n}\nMOTION\nFrames: 2\nFrame Time: 0.033333\n0 0 0 0 0 0 0 0 0 0 0 0\n"
        "1 0 0 0 0 0 0 0 0 0 0 0\n");
    Result r = RunIn(dir.path.string(), "dup.bvh dup.htr");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(Count(r.err, "Duplicate names found"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "\\x0a"), 0) << r.err;
    EXPECT_NE(r.err.find("oxa-convert: dup.bvh:     Arm\n"), std::string::npos) << r.err;

    // Something that is not a file where an AMC's skeleton would be says what it is.
    WriteFile(dir / "w.amc", ":FULLY-SPECIFIED\n:DEGREES\n1\nroot 0 0 0 0 0 0\n");
    ASSERT_EQ(mkfifo((dir / "w.asf").c_str(), 0600), 0);
    r = RunIn(dir.path.string(), "w.amc w.bvh");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err.find("there is no"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("w.asf is a device, pipe or socket, not a file that can be read"), std::string::npos)
        << r.err;

    // A folder the run cannot create its files in: the system's reason.
    if (geteuid() != 0) {
        fs::create_directories(dir / "locked");
        fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        r = RunIn(dir.path.string(), "dup.bvh locked/x.trc");
        fs::permissions(dir / "locked", fs::perms::owner_all);
        EXPECT_NE(r.err.find("locked/x.trc: could not be written: permission denied"), std::string::npos)
            << r.err;
    }
}

TEST(cli_run, ASettingsFileMayStartWithAByteOrderMark) {
    oxa_test::ScratchDir dir("cli_run", "bom");
    // Two markers of one name: renamed unless the [Import] section says not to.
    WriteFile(dir / "two.trc",
              "PathFileType\t4\t(X/Y/Z)\ttwo.trc\t\nDataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\t"
              "OrigDataRate\tOrigDataStartFrame\tOrigNumFrames\t\n30\t30\t2\t2\tmm\t30\t1\t2\t\n"
              "Frame#\tTime\tM\t\t\tM\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\t\n\n1\t0\t1\t2\t3\t4\t5\t6\n"
              "2\t0.0333\t1\t2\t3\t4\t5\t6\n");
    WriteFile(dir / "settings.ini", "\xEF\xBB\xBF[Import]\nRenameDuplicateNames=0\n");
    Result r = RunIn(dir.path.string(), "--options settings.ini two.trc two.bvh");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err.find("outside the [Import] and [Export] sections"), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.err, "Duplicate names found"), 1) << r.err;
    EXPECT_FALSE(fs::exists(dir / "two.bvh"));
}

TEST(cli_run, AUsageErrorIsOneLineAndWhereHelpIs) {
    for (const char* args : {"--bogus a.bvh b.bvh", "a.bvh", "--frame-rate x a.bvh b.bvh", "--take"}) {
        Result r = oxa_cli::Convert(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(Count(r.err, "\n"), 2) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("oxa-convert: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nTry 'oxa-convert --help' for more information.\n"), std::string::npos)
            << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}
