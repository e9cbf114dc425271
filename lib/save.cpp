/*
 * One save (see save.h).
 */
#include "save.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"

int quomoPrepareFile(const char *szPath, const char *data, size_t len, QuomoPendingList &pending)
{
    char szTemp[QUOMO_TEMP_PATH_LEN];
    if (!orvPrepareReplace(szPath, data, len, 0666, szTemp, sizeof szTemp)) {
        ORV_LOG("Failed to open file [%s].", szPath);
        return 0;
    }
    pending.push_back({szTemp, szPath});
    return 1;
}

int quomoCommitPending(QuomoPendingList &pending)
{
    size_t i = 0;
    while (i < pending.size() && orvCommitReplace(pending[i].temp.c_str(), pending[i].path.c_str()))
        ++i;
    int ok = i == pending.size();
    if (!ok) {
        pending.erase(pending.begin(), pending.begin() + (long)i + 1);
        quomoAbandonPending(pending);
    }
    pending.clear();
    return ok;
}

void quomoAbandonPending(QuomoPendingList &pending)
{
    for (const QuomoPending &p : pending)
        orvAbandonReplace(p.temp.c_str());
    pending.clear();
}

int quomoReplace(const char *szPath, const char *data, size_t len)
{
    return orvReplaceFile(szPath, data, len, 0666);
}

int quomoRemoveFile(const char *szPath)
{
    if (unlink(szPath) == 0 || errno == ENOENT)
        return 1;
    int err = errno;
    ORV_LOG("Failed to remove [%s]: %s", szPath, strerror(err));
    orvNoteFailure(szPath, err);
    return 0;
}

int quomoMakeDhcpdDir(void)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, QUOMO_DHCPD_DIR)) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        orvNoteFailure(szDir, ENAMETOOLONG);
        return 0;
    }
    /* mkdir(2) of a directory that exists is one failing system call: cheap
     * enough to make sure of it before every file. */
    if (!orvMakeDirs(szDir, 0755)) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        return 0;
    }
    return 1;
}

/* Removes the temporaries in the directory dir (under the root) of the file
 * named base (NULL: of any file); returns how many. */
static int removeTemporaries(const char *dir, const char *base)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, "%s", dir))
        return 0;
    DIR *d = opendir(szDir);
    if (!d)
        return 0;
    int removed = 0;
    while (struct dirent *e = readdir(d)) {
        if (!orvIsReplaceTemporary(e->d_name, base))
            continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (unlinkat(dirfd(d), e->d_name, 0) == 0)
            ++removed;
        else
            ORV_LOG("Failed to remove [%s/%s]: %s", szDir, e->d_name, strerror(errno));
    }
    closedir(d);
    return removed;
}

int quomoRemoveStaleTemporaries(void)
{
    /* In /etc only the library's own file: the directory is the system's.
     * Beside the status file the lease log's writers tidy their own under
     * the log's lock. */
    return removeTemporaries(QUOMO_DHCPD_DIR, NULL) +
           removeTemporaries(QUOMO_ETC_DIR, QUOMO_APPLIANCE_CONF_NAME) +
           removeTemporaries(QUOMO_PACKAGE_ETC, QUOMO_SERVICE_STATUS_NAME);
}

/* Syncs the directory (under the root) when it exists. */
static int syncIfPresent(const char *dir)
{
    char szDir[QUOMO_PATH_LEN];
    char szEntry[QUOMO_PATH_LEN];
    struct stat st;
    if (!orvPath(szDir, sizeof szDir, "%s", dir) || stat(szDir, &st) != 0 || !S_ISDIR(st.st_mode))
        return 1;
    /* orvSyncDir takes a path inside the directory. */
    return orvFormat(szEntry, sizeof szEntry, "%s/.", szDir) ? orvSyncDir(szEntry) : 0;
}

int quomoSyncSave(void)
{
    int ok = syncIfPresent(QUOMO_DHCPD_DIR);
    return syncIfPresent(QUOMO_ETC_DIR) && ok;
}
