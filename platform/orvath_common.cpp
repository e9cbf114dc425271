#include "orvath_common.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
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

int orvProcDir(char *buf, size_t size)
{
    const char *env = getenv("ORVATH_PROC_IN_ROOT");
    if (env && strcmp(env, "1") == 0)
        return orvPath(buf, size, "/proc");
    return orvCopy(buf, size, "/proc");
}

static time_t fixedNow = (time_t)-1;

time_t orvNow(void)
{
    return fixedNow != (time_t)-1 ? fixedNow : time(NULL);
}

void orvSetClock(time_t now)
{
    fixedNow = now;
}

/* 0 when the file is one to read or lock, else the errno it is refused
 * with. */
static int notRegular(const struct stat *st)
{
    if (S_ISREG(st->st_mode))
        return 0;
    return S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
}

/* Opens name (relative to dirFd, or AT_FDCWD) with flags, never through a
 * symbolic link and without waiting in the open (a FIFO with no writer
 * would block it), and keeps the descriptor only for a regular file, whose
 * reads and writes O_NONBLOCK does not change: it stays set. -1 with errno
 * otherwise; st is the file's. */
static int openRegularAt(int dirFd, const char *name, int flags, mode_t mode, struct stat *st)
{
    int fd = openat(dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    int err = fstat(fd, st) != 0 ? errno : notRegular(st);
    if (err) {
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

int orvOpenRead(const char *path)
{
    struct stat st;
    return openRegularAt(AT_FDCWD, path, O_RDONLY, 0, &st);
}

FILE *orvFopenRead(const char *path)
{
    int fd = orvOpenRead(path);
    if (fd < 0)
        return NULL;
    FILE *fp = fdopen(fd, "r");
    if (!fp) {
        int err = errno;
        close(fd);
        errno = err;
    }
    return fp;
}

int orvLockFile(const char *path)
{
    /* Read-only is enough for flock, and lets a process that may not write
     * the lock file still share it. */
    struct stat st;
    int fd = openRegularAt(AT_FDCWD, path, O_RDONLY | O_CREAT, 0644, &st);
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

static char g_failure[1024];

/* Logs and notes a failure of path, and leaves errno as err. */
static int failed(const char *what, const char *path, int err);
/* failed, for the functions that answer a descriptor: always -1. */
static int failedFd(const char *what, const char *path, int err)
{
    failed(what, path, err);
    return -1;
}

int orvMakeDirs(const char *path, unsigned mode)
{
    char dir[4096];
    if (!path || !orvCopy(dir, sizeof dir, path))
        return failed("Path too long", path ? path : "", ENAMETOOLONG);
    /* The root itself is taken as given; only what lies below it is made. */
    size_t start = strlen(orvRoot());
    if (strncmp(dir, orvRoot(), start) != 0)
        start = 0;
    for (char *p = dir + start + 1; *p; ++p) {
        if (*p != '/')
            continue;
        *p = '\0';
        int ok = mkdir(dir, (mode_t)mode) == 0 || errno == EEXIST;
        int err = errno;
        *p = '/';
        if (!ok)
            return failed("Failed to mkdir", dir, err);
    }
    if (mkdir(dir, (mode_t)mode) != 0 && errno != EEXIST)
        return failed("Failed to mkdir", dir, errno);
    struct stat st;
    if (stat(dir, &st) != 0)
        return failed("Failed to mkdir", dir, errno);
    if (!S_ISDIR(st.st_mode))
        return failed("Failed to mkdir", dir, ENOTDIR);
    return 1;
}

static void sleepMs(unsigned ms)
{
    struct timespec ts = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

/* The request lock lies in a directory of the package's that only the
 * service's user may write: in a directory every account may write (the
 * system's lock directory), any of them could hold the lock, or plant a
 * FIFO or a link in its place, and so stop every request. */
#define ORV_LOCK_PARENT "/var/packages/Orvath/target/var"
#define ORV_LOCK_DIR ORV_LOCK_PARENT "/lock"
#define ORV_LOCK_NAME "orvath.lock"

static void noteText(const char *path, const char *text);

/* Refuses an unsafe request lock or its directory: logged, noted as
 * "<path>: refused: <why>", errno EPERM. Always -1. */
static int refuseLock(const char *path, const char *why)
{
    char text[128];
    orvFormat(text, sizeof text, "refused: %s", why);
    ORV_LOG("Request lock [%s] refused: %s", path, why);
    noteText(path, text);
    errno = EPERM;
    return -1;
}

/* The lock's directory, made 0700 when missing (its parents 0755), as a
 * descriptor; refused unless it is a directory of the process's user that
 * neither group nor others may write. */
static int openLockDir(const char *dir)
{
    char parent[4096];
    if (!orvPath(parent, sizeof parent, ORV_LOCK_PARENT))
        return failedFd("Path too long", orvRoot(), ENAMETOOLONG);
    if (!orvMakeDirs(parent, 0755))
        return -1;
    if (mkdir(dir, 0700) != 0 && errno != EEXIST)
        return failedFd("Failed to mkdir", dir, errno);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR))
        return refuseLock(dir, "not a directory");
    if (fd < 0)
        return failedFd("Failed to open directory", dir, errno);
    struct stat st;
    const char *why = NULL;
    if (fstat(fd, &st) != 0)
        why = "cannot be examined";
    else if (st.st_uid != geteuid())
        why = "owned by another user";
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        why = "writable by group or others";
    if (why) {
        close(fd);
        return refuseLock(dir, why);
    }
    return fd;
}

/* The lock file in its directory, created 0600; refused unless it is a
 * regular file of the process's user. */
static int openRequestLock(int dirFd, const char *name, const char *path)
{
    struct stat st;
    int fd = openRegularAt(dirFd, name, O_RDONLY | O_CREAT, 0600, &st);
    if (fd < 0 && errno == ELOOP)
        return refuseLock(path, "a symbolic link");
    if (fd < 0 && (errno == EINVAL || errno == EISDIR))
        return refuseLock(path, "not a regular file");
    if (fd < 0)
        return failedFd("Failed to open lock", path, errno);
    if (st.st_uid != geteuid()) {
        close(fd);
        return refuseLock(path, "owned by another user");
    }
    return fd;
}

int orvLockRequest(int exclusive, unsigned waitMs)
{
    return orvLockPrivate(ORV_LOCK_NAME, exclusive, waitMs);
}

int orvLockPrivate(const char *name, int exclusive, unsigned waitMs)
{
    char dir[4096];
    char path[4096];
    if (!orvPath(dir, sizeof dir, ORV_LOCK_DIR) ||
        !orvPath(path, sizeof path, ORV_LOCK_DIR "/%s", name)) {
        failed("Path too long", orvRoot(), ENAMETOOLONG);
        return -1;
    }
    int dirFd = openLockDir(dir);
    if (dirFd < 0)
        return -1;
    int fd = openRequestLock(dirFd, name, path);
    int err = errno;
    close(dirFd);
    errno = err;
    if (fd < 0)
        return -1;
    /* Polled rather than interrupted by a timer: the wait stays bounded
     * without touching the process's signal handlers. */
    unsigned waited = 0;
    unsigned pause = 1;
    for (;;) {
        if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0)
            return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            err = errno;
            close(fd);
            failed("Failed to lock", path, err);
            return -1;
        }
        if (waited >= waitMs)
            break;
        sleepMs(pause);
        waited += pause;
        pause = pause < 50 ? pause * 2 : 50;
    }
    close(fd);
    ORV_LOG("Lock [%s] held by another process for %u ms", path, waitMs);
    errno = EWOULDBLOCK;
    return -1;
}

void orvNoteFailure(const char *path, int err) { noteText(path, strerror(err)); }

void orvNoteReason(const char *where, const char *text) { noteText(where, text); }

/* Notes "<path under the root>: <text>" unless a failure is noted already. */
static void noteText(const char *path, const char *text)
{
    if (g_failure[0])
        return;
    const char *shown = path ? path : "";
    size_t rootLen = strlen(orvRoot());
    if (rootLen > 0 && strncmp(shown, orvRoot(), rootLen) == 0)
        shown += rootLen;
    while (*shown == '/')
        ++shown;
    orvFormat(g_failure, sizeof g_failure, "%s: %s", shown, text);
}

const char *orvFailure(void) { return g_failure; }

void orvClearFailure(void) { g_failure[0] = '\0'; }

static int failed(const char *what, const char *path, int err)
{
    ORV_LOG("%s [%s]: %s", what, path, strerror(err));
    orvNoteFailure(path, err);
    errno = err;
    return 0;
}

static int writeAll(int fd, const char *data, size_t len)
{
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return 0;
        if (n == 0) {
            errno = ENOSPC;
            return 0;
        }
        data += n;
        len -= (size_t)n;
    }
    return 1;
}

