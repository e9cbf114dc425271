/*
 * The lease log in memory (see quomodhcp_lease_log.h), and the library's
 * entry points that bring it up to date under its lock.
 */
#include "quomodhcp_lease_log.h"

#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
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

int quomoSplitFields(const char *text, size_t len, const char *szDelims, QuomoField *fields,
                     int max)
{
    int count = 0;
    size_t start = 0;
    size_t nDelims = strlen(szDelims);
    for (;;) {
        size_t end = start;
        if (nDelims == 1) {
            const void *at = memchr(text + start, szDelims[0], len - start);
            end = at ? (size_t)((const char *)at - text) : len;
        } else {
            while (end < len && !memchr(szDelims, text[end], nDelims))
                ++end;
        }
        if (count < max)
            fields[count] = QuomoField{text + start, end - start};
        if (count < INT_MAX)
            ++count;
        if (end == len)
            return count;
        start = end + 1;
    }
}

int quomoSplitBlanks(const char *text, size_t len, QuomoField *fields, int max)
{
    return quomoSplitFields(text, len, " ", fields, max);
}

void quomoCopyField(char *buf, size_t size, QuomoField field)
{
    size_t n = field.n < size - 1 ? field.n : size - 1;
    memcpy(buf, field.p, n);
    buf[n] = '\0';
}

const char *quomoLeaseLogBytes(const QuomoLeaseLog &log, size_t pos)
{
    const QuomoLogLine &line = log.lines[pos];
    return (line.added ? log.added.data() : log.text.data()) + line.offset;
}

/* The MAC field of text[0 .. len-1] read as the C string it is (up to a NUL
 * byte): its second blank-separated field, or an empty one. */
static QuomoField macField(const char *text, size_t len)
{
    QuomoField fields[2];
    if (quomoSplitBlanks(text, strnlen(text, len), fields, 2) < 2)
        return QuomoField{"", 0};
    return fields[1];
}

static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

static bool sameMac(QuomoField a, QuomoField b)
{
    if (a.n != b.n)
        return false;
    for (size_t i = 0; i < a.n; ++i)
        if (lowerAscii(a.p[i]) != lowerAscii(b.p[i]))
            return false;
    return true;
}

/* FNV-1a over the MAC address in lower case. */
static uint32_t macHash(QuomoField mac)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < mac.n; ++i)
        h = (h ^ (unsigned char)lowerAscii(mac.p[i])) * 16777619u;
    return h;
}

static QuomoField lineMac(const QuomoLeaseLog &log, size_t pos)
{
    return macField(quomoLeaseLogBytes(log, pos), log.lines[pos].textLen);
}

/* Puts line pos last in the chain of its bucket. */
static void chain(QuomoLeaseLog &log, uint32_t pos)
{
    uint32_t bucket = macHash(lineMac(log, pos)) & (uint32_t)(log.head.size() - 1);
    log.lines[pos].next = QUOMO_NO_LINE;
    if (log.head[bucket] == QUOMO_NO_LINE)
        log.head[bucket] = pos;
    else
        log.lines[log.tail[bucket]].next = pos;
    log.tail[bucket] = pos;
}

/* Sizes the buckets for at least twice the lines there are and chains every
 * line, in file order. */
static void rehash(QuomoLeaseLog &log)
{
    size_t size = 64;
    while (size < 2 * log.lines.size())
        size *= 2;
    log.head.assign(size, QUOMO_NO_LINE);
    log.tail.assign(size, QUOMO_NO_LINE);
    for (size_t pos = 0; pos < log.lines.size(); ++pos)
        chain(log, (uint32_t)pos);
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
    log = QuomoLeaseLog();
    rehash(log);
    int read = orvReadFile(szPath, log.text);
    if (read == 0)
        return 0;
    /* Positions and lengths are kept in 32 bits. */
    if (read < 0 || log.text.size() >= UINT32_MAX / 2) {
        ORV_LOG("Failed to read [%s]", szPath);
        return -1;
    }
    const char *bytes = log.text.data();
    size_t start = 0;
    while (start < log.text.size()) {
        const void *nl = memchr(bytes + start, '\n', log.text.size() - start);
        size_t end = nl ? (size_t)((const char *)nl - bytes) + 1 : log.text.size();
        log.lines.push_back(QuomoLogLine{(uint32_t)start, (uint32_t)(end - start),
                                         (uint32_t)textLength(bytes + start, end - start),
                                         QUOMO_NO_LINE, false, true, false});
        start = end;
    }
    rehash(log);
    return 1;
}

std::string quomoLeaseLogText(const QuomoLeaseLog &log)
{
    std::string text;
    text.reserve(log.text.size() + log.added.size());
    for (size_t pos = 0; pos < log.lines.size(); ++pos) {
        const QuomoLogLine &line = log.lines[pos];
        if (!line.live)
            continue;
        text.append(quomoLeaseLogBytes(log, pos), line.rawLen);
        if (line.endAdded)
            text += '\n';
    }
    return text;
}

void quomoLeaseLogAppend(QuomoLeaseLog &log, const std::string &text)
{
    /* The last line gets the line end it lacked. */
    for (size_t pos = log.lines.size(); pos-- > 0;) {
        QuomoLogLine &last = log.lines[pos];
        if (!last.live)
            continue;
        if (quomoLeaseLogBytes(log, pos)[last.rawLen - 1] != '\n')
            last.endAdded = true;
        break;
    }
    uint32_t offset = (uint32_t)log.added.size();
    log.added += text;
    log.added += '\n';
    log.lines.push_back(QuomoLogLine{offset, (uint32_t)text.size() + 1, (uint32_t)text.size(),
                                     QUOMO_NO_LINE, true, true, false});
    if (log.lines.size() * 2 > log.head.size())
        rehash(log);
    else
        chain(log, (uint32_t)(log.lines.size() - 1));
}

size_t quomoLeaseLogRemove(QuomoLeaseLog &log, const char *text, size_t len)
{
    /* A line equal to text names the MAC address text names. */
    QuomoField mac = macField(text, len);
    uint32_t bucket = macHash(mac) & (uint32_t)(log.head.size() - 1);
    size_t removed = 0;
    for (uint32_t pos = log.head[bucket]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next) {
        QuomoLogLine &line = log.lines[pos];
        if (line.live && line.textLen == len &&
            memcmp(quomoLeaseLogBytes(log, pos), text, len) == 0) {
            line.live = false;
            ++removed;
        }
    }
    return removed;
}

size_t quomoLeaseLogFind(const QuomoLeaseLog &log, const char *szMac)
{
    QuomoField mac{szMac, strlen(szMac)};
    uint32_t bucket = macHash(mac) & (uint32_t)(log.head.size() - 1);
    for (uint32_t pos = log.head[bucket]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next)
        if (log.lines[pos].live && sameMac(lineMac(log, pos), mac))
            return pos;
    return SIZE_MAX;
}

/* Replaces the log with its new content when that differs from before. */
static int saveIfChanged(const QuomoLeaseLog &log, const char *szPath)
{
    std::string after = quomoLeaseLogText(log);
    if (after == log.text)
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
    if (loaded > 0 && saveIfChanged(log, szLog) != 0) {
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
