/*
 * The service as the administrator sees it: how the last restart ended (kept
 * in one small status file), whether dnsmasq runs, and releasing one lease.
 *
 * The start-up script is run from an argv, as restartDHCPServer runs it, but
 * with its standard output and error read through a pipe: they still go on
 * to our standard error (the log), and their last lines become the short
 * reason shown when it fails.
 */
#include "service.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "lease_log.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "text.h"
#include "vorl.h"

/* The outcome of the last restart: "time=<seconds>", "status=<exit status>",
 * an empty line, then the reason text to the end of the file. */
/* Bytes of the programs' output kept to find its last lines. */
enum { kTailLen = 2048, kReasonLines = 3 };

/* Keeps the last kTailLen bytes of what was read. */
typedef struct OutputTail {
    char text[kTailLen + 1];
    size_t len;
} OutputTail;

static void tailAppend(OutputTail *tail, const char *data, size_t len)
{
    if (len >= kTailLen) {
        memcpy(tail->text, data + len - kTailLen, kTailLen);
        tail->len = kTailLen;
    } else {
        size_t keep = tail->len + len > kTailLen ? kTailLen - len : tail->len;
        memmove(tail->text, tail->text + tail->len - keep, keep);
        memcpy(tail->text + keep, data, len);
        tail->len = keep + len;
    }
    tail->text[tail->len] = '\0';
}

/* Reads what the pipe holds now; false at its end or on an error. */
static bool drainPipe(int fd, OutputTail *tail)
{
    char buf[512];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
        return true;
    if (n <= 0)
        return false;
    /* read() never returns more than asked; saying so lets the optimiser see it. */
    size_t got = (size_t)n < sizeof buf ? (size_t)n : sizeof buf;
    /* The output stays in the log, as when the script writes there itself. */
    ssize_t written = write(STDERR_FILENO, buf, got);
    (void)written;
    tailAppend(tail, buf, got);
    return true;
}

/* How long the start-up script may run: ORVATH_RESTART_TIMEOUT seconds, 60
 * when unset. */
static int scriptTimeoutSeconds(void)
{
    const char *text = getenv("ORVATH_RESTART_TIMEOUT");
    int seconds = text ? atoi(text) : 0;
    return seconds > 0 ? seconds : 60;
}

/* The value runCapturing returns for a program it killed when its time ran
 * out. */
static const int kTimedOut = -1000;

/* Starts argv[0] with argv (no shell) in a process group of its own, its
 * standard output and error on fd; without copying this process's memory
 * (posix_spawn), which a fork would, page by page, as this process goes on
 * writing. 0, or the error. */
static int spawnInGroup(const char *const argv[], int fd, pid_t *pPid)
{
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    int err = posix_spawnattr_init(&attr);
    if (err)
        return err;
    err = posix_spawn_file_actions_init(&actions);
    if (err) {
        posix_spawnattr_destroy(&attr);
        return err;
    }
    err = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    if (!err)
        err = posix_spawnattr_setpgroup(&attr, 0);
    if (!err)
        err = posix_spawn_file_actions_adddup2(&actions, fd, STDOUT_FILENO);
    if (!err)
        err = posix_spawn_file_actions_adddup2(&actions, fd, STDERR_FILENO);
    if (!err)
        err = posix_spawn(pPid, argv[0], &actions, &attr, (char *const *)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return err;
}

/* A descriptor that becomes readable when the process exits; -1 where the
 * system has none. */
static int exitDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return (int)syscall(SYS_pidfd_open, pid, 0);
#else
    (void)pid;
    return -1;
#endif
}

/* Runs argv[0] with argv (no shell) in a process group of its
 * own, reading its standard output and error into tail until it exits; one
 * that runs longer than the time limit is killed with its group
 * (kTimedOut). A grandchild that keeps the pipe open
 * (a daemon started by the script) does not hold us: once the program has
 * exited, only what is already in the pipe is read. Returns the exit status,
 * 127 when it could not be started, the negated signal number when a signal
 * ended it. */