/* The new file's mode and owner: those of an existing regular file, else
 * mode less the umask. */
static int takeOldAttributes(int fd, const char *path, unsigned mode)
{
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return 0;
    }
    if (lstat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        if (geteuid() == 0 && fchown(fd, st.st_uid, st.st_gid) != 0)
            return 0;
        return fchmod(fd, st.st_mode & 07777) == 0;
    }
    mode_t mask = umask(0);
    umask(mask);
    return fchmod(fd, (mode_t)mode & 07777 & ~mask) == 0;
}

/* A temporary of orvPrepareReplace: "." + the file's name + "." + six
 * characters that mkostemp chooses. */
#define TEMP_SUFFIX "XXXXXX"
enum { kTempSuffixLen = sizeof TEMP_SUFFIX - 1 };

int orvIsReplaceTemporary(const char *entry, const char *base)
{
    size_t len = strlen(entry);
    if (len < kTempSuffixLen + 3 || entry[0] != '.' || entry[len - kTempSuffixLen - 1] != '.')
        return 0;
    for (size_t i = len - kTempSuffixLen; i < len; ++i) {
        char c = entry[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return 0;
    }
    if (!base)
        return 1;
    size_t baseLen = strlen(base);
    return len == baseLen + kTempSuffixLen + 2 && memcmp(entry + 1, base, baseLen) == 0;
}

static int prepareReplacePieces(const char *path, const OrvPiece *pieces, size_t count,
                                unsigned mode, char *temp, size_t tempSize)
{
    const char *slash = strrchr(path, '/');
    int fit = slash ? orvFormat(temp, tempSize, "%.*s.%s." TEMP_SUFFIX, (int)(slash - path + 1),
                                path, slash + 1)
                    : orvFormat(temp, tempSize, "." "%s." TEMP_SUFFIX, path);
    if (!fit)
        return failed("Path too long", path, ENAMETOOLONG);
    int fd = mkostemp(temp, O_CLOEXEC);
    if (fd < 0)
        return failed("Failed to create a temporary file for", path, errno);
    int ok = takeOldAttributes(fd, path, mode);
    for (size_t i = 0; ok && i < count; ++i)
        ok = writeAll(fd, (const char *)pieces[i].data, pieces[i].len);
    ok = ok && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = 0;
        err = errno;
    }
    if (!ok) {
        unlink(temp);
        return failed("Failed to write", path, err);
    }
    return 1;
}

