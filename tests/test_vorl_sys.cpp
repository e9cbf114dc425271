// Running programs, the process test, removing and opening files.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "sandbox.h"
#include "vorl.h"

namespace {

// A running copy of sleep under a name of this test program alone, so that
// tests running in parallel cannot disturb the answer (nor be disturbed, as
// a "named" would disturb the DNS-only tests).
class NamedSleeper {
public:
    NamedSleeper(const Sandbox &sb, const std::string &name) : path_(sb.path(name))
    {
        sb.write(name, readFile("/bin/sleep"), 0755);
        pid_ = fork();
        if (pid_ == 0) {
            const char *argv[] = {name.c_str(), "1000", nullptr};
            execv(path_.c_str(), const_cast<char *const *>(argv));
            _exit(127);
        }
        std::string comm = "/proc/" + std::to_string(pid_) + "/comm";
        for (int i = 0; i < 400 && readFile(comm) != name + "\n"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~NamedSleeper() { stop(); }
    void stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

// Runs fn with standard output going to a file; returns what it wrote.
template <typename Fn> std::string captureStdout(const Sandbox &sb, Fn fn)
{
    fflush(stdout);
    int saved = dup(1);
    FILE *out = fopen(sb.path("stdout.txt").c_str(), "w");
    dup2(fileno(out), 1);
    fn();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    fclose(out);
    return sb.read("stdout.txt");
}

} // namespace

TEST(VorlExec, PassesArgumentsVerbatimAndReturnsTheExitStatus)
{
    Sandbox sb;
    sb.write("bin/record", "#!/bin/sh\n"
                           "for a in \"$@\"; do printf '[%s]' \"$a\" >> \"$(dirname \"$0\")/args\"; done\n"
                           "echo >> \"$(dirname \"$0\")/args\"\n"
                           "exit $#\n",
             0755);
    std::string prog = sb.path("bin/record");
    EXPECT_EQ(0, VORLCExec(prog.c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2, VORLCExec(prog.c_str(), "-p", "/etc/dhcpd", nullptr, nullptr));
    // No shell: blanks and shell syntax arrive as they are.
    EXPECT_EQ(4, VORLCExec(prog.c_str(), "a b", "$(touch pwned)", ";", "*"));
    // Arguments after the first NULL are not passed.
    EXPECT_EQ(1, VORLCExec(prog.c_str(), "one", nullptr, "three", "four"));
    EXPECT_EQ("\n[-p][/etc/dhcpd]\n[a b][$(touch pwned)][;][*]\n[one]\n", sb.read("bin/args"));
    EXPECT_FALSE(sb.exists("pwned"));

    sb.write("bin/status", "#!/bin/sh\nexit 3\n", 0755);
    EXPECT_EQ(3, VORLCExec(sb.path("bin/status").c_str(), "nat-restart-dhcp", nullptr, nullptr,
                           nullptr));
}

TEST(VorlExec, FailuresToStartAndSignals)
{
    Sandbox sb;
    EXPECT_EQ(127, VORLCExec(sb.path("bin/missing").c_str(), nullptr, nullptr, nullptr, nullptr));
    sb.write("bin/notexec", "#!/bin/sh\nexit 0\n", 0644);
    EXPECT_EQ(127, VORLCExec(sb.path("bin/notexec").c_str(), nullptr, nullptr, nullptr, nullptr));
    // Not searched on PATH: a bare name is a path relative to the directory.
    EXPECT_EQ(127, VORLCExec("true", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(127, VORLCExec(nullptr, nullptr, nullptr, nullptr, nullptr));

    sb.write("bin/killed", "#!/bin/sh\nkill -9 $$\n", 0755);
    EXPECT_EQ(-SIGKILL, VORLCExec(sb.path("bin/killed").c_str(), nullptr, nullptr, nullptr,
                                  nullptr));
}

TEST(VorlExec, ProgramOutputStaysOffStandardOutput)
{
    // Standard output carries the CGI answer; a program's chatter must not
    // end up in it.
    Sandbox sb;
    sb.write("bin/chatty", "#!/bin/sh\necho chatter\n", 0755);
    std::string out = captureStdout(sb, [&] {
        EXPECT_EQ(0, VORLCExec(sb.path("bin/chatty").c_str(), nullptr, nullptr, nullptr, nullptr));
    });
    EXPECT_EQ("", out);
}

TEST(VorlIsProcAlive, ExactNameOfARunningProcess)
{
    Sandbox sb;
    std::string name = "vorl" + std::to_string(getpid() % 1000000);
    EXPECT_EQ(0, VORLCIsProcAlive(name.c_str()));
    NamedSleeper sleeper(sb, name);
    EXPECT_EQ(1, VORLCIsProcAlive(name.c_str()));
    EXPECT_EQ(0, VORLCIsProcAlive(name.substr(0, name.size() - 1).c_str())); // prefix
    EXPECT_EQ(0, VORLCIsProcAlive((name + "x").c_str()));
    sleeper.stop();
    EXPECT_EQ(0, VORLCIsProcAlive(name.c_str()));
    EXPECT_EQ(0, VORLCIsProcAlive(""));
    EXPECT_EQ(0, VORLCIsProcAlive(nullptr));
}

TEST(VorlIsProcAlive, ProcessTableUnderTheRootWhenAsked)
{
    // With the switch, made-up processes under the root are seen and the
    // machine's are not; without it, the other way round.
    Sandbox sb;
    const std::string name = "vorlfake" + std::to_string(getpid() % 1000000);
    sb.addProcess(7, name);
    sb.write("proc/self/comm", "selfonly\n"); // not a process number
    sb.mkdirs("proc/8");                       // ended meanwhile: no comm
    std::string mine = readFile("/proc/self/comm");
    mine.erase(mine.find('\n'));
    EXPECT_EQ(0, VORLCIsProcAlive(name.c_str()));
    EXPECT_EQ(1, VORLCIsProcAlive(mine.c_str()));
    setenv("ORVATH_PROC_IN_ROOT", "1", 1);
    EXPECT_EQ(1, VORLCIsProcAlive(name.c_str()));
    EXPECT_EQ(0, VORLCIsProcAlive("selfonly"));
    EXPECT_EQ(0, VORLCIsProcAlive(mine.c_str()));
    unsetenv("ORVATH_PROC_IN_ROOT");
}

TEST(VorlSysRemove, RemoveAndUnlink)
{
    Sandbox sb;
    sb.write("etc/a", "x");
    EXPECT_EQ(0, VORLCSysRemove(sb.path("etc/a").c_str()));
    EXPECT_FALSE(sb.exists("etc/a"));
    EXPECT_NE(0, VORLCSysRemove(sb.path("etc/a").c_str())); // ends a numbered walk

    sb.write("etc/b", "x");
    EXPECT_EQ(0, VORLCSysUnlink(sb.path("etc/b").c_str()));
    EXPECT_FALSE(sb.exists("etc/b"));
    EXPECT_EQ(0, VORLCSysUnlink(sb.path("etc/b").c_str()));
    EXPECT_NE(0, VORLCSysUnlink(sb.path("etc").c_str())); // a directory
    EXPECT_TRUE(sb.exists("etc"));
}

TEST(VorlSysFopen, OpensLikeFopen)
{
    Sandbox sb;
    FILE *fp = VORLCSysFopen(sb.path("etc/new").c_str(), "a", __FILE__, __LINE__);
    ASSERT_NE(nullptr, fp);
    fputs("line\n", fp);
    fclose(fp);
    EXPECT_EQ("line\n", sb.read("etc/new"));
    fp = VORLCSysFopen(sb.path("etc/new").c_str(), "r", __FILE__, __LINE__);
    ASSERT_NE(nullptr, fp);
    fclose(fp);
    EXPECT_EQ(nullptr, VORLCSysFopen(sb.path("etc/none").c_str(), "r", __FILE__, __LINE__));
    EXPECT_EQ(nullptr, VORLCSysFopen(sb.path("nodir/x").c_str(), "a", __FILE__, __LINE__));
    EXPECT_EQ(nullptr, VORLCSysFopen(nullptr, "r", nullptr, 0));
}
