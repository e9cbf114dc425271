// A temporary root directory per test: ORVATH_ROOT points at it while the
// Sandbox lives, and it is removed afterwards, so tests may run in parallel.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    const std::string &root() const { return root_; }
    // Absolute path of a path inside the root ("etc/x" or "/etc/x").
    std::string path(const std::string &rel) const;

    // Writes a file, creating its directories.
    void write(const std::string &rel, const std::string &content, mode_t mode = 0644) const;
    // The file's content, or "" when it does not exist.
    std::string read(const std::string &rel) const;
    bool exists(const std::string &rel) const;
    void remove(const std::string &rel) const;
    void mkdirs(const std::string &rel) const;
    // Makes a directory below the root whose absolute path is exactly length
    // characters long (components of at most 101) and returns its path
    // relative to the root: a root under which fixed names no longer fit
    // their buffers.
    std::string deepDir(size_t length) const;

    // Makes <root>/sys/class/net/<name> with an ifindex file and the entries
    // that mark its kind: "ethernet", "loopback", "bridge", "bond",
    // "wireless", or anything else for an unknown kind.
    void addInterface(const std::string &name, int ifindex,
                      const std::string &kind = "ethernet") const;

    // Lists a made-up process in <root>/proc (<pid>/comm holds its name),
    // the process table read under ORVATH_PROC_IN_ROOT=1.
    void addProcess(int pid, const std::string &name) const;

    // Installs <root>/etc/rc.network: appends its arguments as one line to
    // <root>/restart.log and exits with the status in <root>/restart.status
    // (0 when that file is missing).
    void installRestartRecorder() const;
    // Number of lines in <root>/restart.log.
    int restartCount() const;

    // Every regular file under the root (relative path -> content), for
    // comparing the whole sandbox before and after a request.
    std::map<std::string, std::string> snapshot() const;

private:
    std::string root_;
    std::string savedRoot_;
    bool hadRoot_ = false;
};

// Reads a whole file ("" when missing).
std::string readFile(const std::string &path);

// Waits for the child pid to end, its status into *status. A child still
// running after `seconds` is killed (SIGKILL) and false returned, so that a
// program that hangs fails its test instead of holding it.
bool waitForExit(pid_t pid, int seconds, int *status);