int orvPrepareReplace(const char *path, const void *data, size_t len, unsigned mode, char *temp,
                      size_t tempSize)
{
    if (!path || (!data && len > 0) || !temp || tempSize == 0)
        return failed("Bad arguments to replace", path ? path : "", EINVAL);
    OrvPiece whole = {data, len};
    return prepareReplacePieces(path, &whole, 1, mode, temp, tempSize);
}

int orvCommitReplace(const char *temp, const char *path)
{
    if (rename(temp, path) == 0)
        return 1;
    int err = errno;
    unlink(temp);
    return failed("Failed to write", path, err);
}

void orvAbandonReplace(const char *temp)
{
    if (temp && temp[0])
        unlink(temp);
}

int orvReplaceFile(const char *path, const void *data, size_t len, unsigned mode)
{
    char temp[4096];
    return orvPrepareReplace(path, data, len, mode, temp, sizeof temp) &&
           orvCommitReplace(temp, path);
}

int orvReplaceFilePieces(const char *path, const OrvPiece *pieces, size_t count, unsigned mode)
{
    char temp[4096];
    if (!path || (!pieces && count > 0))
        return failed("Bad arguments to replace", path ? path : "", EINVAL);
    for (size_t i = 0; i < count; ++i)
        if (!pieces[i].data && pieces[i].len > 0)
            return failed("Bad arguments to replace", path, EINVAL);
    return prepareReplacePieces(path, pieces, count, mode, temp, sizeof temp) &&
           orvCommitReplace(temp, path);
}

