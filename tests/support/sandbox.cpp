#include "sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "";
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool waitForExit(pid_t pid, int seconds, int *status)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // Short pauses first: most programs the tests run end within milliseconds.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
    return false;
}

static int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    ::remove(path);
    return 0;
}

Sandbox::Sandbox()
{
    char tmpl[] = "/tmp/orvath-test-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    root_ = tmpl;
    const char *old = getenv("ORVATH_ROOT");
    if (old) {
        hadRoot_ = true;
        savedRoot_ = old;
    }
    setenv("ORVATH_ROOT", root_.c_str(), 1);
    mkdirs("etc");
    mkdirs("var/packages/Orvath/target/etc");
}

Sandbox::~Sandbox()
{
    nftw(root_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (hadRoot_)
        setenv("ORVATH_ROOT", savedRoot_.c_str(), 1);
    else
        unsetenv("ORVATH_ROOT");
}

std::string Sandbox::path(const std::string &rel) const
{
    if (!rel.empty() && rel[0] == '/')
        return root_ + rel;
    return root_ + "/" + rel;
}

void Sandbox::mkdirs(const std::string &rel) const
{
    std::string full = path(rel);
    for (size_t pos = root_.size() + 1; pos <= full.size(); ++pos) {
        if (pos == full.size() || full[pos] == '/')
            mkdir(full.substr(0, pos).c_str(), 0755);
    }
}

std::string Sandbox::deepDir(size_t length) const
{
    std::string rel;
    for (;;) {
        size_t used = root_.size() + 1 + rel.size();
        if (used >= length)
            break;
        size_t room = length - used;
        if (rel.empty())
            rel.assign(std::min<size_t>(room, 100), 'd');
        else if (room == 1)
            rel += 'd'; // no room for a separator and a component
        else
            rel += "/" + std::string(std::min<size_t>(room - 1, 100), 'd');
    }
    mkdirs(rel);
    return rel;
}

void Sandbox::write(const std::string &rel, const std::string &content, mode_t mode) const
{
    std::string full = path(rel);
    size_t slash = full.rfind('/');
    if (slash > root_.size())
        mkdirs(full.substr(root_.size() + 1, slash - root_.size() - 1));
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    chmod(full.c_str(), mode);
}

std::string Sandbox::read(const std::string &rel) const { return readFile(path(rel)); }

bool Sandbox::exists(const std::string &rel) const { return access(path(rel).c_str(), F_OK) == 0; }

void Sandbox::remove(const std::string &rel) const { ::remove(path(rel).c_str()); }

void Sandbox::addInterface(const std::string &name, int ifindex, const std::string &kind) const
{
    std::string dir = "sys/class/net/" + name;
    mkdirs(dir);
    write(dir + "/ifindex", std::to_string(ifindex) + "\n");
    std::string type = "1";
    if (kind == "loopback")
        type = "772";
    else if (kind == "bridge")
        mkdirs(dir + "/bridge");
    else if (kind == "bond")
        mkdirs(dir + "/bonding");
    else if (kind == "wireless")
        mkdirs(dir + "/wireless");
    else if (kind != "ethernet")
        type = "65534";
    write(dir + "/type", type + "\n");
}

void Sandbox::installRestartRecorder() const
{
    write("etc/rc.network",
          "#!/bin/sh\n"
          "root=\"$(dirname \"$(dirname \"$0\")\")\"\n"
          "echo \"$*\" >> \"$root/restart.log\"\n"
          "status=0\n"
          "[ -f \"$root/restart.status\" ] && status=$(cat \"$root/restart.status\")\n"
          "exit $status\n",
          0755);
}

int Sandbox::restartCount() const
{
    std::string log = read("restart.log");
    int lines = 0;
    for (char c : log)
        lines += c == '\n';
    return lines;
}

static std::map<std::string, std::string> *snapshotTarget;
static size_t snapshotPrefix;

static int addToSnapshot(const char *path, const struct stat *st, int flag, struct FTW *)
{
    if (flag == FTW_F && S_ISREG(st->st_mode))
        (*snapshotTarget)[std::string(path).substr(snapshotPrefix)] = readFile(path);
    return 0;
}

std::map<std::string, std::string> Sandbox::snapshot() const
{
    std::map<std::string, std::string> files;
    snapshotTarget = &files;
    snapshotPrefix = root_.size() + 1;
    nftw(root_.c_str(), addToSnapshot, 16, FTW_PHYS);
    snapshotTarget = nullptr;
    return files;
}

void Sandbox::addProcess(int pid, const std::string &name) const
{
    write("proc/" + std::to_string(pid) + "/comm", name + "\n");
}