static int runCapturing(const char *const argv[], OutputTail *tail)
{
    tail->len = 0;
    tail->text[0] = '\0';
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        ORV_LOG("Failed to start [%s]: %s", argv[0], strerror(errno));
        return 127;
    }
    pid_t pid = -1;
    int err = spawnInGroup(argv, fds[1], &pid);
    close(fds[1]);
    if (err) {
        /* As a program that could not be run: exit status 127. */
        if (err != ENOENT && err != EACCES && err != ENOEXEC && err != ENOTDIR && err != ELOOP)
            ORV_LOG("Failed to start [%s]: %s", argv[0], strerror(err));
        close(fds[0]);
        return 127;
    }
    setpgid(pid, pid);
    /* Readable once the program has exited: its end is seen at once, not at
     * the next look. */
    int exitFd = exitDescriptor(pid);
    int status = 0;
    bool exited = false;
    bool open = true;
    const time_t deadline = time(NULL) + scriptTimeoutSeconds();
    while (!exited) {
        if (time(NULL) > deadline) {
            ORV_LOG("[%s] did not finish within %d s: killed", argv[0], scriptTimeoutSeconds());
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            close(fds[0]);
            if (exitFd >= 0)
                close(exitFd);
            return kTimedOut;
        }
        struct pollfd p[2] = {{open ? fds[0] : -1, POLLIN, 0}, {exitFd, POLLIN, 0}};
        if ((open || exitFd >= 0) && poll(p, 2, 100) > 0) {
            if (open && p[0].revents)
                open = drainPipe(fds[0], tail);
        } else if (!open && exitFd < 0) {
            poll(NULL, 0, 20);
        }
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            exited = true;
        else if (done < 0 && errno != EINTR) {
            ORV_LOG("Failed to wait for [%s]: %s", argv[0], strerror(errno));
            close(fds[0]);
            if (exitFd >= 0)
                close(exitFd);
            return 127;
        }
    }
    if (exitFd >= 0)
        close(exitFd);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    while (open && drainPipe(fds[0], tail)) {
    }
    close(fds[0]);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return -WTERMSIG(status);
    return 127;
}

/* The last kReasonLines non-empty lines of the output, unprintable
 * characters as blanks, into szReason. */
static void lastLines(const OutputTail *tail, char *szReason, size_t cbReason)
{
    /* Where the last non-empty lines begin and end, oldest first. */
    size_t begins[kReasonLines], ends[kReasonLines];
    int count = 0;
    size_t lineStart = 0;
    for (size_t i = 0; i <= tail->len; ++i) {
        if (i < tail->len && tail->text[i] != '\n' && tail->text[i] != '\r')
            continue;
        if (i > lineStart) {
            if (count == kReasonLines) {
                memmove(begins, begins + 1, sizeof begins[0] * (kReasonLines - 1));
                memmove(ends, ends + 1, sizeof ends[0] * (kReasonLines - 1));
                --count;
            }
            begins[count] = lineStart;
            ends[count] = i;
            ++count;
        }
        lineStart = i + 1;
    }
    size_t out = 0;
    for (int k = 0; k < count; ++k) {
        if (k > 0 && out + 1 < cbReason)
            szReason[out++] = '\n';
        for (size_t i = begins[k]; i < ends[k] && out + 1 < cbReason; ++i) {
            unsigned char c = (unsigned char)tail->text[i];
            szReason[out++] = (c < ' ' || c == 0x7f) ? ' ' : (char)c;
        }
    }
    szReason[out] = '\0';
}

/* "exit status N[: <last lines>]" for a program that failed. */
static void failureReason(int result, const OutputTail *tail, char *szReason, size_t cbReason)
{
    char szLines[QUOMO_REASON_LEN];
    lastLines(tail, szLines, sizeof szLines);
    char szStatus[64];
    if (result == 127)
        orvCopy(szStatus, sizeof szStatus, "could not be started (exit status 127)");
    else if (result == kTimedOut)
        orvFormat(szStatus, sizeof szStatus, "did not finish within %d s", scriptTimeoutSeconds());
    else if (result < 0)
        orvFormat(szStatus, sizeof szStatus, "killed by signal %d", -result);
    else
        orvFormat(szStatus, sizeof szStatus, "exit status %d", result);
    orvFormat(szReason, cbReason, szLines[0] ? "%s: %s" : "%s", szStatus, szLines);
}

/* Runs the start-up script with its arguments; the reason filled when it
 * fails, "" otherwise. */
static int runScript(const char *a1, const char *a2, const char *a3, const char *a4,
                     char *szReason, size_t cbReason)
{
    orvCopy(szReason, cbReason, "");
    char szScript[QUOMO_PATH_LEN];
    /* A cut name would run another program: the script cannot be started. */
    if (!orvPath(szScript, sizeof szScript, QUOMO_RC_NETWORK)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        orvCopy(szReason, cbReason, "the start-up script's path is too long");
        return 127;
    }
    const char *argv[] = {szScript, a1, a2, a3, a4, NULL};
    OutputTail tail;
    int result = runCapturing(argv, &tail);
    if (result != 0)
        failureReason(result, &tail, szReason, cbReason);
    return result;
}