int orvSyncDir(const char *path)
{
    char dir[4096];
    const char *slash = path ? strrchr(path, '/') : NULL;
    if (!slash)
        return orvCopy(dir, sizeof dir, ".") ? 1 : 0;
    if (!orvFormat(dir, sizeof dir, "%.*s", slash == path ? 1 : (int)(slash - path), path))
        return failed("Path too long", path, ENAMETOOLONG);
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed("Failed to open directory", dir, errno);
    int ok = fsync(fd) == 0;
    int err = errno;
    close(fd);
    return ok ? 1 : failed("Failed to sync directory", dir, err);
}

/* Reads up to len bytes into buf; how many in *pGot. The errno of a failed
 * read, else 0. */
static int readUpTo(int fd, char *buf, size_t len, size_t *pGot)
{
    *pGot = 0;
    while (*pGot < len) {
        ssize_t n = read(fd, buf + *pGot, len - *pGot);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        *pGot += (size_t)n;
    }
    return 0;
}

/* Appends the rest of the file to out; the errno of a failed read, else 0. */
static int appendRest(int fd, std::string &out)
{
    char buf[4096];
    for (;;) {
        size_t got;
        int err = readUpTo(fd, buf, sizeof buf, &got);
        out.append(buf, got);
        if (err || got < sizeof buf)
            return err;
    }
}

int orvReadFile(const char *path, std::string &out)
{
    out.clear();
    struct stat st;
    int fd = openRegularAt(AT_FDCWD, path, O_RDONLY, 0, &st);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    /* The size the file has read straight into the text, then what it may
     * have grown by. */
    size_t size = st.st_size > 0 && (unsigned long long)st.st_size < 1ULL << 30 ? (size_t)st.st_size : 0;
    out.resize(size);
    size_t got = 0;
    int err = size ? readUpTo(fd, &out[0], size, &got) : 0;
    out.resize(got);
    if (!err && got == size)
        err = appendRest(fd, out);
    close(fd);
    errno = err;
    return err ? -1 : 1;
}

int orvMapFile(const char *path, OrvMapping *mapping)
{
    mapping->data = NULL;
    mapping->size = 0;
    int fd = orvOpenRead(path);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    struct stat st;
    int result = 1;
    if (fstat(fd, &st) != 0) {
        result = -1;
    } else if (st.st_size > 0) {
        void *data = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) {
            result = -1;
        } else {
            mapping->data = (const char *)data;
            mapping->size = (size_t)st.st_size;
        }
    }
    int err = errno;
    close(fd);
    errno = err;
    return result;
}

void orvUnmapFile(OrvMapping *mapping)
{
    if (mapping->data)
        munmap((void *)mapping->data, mapping->size);
    mapping->data = NULL;
    mapping->size = 0;
}
