/*
 * File removal and opening, running programs, the process test and the
 * last-error code.
 */
#include "vorl.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "orvath_common.h"

static int lastError = 0;

void VORLCErrSet(int code) { lastError = code; }

int VORLCErrGet(void) { return lastError; }

int VORLCSysRemove(const char *szPath)
{
    if (!szPath) {
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return -1;
    }
    return remove(szPath) == 0 ? 0 : -1;
}

int VORLCSysUnlink(const char *szPath)
{
    if (!szPath) {
        ORV_LOG("Invalid argument to VORLCSysUnlink");
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return -1;
    }
    if (unlink(szPath) == 0 || errno == ENOENT)
        return 0;
    ORV_LOG("Failed to unlink [%s]: %s", szPath, strerror(errno));
    return -1;
}

FILE *VORLCSysFopen(const char *szPath, const char *szMode, const char *szSrc, int line)
{
    if (!szPath || !szMode) {
        ORV_LOG("Invalid argument to VORLCSysFopen from %s:%d", szSrc ? orvBaseName(szSrc) : "?",
                line);
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return NULL;
    }
    /* Reading opens only a regular file, never through a link (orvOpenRead). */
    bool readOnly = szMode[0] == 'r' && !strchr(szMode, '+');
    FILE *fp = readOnly ? orvFopenRead(szPath) : fopen(szPath, szMode);
    /* A missing file opened for reading is an ordinary answer ("nothing
     * there yet"), not a fault worth a log line. */
    if (!fp && !(errno == ENOENT && szMode[0] == 'r'))
        ORV_LOG("Failed to open [%s] (%s) from %s:%d: %s", szPath, szMode,
                szSrc ? orvBaseName(szSrc) : "?", line, strerror(errno));
    return fp;
}

int VORLCExec(const char *szProg, const char *a1, const char *a2, const char *a3, const char *a4)
{
    if (!szProg || !*szProg) {
        ORV_LOG("Invalid argument to VORLCExec");
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return 127;
    }
    /* argv: the program, then the arguments up to the first NULL. */
    const char *argv[6] = {szProg, NULL, NULL, NULL, NULL, NULL};
    const char *args[4] = {a1, a2, a3, a4};
    for (int i = 0; i < 4 && args[i]; ++i)
        argv[i + 1] = args[i];

    pid_t pid = fork();
    if (pid < 0) {
        ORV_LOG("Failed to start [%s]: %s", szProg, strerror(errno));
        return 127;
    }
    if (pid == 0) {
        /* Standard output may be a CGI answer: the program's output goes
         * to standard error instead, so it cannot corrupt the answer. */
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execv(szProg, (char *const *)argv);
        _exit(127);
    }
    int status = 0;
    pid_t done;
    do {
        done = waitpid(pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done < 0) {
        ORV_LOG("Failed to wait for [%s]: %s", szProg, strerror(errno));
        return 127;
    }
    if (WIFEXITED(status)) {
        int code = WEXITSTATUS(status);
        if (code == 127)
            ORV_LOG("[%s] could not be started", szProg);
        return code;
    }
    if (WIFSIGNALED(status)) {
        ORV_LOG("[%s] killed by signal %d", szProg, WTERMSIG(status));
        return -WTERMSIG(status);
    }
    return 127;
}

/* True when text is a non-empty run of decimal digits. */
static int isNumber(const char *text)
{
    if (!*text)
        return 0;
    for (; *text; ++text) {
        if (!isdigit((unsigned char)*text))
            return 0;
    }
    return 1;
}

int VORLCIsProcAlive(const char *szName)
{
    if (!szName || !*szName) {
        ORV_LOG("Invalid argument to VORLCIsProcAlive");
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return 0;
    }
    /* The process table of the running system: /proc is not under the
     * file-system root (unless a test asks for it). */
    char proc[4096];
    if (!orvProcDir(proc, sizeof proc)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    DIR *dir = opendir(proc);
    if (!dir) {
        ORV_LOG("Failed to open %s: %s", proc, strerror(errno));
        return 0;
    }
    int found = 0;
    struct dirent *entry;
    while (!found && (entry = readdir(dir)) != NULL) {
        if (!isNumber(entry->d_name))
            continue;
        char path[4096 + 64];
        if (!orvFormat(path, sizeof path, "%s/%s/comm", proc, entry->d_name))
            continue;
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue; /* the process ended meanwhile */
        char comm[64];
        ssize_t n = read(fd, comm, sizeof comm - 1);
        close(fd);
        if (n <= 0)
            continue;
        comm[n] = '\0';
        comm[strcspn(comm, "\n")] = '\0';
        found = strcmp(comm, szName) == 0;
    }
    closedir(dir);
    return found;
}
