/*
 * The lease log in memory (see quomodhcp_lease_log.h), and the library's
 * entry points that bring it up to date under its lock.
 */
#include "quomodhcp_lease_log.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* The working copy earlier versions walked the log through; one left behind
 * by a run that was cut short is removed. */
#define LEASE_LOG_WORKING_COPY QUOMO_LEASE_LOG_PATH ".tmp"

std::string quomoMacKey(const char *szMac, size_t len)
{
    std::string key(szMac, len);
    for (char &c : key)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return key;
}

int quomoSplitBlanks(const char *text, size_t len, QuomoField *fields, int max)
{
    int count = 0;
    size_t start = 0;
    for (;;) {
        const void *blank = memchr(text + start, ' ', len - start);
        size_t end = blank ? (size_t)((const char *)blank - text) : len;
        if (count < max)
            fields[count] = QuomoField{text + start, end - start};
        ++count;
        if (!blank)
            return count;
        start = end + 1;
    }
}

/* The index key of a line: its second field, read as the C string it is up
 * to a NUL byte; "" when it has none. */
static std::string lineKey(const QuomoLogLine &line)
{
    size_t len = strnlen(line.raw.c_str(), line.textLen);
    QuomoField fields[2];
    if (quomoSplitBlanks(line.raw.c_str(), len, fields, 2) < 2)
        return "";
    return quomoMacKey(fields[1].p, fields[1].n);
}

static void addLine(QuomoLeaseLog &log, std::string raw, size_t textLen)
{
    log.lines.push_back(QuomoLogLine{std::move(raw), textLen, true});
    log.byMac[lineKey(log.lines.back())].push_back(log.lines.size() - 1);
}

/* Length of a line without "\n" and then one "\r" at its end. */
static size_t textLength(const char *line, size_t len)
{
    if (len > 0 && line[len - 1] == '\n')
        --len;
    if (len > 0 && line[len - 1] == '\r')
        --len;
    return len;
}

int quomoLeaseLogLoad(QuomoLeaseLog &log, const char *szPath)
{
    log.lines.clear();
    log.byMac.clear();
    log.unterminated = SIZE_MAX;
    FILE *fp = fopen(szPath, "r");
    if (!fp) {
        if (errno == ENOENT || errno == ENOTDIR)
            return 0;
        ORV_LOG("Failed to open [%s]: %s", szPath, strerror(errno));
        return -1;
    }
    char *line = NULL;
    size_t cap = 0;
    ssize_t len;
    while ((len = getline(&line, &cap, fp)) > 0)
        addLine(log, std::string(line, (size_t)len), textLength(line, (size_t)len));
    int failed = ferror(fp);
    free(line);
    fclose(fp);
    if (failed) {
        ORV_LOG("Failed to read [%s]", szPath);
        return -1;
    }
    if (!log.lines.empty() && log.lines.back().raw.back() != '\n')
        log.unterminated = log.lines.size() - 1;
    return 1;
}

std::string quomoLeaseLogText(const QuomoLeaseLog &log)
{
    std::string text;
    for (const QuomoLogLine &line : log.lines)
        if (line.live)
            text += line.raw;
    return text;
}

void quomoLeaseLogAppend(QuomoLeaseLog &log, const std::string &text)
{
    /* The old last line gets the line end it lacked. */
    if (log.unterminated != SIZE_MAX) {
        QuomoLogLine &last = log.lines[log.unterminated];
        if (last.live)
            last.raw += '\n';
        log.unterminated = SIZE_MAX;
    }
    addLine(log, text + "\n", text.size());
}

size_t quomoLeaseLogRemove(QuomoLeaseLog &log, const char *text, size_t len)
{
    /* A line equal to text names the MAC address text names. */
    QuomoLogLine probe{std::string(text, len), len, true};
    auto found = log.byMac.find(lineKey(probe));
    if (found == log.byMac.end())
        return 0;
    std::vector<size_t> &positions = found->second;
    size_t removed = 0;
    size_t kept = 0;
    for (size_t pos : positions) {
        QuomoLogLine &line = log.lines[pos];
        if (line.textLen == len && memcmp(line.raw.data(), text, len) == 0) {
            line.live = false;
            ++removed;
        } else {
            positions[kept++] = pos;
        }
    }
    positions.resize(kept);
    return removed;
}

