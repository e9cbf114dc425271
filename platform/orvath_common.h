/*
 * Helpers shared by the library, the platform layer and the programs:
 * logging, bounded text, the file-system root, and locks between processes.
 */
#ifndef ORVATH_COMMON_H
#define ORVATH_COMMON_H

#include <stddef.h>
#include <stdio.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Logs at LOG_ERR. Use ORV_LOG, which prefixes "<source file>:<line> ".
 * With ORVATH_LOG_STDERR=1 in the environment the line also goes to stderr. */
void orvLogf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
const char *orvBaseName(const char *path);
#define ORV_LOG(fmt, ...) orvLogf("%s:%d " fmt, orvBaseName(__FILE__), __LINE__, ##__VA_ARGS__)

/* snprintf into buf; always NUL-terminated. False when the text was cut
 * (or buf is unusable). */
int orvFormat(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
/* Copies src (NULL: "") into buf, cut to size-1 characters, NUL-terminated.
 * False when the text was cut. */
int orvCopy(char *buf, size_t size, const char *src);

/* The root under which every file of the system lies: ORVATH_ROOT, or "" for
 * "/" when unset or empty. A trailing "/" is dropped. */
const char *orvRoot(void);
/* Formats an absolute path (fmt begins with "/") under the root into buf.
 * False when it did not fit. */
int orvPath(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

/* The process table that process checks read: "/proc", or <root>/proc when
 * ORVATH_PROC_IN_ROOT=1 (tests list made-up processes there, so that no
 * process of another test is seen). False when the name did not fit. */
int orvProcDir(char *buf, size_t size);

/* The current time: time(NULL), or the time a test fixed with orvSetClock. */
time_t orvNow(void);
/* Fixes the clock that orvNow reads at now; (time_t)-1 returns to the real
 * clock. For tests only. */
void orvSetClock(time_t now);

/* Replaces the file at path whole with data[0 .. len-1]: the content goes
 * to a temporary file with a unique name in the same directory, is synced,
 * and is renamed over path. A symbolic link at path is replaced itself, never
 * written through; a directory at path is a failure and stays. The new file
 * keeps an existing regular file's mode (and, as root, owner); a new one gets
 * mode & ~umask. 1 on success; 0 on failure, with the old file untouched,
 * errno set, the reason logged and noted (orvNoteFailure). The directory is
 * not synced: see orvSyncDir. */
int orvReplaceFile(const char *path, const void *data, size_t len, unsigned mode);
/* A piece of a file's new content. */
typedef struct OrvPiece {
    const void *data;
    size_t len;
} OrvPiece;
/* orvReplaceFile with the content given as count pieces, one after another
 * (a large content need not be copied into one buffer first). */
int orvReplaceFilePieces(const char *path, const OrvPiece *pieces, size_t count, unsigned mode);
/* orvReplaceFile in two halves, for files that are to change together:
 * orvPrepareReplace writes and syncs the new content to the temporary file
 * whose name it puts into temp (1; or 0 with nothing left behind, as
 * orvReplaceFile fails); orvCommitReplace renames it over path (0 on failure,
 * logged and noted, the temporary removed); orvAbandonReplace removes a
 * prepared temporary instead. */
int orvPrepareReplace(const char *path, const void *data, size_t len, unsigned mode, char *temp,
                      size_t tempSize);
int orvCommitReplace(const char *temp, const char *path);
void orvAbandonReplace(const char *temp);
/* 1 when the directory entry is a temporary file of orvPrepareReplace: one
 * of the file named base, or of any file when base is NULL. The one place
 * that knows their names, for the clean-up after a writer was killed. */
int orvIsReplaceTemporary(const char *entry, const char *base);
/* fsyncs the directory that holds path (once per request, after its
 * renames). 1 on success; 0 on failure, logged and noted. */
int orvSyncDir(const char *path);

/* Notes the first failure of the request: "<path under the root>: <strerror
 * (err)>", e.g. "etc/dhcpd/dhcpdStatic.ori: No space left on device". Later
 * notes are ignored until orvClearFailure. orvFailure returns the note, or
 * "" when none. */
void orvNoteFailure(const char *path, int err);
/* Notes the first failure as "<where>: <text>" where it is not a file's
 * (a value the library refuses on its own account). */
void orvNoteReason(const char *where, const char *text);
const char *orvFailure(void);
void orvClearFailure(void);

/* Takes an exclusive advisory lock (flock) on the lock file path, creating
 * it (mode 0644) when missing, and waits while another process holds it.
 * Writers that replace a file by rename lock a separate file beside it, never
 * the file itself. Only a regular file is locked: a symbolic link, a FIFO or
 * a device at path is refused without waiting on it. Returns the descriptor
 * for orvUnlockFile, or -1 when the lock cannot be taken (logged): the caller
 * then goes on without it. */
int orvLockFile(const char *path);
/* Releases a lock of orvLockFile; -1 is ignored. */
void orvUnlockFile(int fd);

/* The request lock: flock on orvath.lock in
 * <root>/var/packages/Orvath/target/var/lock, a directory that only the
 * process's user may write (made 0700 when missing). Requests that change
 * the service take it exclusive, listings shared, so a listing never sees
 * half of a save and two saves never interleave. Waits at most waitMs for
 * it. Returns the descriptor for orvUnlockFile, or -1 with errno EWOULDBLOCK
 * when other requests held it for the whole wait. Any other -1 is logged and
 * noted: the lock could not be opened, or it is refused (errno EPERM) because
 * its directory is another user's or writable by group or others, or the
 * lock is a symbolic link, not a regular file, or another user's. */
int orvLockRequest(int exclusive, unsigned waitMs);
/* A lock of the same directory under another name (orvLockRequest's checks
 * and bounded wait), e.g. the lease log's. */
int orvLockPrivate(const char *name, int exclusive, unsigned waitMs);

/* Opens path for reading, but only a regular file: a symbolic link at path
 * (ELOOP), a FIFO, socket or device (EINVAL) and a directory (EISDIR) are
 * refused, and the open never waits (a FIFO without a writer would block
 * it). Every reader of a file the system owns opens it so. Returns a
 * descriptor (close-on-exec, blocking reads) or -1 with errno; not logged. */
int orvOpenRead(const char *path);
/* orvOpenRead as a stdio stream for reading; NULL with errno. */
FILE *orvFopenRead(const char *path);

/* mkdir -p for a path under the root: makes each missing directory of path
 * with mode (less the umask). 1 when path is a directory afterwards; 0 on
 * failure, logged and noted (a file in the way gives ENOTDIR). */
int orvMakeDirs(const char *path, unsigned mode);

/* A file mapped read-only whole. */
typedef struct OrvMapping {
    const char *data; /* NULL for an empty file */
    size_t size;
} OrvMapping;
/* Maps the regular file at path, opened by orvOpenRead: 1 mapped, 0 no such file, -1 an error, errno kept; not
 * logged. Unmapped with orvUnmapFile. */
int orvMapFile(const char *path, OrvMapping *mapping);
void orvUnmapFile(OrvMapping *mapping);

#ifdef __cplusplus
}

#include <string>
/* Reads the whole file at path, opened by orvOpenRead, into out (emptied
 * first): 1 read, 0 no such file (ENOENT or ENOTDIR), -1 an error (a link, a
 * FIFO or a device at path among them), errno kept; not logged. */
int orvReadFile(const char *path, std::string &out);
#endif

#endif /* ORVATH_COMMON_H */