static int writeServiceStatus(time_t when, int result, const char *szReason)
{
    char szDir[QUOMO_PATH_LEN];
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, QUOMO_PACKAGE_ETC) ||
        !orvPath(szPath, sizeof szPath, QUOMO_SERVICE_STATUS_PATH)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    /* On a fresh installation the package's directory may not exist yet. */
    if (!orvMakeDirs(szDir, 0755))
        return 0;
    char szText[QUOMO_REASON_LEN + 128];
    orvFormat(szText, sizeof szText, "time=%lld\nstatus=%d\n\n%s\n", (long long)when, result,
              szReason);
    return orvReplaceFile(szPath, szText, strlen(szText), 0644);
}

int quomoRestart(void)
{
    char szScript[QUOMO_PATH_LEN];
    /* A cut name would run another program: the script cannot be started. */
    if (!orvPath(szScript, sizeof szScript, QUOMO_RC_NETWORK)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 127;
    }
    int result = VORLCExec(szScript, "nat-restart-dhcp", NULL, NULL, NULL);
    if (result == 1)
        ORV_LOG("Failed to restart DHCP SERVER");
    return result;
}

int quomoRestartWithOutcome(char *szReason, size_t cbReason)
{
    if (!szReason || cbReason == 0)
        return 127;
    int result = runScript("nat-restart-dhcp", NULL, NULL, NULL, szReason, cbReason);
    if (result == 1)
        ORV_LOG("Failed to restart DHCP SERVER");
    if (!writeServiceStatus(time(NULL), result, szReason))
        ORV_LOG("Cannot keep the outcome of the restart");
    return result;
}

int quomoLastRestart(QuomoRestartOutcome *pOutcome)
{
    if (!pOutcome)
        return 0;
    memset(pOutcome, 0, sizeof *pOutcome);
    char szPath[QUOMO_PATH_LEN];
    std::string text;
    if (!orvPath(szPath, sizeof szPath, QUOMO_SERVICE_STATUS_PATH) || orvReadFile(szPath, text) <= 0)
        return 0;
    /* "time=<seconds>", "status=<exit status>", an empty line, the reason. */
    long long when = 0;
    int status = 0;
    int fields = 0;
    size_t start = 0;
    while (start < text.size() && text[start] != '\n') {
        size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? nl : nl - start);
        start = nl == std::string::npos ? text.size() : nl + 1;
        if (sscanf(line.c_str(), "time=%lld", &when) == 1 ||
            sscanf(line.c_str(), "status=%d", &status) == 1)
            ++fields;
    }
    if (fields != 2)
        return 0;
    std::string reason = start < text.size() ? text.substr(start + 1) : std::string();
    while (!reason.empty() && reason.back() == '\n')
        reason.pop_back();
    orvCopy(pOutcome->szReason, sizeof pOutcome->szReason, reason.c_str());
    pOutcome->time = when;
    pOutcome->status = status;
    return 1;
}

/* The pid that the start-up script's pid file names, when it is a dnsmasq. */
static bool pidFileNamesDnsmasq(const char *szPidFile)
{
    std::string text;
    if (orvReadFile(szPidFile, text) <= 0)
        return false;
    long pid = 0;
    if (sscanf(text.c_str(), "%ld", &pid) != 1 || pid <= 0)
        return false;
    char szComm[64];
    if (!orvFormat(szComm, sizeof szComm, "/proc/%ld/comm", pid))
        return false;
    FILE *comm = fopen(szComm, "re");
    if (!comm)
        return false;
    char szName[32] = "";
    bool named = fgets(szName, sizeof szName, comm) && strcmp(szName, "dnsmasq\n") == 0;
    fclose(comm);
    return named;
}

int quomoServiceRunning(void)
{
    char szPidFile[QUOMO_PATH_LEN];
    if (orvPath(szPidFile, sizeof szPidFile, QUOMO_DNSMASQ_PID_PATH) &&
        VORLCFileExist(szPidFile) == 1)
        return pidFileNamesDnsmasq(szPidFile) ? 1 : 0;
    /* Without the script's pid file only the system's own service counts:
     * a dnsmasq elsewhere on a test machine is not this root's. */
    if (orvRoot()[0] != '\0')
        return 0;
    return VORLCIsProcAlive("dnsmasq") == 1 ? 1 : 0;
}

/* ---- releasing a lease ---- */

int quomoReleaseLease(const char *szIfName, const char *szMac, const char *szIp,
                          char *szReason, size_t cbReason)
{
    if (!szReason || cbReason == 0)
        return 127;
    if (!szIfName || !szMac || !szIp || quomoNameFault(szIfName) ||
        strpbrk(szMac, "\r\n") || strpbrk(szIp, "\r\n")) {
        orvCopy(szReason, cbReason, "bad parameters");
        return 127;
    }
    int result = runScript("dhcp-release", szIfName, szIp, szMac, szReason, cbReason);
    if (result != 0) {
        ORV_LOG("Failed to release the lease of %s", szMac);
        return result;
    }
    quomoRemoveLeaseRecord(szMac, szIp);
    return 0;
}