size_t quomoLeaseLogFind(const QuomoLeaseLog &log, const char *szMac)
{
    auto found = log.byMac.find(quomoMacKey(szMac, strlen(szMac)));
    if (found == log.byMac.end() || found->second.empty())
        return SIZE_MAX;
    return found->second.front();
}

/* Replaces the log with its new content when that differs from before. */
static int saveIfChanged(const QuomoLeaseLog &log, const std::string &before, const char *szPath)
{
    std::string after = quomoLeaseLogText(log);
    if (after == before)
        return 0;
    if (!orvReplaceFile(szPath, after.data(), after.size(), 0644) || !orvSyncDir(szPath))
        return -1;
    return 0;
}

enum { LEASE_UPDATE = 1, LEASE_EXPIRE = 2 };

/* Runs the passes the steps name over the log, holding its lock, and writes
 * the log at most once. Returns the results of the passes in *pUpdate and
 * *pExpire (those not run: 0); a log that cannot be written fails both. */
static void refresh(int steps, int *pUpdate, int *pExpire)
{
    *pUpdate = 0;
    *pExpire = 0;
    char szLog[QUOMO_PATH_LEN];
    char szLeases[QUOMO_PATH_LEN];
    char szLock[QUOMO_PATH_LEN];
    char szWorking[QUOMO_PATH_LEN];
    if (!orvPath(szLog, sizeof szLog, QUOMO_LEASE_LOG_PATH) ||
        !orvPath(szLeases, sizeof szLeases, QUOMO_LEASE_FILE_PATH) ||
        !orvPath(szLock, sizeof szLock, QUOMO_LEASE_LOG_LOCK_PATH) ||
        !orvPath(szWorking, sizeof szWorking, LEASE_LOG_WORKING_COPY)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        *pUpdate = *pExpire = -1;
        return;
    }
    /* Without the lock the work is still done. */
    int lockFd = orvLockFile(szLock);
    QuomoLeaseLog log;
    int loaded = quomoLeaseLogLoad(log, szLog);
    std::string before = quomoLeaseLogText(log);
    if (steps & LEASE_UPDATE) {
        /* No log: there is no record to update, and none is made. */
        *pUpdate = quomoLeaseLogUpdate(log, szLeases);
    }
    if (steps & LEASE_EXPIRE) {
        if (loaded <= 0) {
            ORV_LOG("Can not open DHCP lease file");
            *pExpire = -1;
        } else {
            QuomoReserved *pReserved = QUOMODHCPReservedLoad();
            *pExpire = quomoLeaseLogRemoveExpired(log, pReserved, (int64_t)time(NULL));
            QUOMODHCPReservedFree(pReserved);
        }
        if (access(szWorking, F_OK) == 0)
            VORLCSysUnlink(szWorking);
    }
    if (loaded > 0 && saveIfChanged(log, before, szLog) != 0) {
        ORV_LOG("Failed to write the lease log [%s]", szLog);
        *pUpdate = *pExpire = -1;
    }
    orvUnlockFile(lockFd);
}

int QUOMODHCPUpdateLease(void)
{
    int update, expire;
    refresh(LEASE_UPDATE, &update, &expire);
    return update;
}

int QUOMODHCPRemoveExpiredLease(void)
{
    int update, expire;
    refresh(LEASE_EXPIRE, &update, &expire);
    return expire;
}

int QUOMODHCPRefreshLeaseLog(void)
{
    int update, expire;
    refresh(LEASE_UPDATE | LEASE_EXPIRE, &update, &expire);
    if (update < 0)
        ORV_LOG("Updating leasetime failed");
    if (expire < 0)
        ORV_LOG("Cannot remove expired lease");
    return update < 0 || expire < 0 ? -1 : 0;
}
