#include "orvath_common.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <syslog.h>
#include <unistd.h>

static void openLogOnce(void)
{
    static int opened = 0;
    if (opened)
        return;
    const char *toStderr = getenv("ORVATH_LOG_STDERR");
    int options = LOG_PID;
    if (toStderr && strcmp(toStderr, "1") == 0)
        options |= LOG_PERROR;
    openlog("orvath", options, LOG_DAEMON);
    opened = 1;
}

void orvLogf(const char *fmt, ...)
{
    openLogOnce();
    va_list ap;
    va_start(ap, fmt);
    vsyslog(LOG_ERR, fmt, ap);
    va_end(ap);
}

const char *orvBaseName(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static int formatV(char *buf, size_t size, const char *fmt, va_list ap)
{
    if (!buf || size == 0)
        return 0;
    int n = vsnprintf(buf, size, fmt, ap);
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    return (size_t)n < size;
}

int orvFormat(char *buf, size_t size, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int ok = formatV(buf, size, fmt, ap);
    va_end(ap);
    return ok;
}

int orvCopy(char *buf, size_t size, const char *src)
{
    if (!buf || size == 0)
        return 0;
    if (!src)
        src = "";
    size_t len = strlen(src);
    size_t n = len < size - 1 ? len : size - 1;
    memcpy(buf, src, n);
    buf[n] = '\0';
    return n == len;
}

const char *orvRoot(void)
{
    /* Read anew on every call so that a test may change the root. */
    static char root[4096];
    const char *env = getenv("ORVATH_ROOT");
    if (!env || !*env || !orvCopy(root, sizeof root, env))
        return "";
    size_t len = strlen(root);
    while (len > 0 && root[len - 1] == '/')
        root[--len] = '\0';
    return root;
}

int orvPath(char *buf, size_t size, const char *fmt, ...)
{
    if (!buf || size == 0)
        return 0;
    const char *root = orvRoot();
    if (!orvCopy(buf, size, root))
        return 0;
    size_t used = strlen(buf);
    va_list ap;
    va_start(ap, fmt);
    int ok = formatV(buf + used, size - used, fmt, ap);
    va_end(ap);
    return ok;
}

int orvLockFile(const char *path)
{
    /* Read-only is enough for flock, and lets a process that may not write
     * the lock file still share it. */
    int fd = open(path, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        ORV_LOG("Failed to open lock [%s]: %s", path, strerror(errno));
        return -1;
    }
    int ret;
    do {
        ret = flock(fd, LOCK_EX);
    } while (ret != 0 && errno == EINTR);
    if (ret != 0) {
        ORV_LOG("Failed to lock [%s]: %s", path, strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

void orvUnlockFile(int fd)
{
    if (fd < 0)
        return;
    /* Closing the only descriptor of the open file releases the lock. */
    flock(fd, LOCK_UN);
    close(fd);
}
