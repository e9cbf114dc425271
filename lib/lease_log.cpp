/*
 * The lease log (see lease_log.h).
 */
#include "lease_log.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lease_record.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "reservation_store.h"
#include "text.h"
#include "vorl.h"

/* How long a record stays after its lease ended, in seconds. */
#define EXPIRED_GRACE 3600

/* ---- the log in memory ---- */

static const char *lineBytes(const QuomoLeaseLog &log, size_t pos)
{
    const QuomoLogLine &line = log.lines[pos];
    return (line.added ? log.added.data() : log.text.data()) + line.offset;
}

static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

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
    return quomoLineMac(lineBytes(log, pos), log.lines[pos].textLen);
}

static uint32_t bucketOf(const QuomoLeaseLog &log, uint32_t hash)
{
    return hash & (uint32_t)(log.head.size() - 1);
}

/* Puts line pos first in the chain of its bucket: a chain runs from the
 * last line of the log to the first. */
static void chain(QuomoLeaseLog &log, uint32_t pos)
{
    uint32_t &head = log.head[bucketOf(log, log.lines[pos].hash)];
    log.lines[pos].next = head;
    head = pos;
}

/* Sizes the buckets for at least `lines` lines and chains every line. */
static void rehash(QuomoLeaseLog &log, size_t lines)
{
    size_t size = 64;
    while (size < lines)
        size *= 2;
    log.head.assign(size, QUOMO_NO_LINE);
    for (size_t pos = 0; pos < log.lines.size(); ++pos)
        chain(log, (uint32_t)pos);
}

/* Makes room for `more` lines to be appended without moving the lines. */
static void reserveLines(QuomoLeaseLog &log, size_t more)
{
    size_t want = log.lines.size() + more;
    log.lines.reserve(want);
    if (log.head.size() < want)
        rehash(log, want);
}

/* Adds a line (not chained yet). */
static void pushLine(QuomoLeaseLog &log, uint32_t offset, uint32_t rawLen, uint32_t textLen,
                     bool added)
{
    log.lines.push_back(QuomoLogLine{offset, rawLen, textLen, 0, QUOMO_NO_LINE, added, true,
                                     false, false});
    log.lines.back().hash = macHash(lineMac(log, log.lines.size() - 1));
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

static size_t countLines(const char *bytes, size_t size)
{
    size_t lines = 0;
    for (const char *p = bytes, *end = bytes + size; p < end; ++lines) {
        const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
        p = nl ? nl + 1 : end;
    }
    return lines;
}

int quomoLeaseLogLoad(QuomoLeaseLog &log, const char *szPath, size_t more)
{
    log.added.clear();
    log.lines.clear();
    rehash(log, 0);
    int read = log.text.load(szPath);
    if (read == 0)
        return 0;
    /* Positions and lengths are kept in 32 bits. */
    if (read < 0 || log.text.size() >= UINT32_MAX / 2) {
        ORV_LOG("Failed to read [%s]", szPath);
        return -1;
    }
    const char *bytes = log.text.data();
    size_t size = log.text.size();
    log.lines.reserve(countLines(bytes, size) + more);
    size_t start = 0;
    while (start < size) {
        const void *nl = memchr(bytes + start, '\n', size - start);
        size_t end = nl ? (size_t)((const char *)nl - bytes) + 1 : size;
        pushLine(log, (uint32_t)start, (uint32_t)(end - start),
                 (uint32_t)textLength(bytes + start, end - start), false);
        start = end;
    }
    rehash(log, log.lines.size() + more);
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
        text.append(lineBytes(log, pos), line.rawLen);
        if (line.endAdded)
            text += '\n';
    }
    return text;
}

/* The log's content as it would be written is the content read. */
static bool unchangedSinceRead(const QuomoLeaseLog &log)
{
    const char *text = log.text.data();
    size_t size = log.text.size();
    size_t at = 0;
    for (size_t pos = 0; pos < log.lines.size(); ++pos) {
        const QuomoLogLine &line = log.lines[pos];
        if (!line.live)
            continue;
        const char *bytes = lineBytes(log, pos);
        if (line.rawLen > size - at ||
            (bytes != text + at && memcmp(bytes, text + at, line.rawLen) != 0))
            return false;
        at += line.rawLen;
        if (line.endAdded) {
            if (at == size || text[at] != '\n')
                return false;
            ++at;
        }
    }
    return at == size;
}

/* Appends a line (given without its line end) as the last line; its bytes
 * are those of line `like` when that holds exactly the line and its "\n". */
static void appendLine(QuomoLeaseLog &log, const char *text, size_t len, size_t like)
{
    /* The last line gets the line end it lacked. */
    for (size_t pos = log.lines.size(); pos-- > 0;) {
        QuomoLogLine &last = log.lines[pos];
        if (!last.live)
            continue;
        if (lineBytes(log, pos)[last.rawLen - 1] != '\n')
            last.endAdded = true;
        break;
    }
    const QuomoLogLine &model = log.lines[like];
    const char *modelBytes = lineBytes(log, like);
    if (model.rawLen == len + 1 && modelBytes[len] == '\n' && memcmp(modelBytes, text, len) == 0) {
        QuomoLogLine line = model;
        line.live = true;
        line.endAdded = false;
        line.judged = false;
        log.lines.push_back(line);
    } else {
        uint32_t offset = (uint32_t)log.added.size();
        log.added.append(text, len);
        log.added += '\n';
        pushLine(log, offset, (uint32_t)len + 1, (uint32_t)len, true);
    }
    if (log.lines.size() > log.head.size())
        rehash(log, 2 * log.lines.size());
    else
        chain(log, (uint32_t)(log.lines.size() - 1));
}

/* Removes every live line whose text (without line end) is exactly
 * text[0 .. len-1]; returns how many. */
static size_t removeLines(QuomoLeaseLog &log, const char *text, size_t len)
{
    /* A line equal to text names the MAC address text names. */
    uint32_t hash = macHash(quomoLineMac(text, len));
    size_t removed = 0;
    for (uint32_t pos = log.head[bucketOf(log, hash)]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next) {
        QuomoLogLine &line = log.lines[pos];
        if (line.live && line.hash == hash && line.textLen == len &&
            memcmp(lineBytes(log, pos), text, len) == 0) {
            line.live = false;
            ++removed;
        }
    }
    return removed;
}

/* Position of the first live line naming mac (letter case aside), or
 * SIZE_MAX. */
static size_t findMac(const QuomoLeaseLog &log, QuomoField mac)
{
    uint32_t hash = macHash(mac);
    size_t found = SIZE_MAX;
    /* The chain runs backwards: the last match is the first line. */
    for (uint32_t pos = log.head[bucketOf(log, hash)]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next)
        if (log.lines[pos].live && log.lines[pos].hash == hash && quomoSameMac(lineMac(log, pos), mac))
            found = pos;
    return found;
}

/* Removes the records of mac at ip; returns how many. */
static size_t dropRecords(QuomoLeaseLog &log, QuomoField mac, QuomoField ip)
{
    uint32_t hash = macHash(mac);
    size_t removed = 0;
    for (uint32_t pos = log.head[bucketOf(log, hash)]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next) {
        QuomoLogLine &line = log.lines[pos];
        QuomoLeaseRecord r;
        if (line.live && quomoParseLeaseRecord(lineBytes(log, pos), line.textLen, &r) &&
            quomoSameMac(r.mac, mac) && r.ip.n == ip.n && memcmp(r.ip.p, ip.p, ip.n) == 0) {
            line.live = false;
            ++removed;
        }
    }
    return removed;
}

/* ---- updating from dnsmasq's lease file ---- */

/* Rewrites the record of mac, the first line that names it, with a new
 * expiry and moves it to the end of the log. A line that is not a record,
 * or that does not fit the line buffer, stays as it is. */
static void updateRecord(QuomoLeaseLog &log, QuomoField mac, int32_t expiry)
{
    /* An empty MAC address names no record. */
    if (mac.n == 0)
        return;
    size_t pos = findMac(log, mac);
    if (pos == SIZE_MAX)
        return;

    /* The record as a line buffer holds it: up to a NUL byte, cut to the
     * buffer. */
    const char *bytes = lineBytes(log, pos);
    char szOld[QUOMO_VALUE_LEN];
    size_t oldLen = strnlen(bytes, log.lines[pos].textLen);
    if (oldLen >= sizeof szOld)
        oldLen = sizeof szOld - 1;
    memcpy(szOld, bytes, oldLen);
    szOld[oldLen] = '\0';

    QuomoLeaseRecord r;
    if (!quomoParseLeaseRecord(szOld, oldLen, &r)) {
        ORV_LOG("FILE dhcpd-lease.log be destroied.");
        return;
    }
    /* The log keeps an unsigned expiry; within 0 .. INT32_MAX it fits an
     * unsigned long on every target. */
    unsigned long newExpiry = expiry < 0 ? 0UL : (unsigned long)expiry;
    char szNew[QUOMO_VALUE_LEN];
    if (!quomoFormatLeaseRecord(szNew, sizeof szNew, newExpiry, r.mac, r.ip, r.host, r.ifName)) {
        /* A cut record would replace a whole one. */
        ORV_LOG("Renew record %s failed", szNew);
        return;
    }

    /* Every copy of the old record goes; when none matches it whole (it was
     * cut, or ends in a carriage return) the record stays where it is. */
    size_t wantLen = oldLen > 0 && szOld[oldLen - 1] == '\r' ? oldLen - 1 : oldLen;
    if (removeLines(log, szOld, wantLen) == 0) {
        ORV_LOG("Remove expired lease failed %s(%d)", "updateRecord", __LINE__);
        return;
    }
    size_t newLen = strlen(szNew);
    if (newLen > 0 && szNew[newLen - 1] == '\r')
        --newLen;
    if (memchr(szNew, '\r', newLen) || memchr(szNew, '\n', newLen)) {
        ORV_LOG("Renew record %s failed", szNew);
        return;
    }
    appendLine(log, szNew, newLen, pos);
}

/* dnsmasq's lease file, opened to be read a line at a time through a buffer
 * larger than a page: it may hold thousands of leases. NULL as
 * orvFopenRead. */
static FILE *openLeaseFile(const char *szPath)
{
    FILE *file = orvFopenRead(szPath);
    if (file)
        setvbuf(file, NULL, _IOFBF, 64 * 1024);
    return file;
}

/* Room for the records a lease file of that size may move to the end: its
 * lines are longer than this. */
static const size_t kShortestLease = 24;

/* The lines a refresh may append from the lease file at szLeases. */
static size_t leasesRoom(const char *szLeases)
{
    struct stat st;
    return stat(szLeases, &st) == 0 && st.st_size > 0 ? (size_t)st.st_size / kShortestLease : 0;
}

/* The first two fields of a line split at blanks (the second runs to the
 * next blank or the end); false when there is no second. */
static bool firstTwoFields(const char *text, size_t len, QuomoField (&f)[2])
{
    const char *blank = (const char *)memchr(text, ' ', len);
    if (!blank)
        return false;
    f[0] = QuomoField{text, (size_t)(blank - text)};
    const char *second = blank + 1;
    size_t rest = len - (size_t)(second - text);
    const char *end = (const char *)memchr(second, ' ', rest);
    f[1] = QuomoField{second, end ? (size_t)(end - second) : rest};
    return true;
}

int quomoLeaseLogUpdate(QuomoLeaseLog &log, const char *szLeases)
{
    /* Read a line at a time: the file is dnsmasq's, of any size. */
    FILE *file = openLeaseFile(szLeases);
    struct stat st;
    if (!file || fstat(fileno(file), &st) != 0) {
        ORV_LOG("Can not open original DHCP lease file");
        if (file)
            fclose(file);
        return -1;
    }
    if (!log.lines.empty()) {
        reserveLines(log, (size_t)st.st_size / kShortestLease);
        log.added.reserve(log.text.size());
    }
    /* Lease file lines: "<expiry> <mac> <ip> <hostname> <client id>". */
    char *line = NULL;
    size_t cap = 0;
    ssize_t len;
    while ((len = getline(&line, &cap, file)) >= 0) {
        QuomoField f[2];
        if (!firstTwoFields(line, strnlen(line, (size_t)len), f))
            continue; /* no MAC address: nothing to update */
        /* As the MAC address buffer of a record holds it. */
        if (f[1].n >= QUOMO_IP_LEN)
            f[1].n = QUOMO_IP_LEN - 1;
        updateRecord(log, f[1], quomoFieldInt32(f[0]));
    }
    bool failed = ferror(file) != 0;
    free(line);
    fclose(file);
    if (failed) {
        ORV_LOG("Can not open original DHCP lease file");
        return -1;
    }
    return 0;
}

/* ---- expired records ---- */

/* True when the record's lease ended at least EXPIRED_GRACE seconds before
 * now and its client is not reserved. */
static bool recordExpired(const QuomoLeaseRecord &r, const QuomoReserved *pReserved, int64_t now)
{
    char szMac[QUOMO_IP_LEN];
    quomoCopyField(szMac, sizeof szMac, r.mac);
    if (quomoIsReserved(pReserved, szMac))
        return false;
    /* The grace time is added in 64 bits and the sum held to 32. */
    int64_t expiry = (int64_t)quomoFieldInt32(r.expiry) + EXPIRED_GRACE;
    if (expiry > INT32_MAX)
        expiry = INT32_MAX;
    return expiry <= now;
}

int quomoLeaseLogRemoveExpired(QuomoLeaseLog &log, const QuomoReserved *pReserved, int64_t now)
{
    /* The records are judged as they stood when the pass began; removing one
     * removes every identical copy of it. */
    for (QuomoLogLine &line : log.lines)
        line.judged = line.live;

    for (size_t pos = 0; pos < log.lines.size(); ++pos) {
        if (!log.lines[pos].judged)
            continue;
        /* The line as text, with its line end, up to a NUL byte. */
        const char *text = lineBytes(log, pos);
        size_t len = strnlen(text, log.lines[pos].rawLen);
        QuomoLeaseRecord r;
        /* A line that is not a record is kept: it cannot be judged. */
        if (!quomoParseLeaseRecord(text, len, &r))
            continue;
        if (!pReserved) {
            ORV_LOG("Calculating expired time failed.");
            continue;
        }
        if (!recordExpired(r, pReserved, now))
            continue;

        /* The record without white space at either end. */
        while (len > 0 && isspace((unsigned char)text[len - 1]))
            --len;
        while (len > 0 && isspace((unsigned char)*text)) {
            ++text;
            --len;
        }
        if (removeLines(log, text, len) == 0) {
            ORV_LOG("Remove expired lease failed %.*s %s(%d)", (int)len, text,
                    "QUOMODHCPRemoveExpiredLease", __LINE__);
            return -1;
        }
    }
    return 0;
}

/* ---- the log's writers, under its lock ---- */

/* Replaces the log with its new content when that differs from before. */
static int saveIfChanged(const QuomoLeaseLog &log, const char *szPath)
{
    if (unchangedSinceRead(log))
        return 0;
    std::string after = quomoLeaseLogText(log);
    if (!orvReplaceFile(szPath, after.data(), after.size(), 0644) || !orvSyncDir(szPath))
        return -1;
    return 0;
}

/* The log's path and its lock's; 0 (logged) when they do not fit. */
static int logPath(char (&szLog)[QUOMO_PATH_LEN])
{
    if (!orvPath(szLog, sizeof szLog, QUOMO_LEASE_LOG_PATH)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    return 1;
}

int quomoLockLeaseLog(void)
{
    return orvLockPrivate(QUOMO_LEASE_LOG_LOCK_NAME, 1, QUOMO_LEASE_LOG_LOCK_WAIT_MS);
}

enum { LEASE_UPDATE = 1, LEASE_EXPIRE = 2 };

/* What a refresh leaves for the client list: the log as it now stands on
 * disk, and the reservations it was judged against. */
struct RefreshedLog {
    QuomoLeaseLog log;
    bool current = false; /* log holds the file's content */
    QuomoReserved *pReserved = NULL;
    RefreshedLog() = default;
    ~RefreshedLog() { quomoReservedFree(pReserved); }
    RefreshedLog(const RefreshedLog &) = delete;
    RefreshedLog &operator=(const RefreshedLog &) = delete;
};

/* Runs the passes the steps name over the log, holding its lock, and writes
 * the log at most once. Returns the results of the passes in *pUpdate and
 * *pExpire (those not run: 0); a log that cannot be written fails both. */
static bool refresh(int steps, int *pUpdate, int *pExpire, RefreshedLog &out)
{
    *pUpdate = 0;
    *pExpire = 0;
    char szLog[QUOMO_PATH_LEN];
    char szLeases[QUOMO_PATH_LEN];
    if (!logPath(szLog) || !orvPath(szLeases, sizeof szLeases, QUOMO_LEASE_FILE_PATH)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        *pUpdate = *pExpire = -1;
        return true;
    }
    /* A wait that ends: another holder is answered as busy. */
    int lockFd = quomoLockLeaseLog();
    if (lockFd < 0) {
        *pUpdate = *pExpire = -1;
        errno = EWOULDBLOCK;
        return false;
    }
    QuomoLeaseLog &log = out.log;
    int loaded = quomoLeaseLogLoad(log, szLog, steps & LEASE_UPDATE ? leasesRoom(szLeases) : 0);
    if (steps & LEASE_UPDATE) {
        /* No log: there is no record to update, and none is made. */
        *pUpdate = quomoLeaseLogUpdate(log, szLeases);
    }
    if (steps & LEASE_EXPIRE) {
        if (loaded <= 0) {
            ORV_LOG("Can not open DHCP lease file");
            *pExpire = -1;
        } else {
            out.pReserved = quomoReservedLoad();
            *pExpire = quomoLeaseLogRemoveExpired(log, out.pReserved, (int64_t)orvNow());
        }
    }
    if (loaded > 0 && saveIfChanged(log, szLog) != 0) {
        ORV_LOG("Failed to write the lease log [%s]", szLog);
        *pUpdate = *pExpire = -1;
    } else {
        out.current = loaded > 0;
    }
    orvUnlockFile(lockFd);
    return true;
}

int quomoUpdateLeases(void)
{
    int update, expire;
    RefreshedLog refreshed;
    refresh(LEASE_UPDATE, &update, &expire, refreshed);
    return update;
}

int quomoRemoveExpiredLeases(void)
{
    int update, expire;
    RefreshedLog refreshed;
    refresh(LEASE_EXPIRE, &update, &expire, refreshed);
    return expire;
}

/* The client list's refresh: 0, -1 when a part failed (logged), -2 when
 * the lock could not be had. */
static int refreshForList(RefreshedLog &refreshed)
{
    int update, expire;
    if (!refresh(LEASE_UPDATE | LEASE_EXPIRE, &update, &expire, refreshed))
        return -2;
    if (update < 0)
        ORV_LOG("Updating leasetime failed");
    if (expire < 0)
        ORV_LOG("Cannot remove expired lease");
    return update < 0 || expire < 0 ? -1 : 0;
}

int quomoRefreshLeaseLog(void)
{
    RefreshedLog refreshed;
    return refreshForList(refreshed) < 0 ? -1 : 0;
}

int quomoRemoveLeaseRecord(const char *szMac, const char *szIp)
{
    if (!szMac || !szIp || !*szMac || !*szIp)
        return -1;
    char szLog[QUOMO_PATH_LEN];
    if (!logPath(szLog))
        return -1;
    /* The lease hook and the list's clean-up rewrite the log under this
     * lock too. */
    int lockFd = quomoLockLeaseLog();
    if (lockFd < 0) {
        errno = EWOULDBLOCK;
        return -1;
    }
    QuomoLeaseLog log;
    int loaded = quomoLeaseLogLoad(log, szLog);
    int removed = loaded < 0 ? -1 : 0;
    if (loaded > 0) {
        removed = (int)dropRecords(log, quomoTextField(szMac), quomoTextField(szIp));
        if (saveIfChanged(log, szLog) != 0)
            removed = -1;
    }
    orvUnlockFile(lockFd);
    if (removed < 0)
        ORV_LOG("Cannot remove the lease of %s from the lease log", szMac);
    return removed;
}

/* ---- the client list's view of a record ---- */

/* Writes n in decimal at p; returns the end. */
static char *putDecimal(char *p, unsigned long long n)
{
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    while (count)
        *p++ = digits[--count];
    return p;
}

int quomoExpiryText(const QuomoReserved *pReserved, char *szExpireTime, int32_t expiry,
                    const char *szMac)
{
    if (!szExpireTime) {
        ORV_LOG("szExpireTime is null");
        return -1;
    }
    if (!szMac) {
        ORV_LOG("szMac is null");
        return -1;
    }
    /* A reserved client has an unlimited lease. */
    if (!pReserved) {
        ORV_LOG("check reserved list fail");
        return -1;
    }
    if (quomoIsReserved(pReserved, szMac)) {
        orvCopy(szExpireTime, QUOMO_EXPIRE_LEN, "unlimited");
        return 0;
    }

    time_t now = orvNow();
    if (now == (time_t)-1) {
        ORV_LOG("get current time fail");
        return 0;
    }
    double diff = difftime((time_t)expiry, now);
    if (diff <= 0) {
        orvCopy(szExpireTime, QUOMO_EXPIRE_LEN, "expired");
        return 0;
    }
    /* Both times fit in 32 bits, so the difference fits in 64. */
    uint64_t secs = (uint64_t)diff;
    unsigned long long days = secs / 86400;
    unsigned long long hours = (secs % 86400) / 3600;
    unsigned long long minutes = ((secs % 86400) % 3600) / 60;
    /* "<days>,<hours>,<minutes>": written by hand, once per record of the
     * log. */
    char *p = putDecimal(szExpireTime, days);
    *p++ = ',';
    p = putDecimal(p, hours);
    *p++ = ',';
    p = putDecimal(p, minutes);
    *p = '\0';
    return 0;
}

int quomoReadClient(const QuomoReserved *pReserved, char *szMac, char *szIp, char *szHostname,
                    char *szExpireTime, char *szIfName, const char *szLine)
{
    if (!szMac || !szIp || !szHostname || !szExpireTime || !szIfName || !szLine) {
        ORV_LOG("Bad parameters.");
        return -1;
    }
    QuomoLeaseRecord r;
    if (!quomoParseLeaseRecord(szLine, strlen(szLine), &r))
        return -1; /* not a record, or a damaged one: nothing in it can be trusted */

    quomoCopyField(szMac, QUOMO_IP_LEN, r.mac);
    quomoCopyField(szIp, QUOMO_IP_LEN, r.ip);
    quomoCopyField(szHostname, QUOMO_HOSTNAME_LEN, r.host);
    quomoCopyField(szIfName, QUOMO_IFNAME_LEN, r.ifName);
    VORLCStrTrimSpace(szIfName, 0);
    return quomoExpiryText(pReserved, szExpireTime, quomoFieldInt32(r.expiry), szMac);
}

/* ---- the client list ---- */

/* The lease log to list: the package's own while the appliance's DHCP
 * settings file says enable="no" (*pPackageLog), otherwise the
 * appliance's. */
static int chooseLeaseLog(char *szPath, size_t cbPath, bool *pPackageLog)
{
    char szInfo[QUOMO_PATH_LEN];
    std::string text;
    *pPackageLog = orvPath(szInfo, sizeof szInfo, QUOMO_APPLIANCE_INFO) &&
                   orvReadFile(szInfo, text) > 0 && quomoKeyValue(text, "enable") == "no";
    return orvPath(szPath, cbPath, *pPackageLog ? QUOMO_LEASE_LOG_PATH : QUOMO_APPLIANCE_LEASE_LOG);
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/* The line's last blank-separated field is szIfName: where a record names
 * its interface. Lets a listing of one interface skip the others' records
 * without reading them. */
static bool lastFieldIs(const char *line, size_t end, const char *szIfName)
{
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    size_t len = strlen(szIfName);
    return end > len && isBlank(line[end - len - 1]) && memcmp(line + end - len, szIfName, len) == 0;
}

/* Visits the client of one line of the log (with its line end, read up to
 * a NUL byte as a C string), when it names szIfName (NULL: any). */
static void visitLine(const QuomoReserved *pReserved, const char *szIfName, const char *line,
                      size_t len, QuomoClientVisit visit, void *pContext)
{
    if (szIfName && !lastFieldIs(line, len, szIfName))
        return;
    QuomoClient client;
    client.szMac[0] = client.szIp[0] = client.szHostname[0] = client.szExpire[0] =
        client.szIfName[0] = '\0';
    quomoReadClient(pReserved, client.szMac, client.szIp, client.szHostname, client.szExpire,
                    client.szIfName, line);
    visit(&client, pContext);
}

/* Lists the log just refreshed from memory: the lines the file now holds. */
static void listRefreshed(const RefreshedLog &refreshed, const QuomoReserved *pReserved,
                          const char *szIfName, QuomoClientVisit visit, void *pContext)
{
    const QuomoLeaseLog &log = refreshed.log;
    std::string line;
    for (size_t pos = 0; pos < log.lines.size(); ++pos) {
        const QuomoLogLine &l = log.lines[pos];
        if (!l.live)
            continue;
        line.assign(lineBytes(log, pos), l.rawLen);
        if (l.endAdded)
            line += '\n';
        visitLine(pReserved, szIfName, line.c_str(), line.size(), visit, pContext);
    }
}

int quomoListClients(const char *szIfName, QuomoClientVisit visit, void *pContext)
{
    RefreshedLog refreshed;
    if (refreshForList(refreshed) == -2)
        return -1;
    char szLog[QUOMO_PATH_LEN];
    bool packageLog = false;
    bool chosen = chooseLeaseLog(szLog, sizeof szLog, &packageLog) != 0;
    /* The package's log was just read (and written when it changed). */
    bool inMemory = chosen && packageLog && refreshed.current;
    FILE *file = chosen && !inMemory ? orvFopenRead(szLog) : NULL;
    if (!inMemory && !file) {
        ORV_LOG("Can not open DHCP lease file");
        return 0;
    }
    /* Read once for the whole log; NULL leaves every expiry text empty. */
    QuomoReserved *pReserved = refreshed.pReserved ? refreshed.pReserved : quomoReservedLoad();
    if (inMemory) {
        listRefreshed(refreshed, pReserved, szIfName, visit, pContext);
    } else {
        char *line = NULL;
        size_t cap = 0;
        ssize_t len;
        while ((len = getline(&line, &cap, file)) >= 0)
            visitLine(pReserved, szIfName, line, (size_t)len, visit, pContext);
        free(line);
        fclose(file);
    }
    if (pReserved != refreshed.pReserved)
        quomoReservedFree(pReserved);
    return 1;
}

/* The expiry field of a lease, digits only (0: never ends): whether its
 * lease still runs at now. */
static bool leaseRuns(QuomoField expiry, long long now)
{
    if (expiry.n == 0)
        return false;
    long long ends = 0;
    for (size_t i = 0; i < expiry.n; ++i) {
        char c = expiry.p[i];
        if (c < '0' || c > '9')
            return false;
        /* A number past any time stays past it, as strtoll holds a number
         * too large for it at LLONG_MAX; no division per digit. */
        if (ends < LLONG_MAX / 10 - 1)
            ends = ends * 10 + (c - '0');
    }
    return ends == 0 || ends > now;
}


/* The first three blank-separated fields of text[0 .. len-1]; false when
 * it has fewer. */
static bool firstThreeFields(const char *text, size_t len, QuomoField (&f)[3])
{
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        if (start > len)
            return false;
        const char *blank = (const char *)memchr(text + start, ' ', len - start);
        size_t end = blank ? (size_t)(blank - text) : len;
        f[i] = QuomoField{text + start, end - start};
        start = end + 1;
    }
    return true;
}

int quomoCurrentLeaseAddresses(uint32_t *pAddrs, int max)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, QUOMO_LEASE_FILE_PATH))
        return -1;
    /* Read a line at a time: the file is dnsmasq's, of any size. */
    FILE *file = openLeaseFile(szPath);
    if (!file)
        return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
    const long long now = (long long)orvNow();
    QuomoAddressList addrs = {pAddrs, max, 0};
    bool read = quomoReadLines(file, [&](const char *line, size_t len) {
        QuomoField f[3];
        uint32_t addr;
        /* "<expiry> <MAC> <IP> <host> <client id>"; expiry 0 never ends. */
        if (firstThreeFields(line, len, f) && leaseRuns(f[0], now) && quomoFieldIpv4(f[2], &addr))
            quomoAddressAdd(&addrs, addr);
    });
    return read ? quomoAddressFinish(&addrs) : -1;
}

/* ---- DHCPv6 leases ---- */

/* The MAC address a DUID is made of: a DUID-LLT (type 1) or DUID-LL (type 3)
 * of an Ethernet interface (hardware type 1) ends in it; "" otherwise. */
static void duidMac(const std::string &duid, char (&szMac)[QUOMO_IP_LEN])
{
    szMac[0] = '\0';
    /* "00:01:00:01:<4 bytes of time>:<mac>" or "00:03:00:01:<mac>". */
    bool llt = duid.size() == 14 * 3 - 1 && duid.compare(0, 12, "00:01:00:01:") == 0;
    bool ll = duid.size() == 10 * 3 - 1 && duid.compare(0, 12, "00:03:00:01:") == 0;
    if (llt || ll)
        orvCopy(szMac, sizeof szMac, duid.c_str() + duid.size() - 17);
}

/* "<expiry> <IAID> <IPv6 address> <host or *> <client DUID>": false for an
 * IPv4 lease, the server's "duid" line or a damaged line. */
static bool readLease6(const QuomoReserved *pReserved, const char *line, size_t len,
                       QuomoClient6 &c)
{
    QuomoField f[5];
    if (quomoSplitBlanks(line, len, f, 5) < 5)
        return false;
    std::string expiry(f[0].p, f[0].n), iaid(f[1].p, f[1].n), ip(f[2].p, f[2].n);
    std::string host(f[3].p, f[3].n), duid(f[4].p, f[4].n);
    unsigned char bytes[16];
    if (expiry.empty() || expiry.find_first_not_of("0123456789") != std::string::npos ||
        iaid.empty() || iaid.size() > 10 || iaid.find_first_not_of("0123456789") != std::string::npos ||
        ip.size() >= sizeof c.szIp || inet_pton(AF_INET6, ip.c_str(), bytes) != 1 ||
        duid.size() >= sizeof c.szDuid || duid.find_first_not_of("0123456789abcdefABCDEF:") != std::string::npos)
        return false;
    memset(&c, 0, sizeof c);
    orvCopy(c.szIp, sizeof c.szIp, ip.c_str());
    orvCopy(c.szDuid, sizeof c.szDuid, duid.c_str());
    c.iaid = (uint32_t)strtoull(iaid.c_str(), NULL, 10);
    if (host != "*" && quomoCheckText("szHostname", host.c_str(), sizeof c.szHostname))
        orvCopy(c.szHostname, sizeof c.szHostname, host.c_str());
    duidMac(duid, c.szMac);
    /* Expiry 0 never ends: dnsmasq's infinite lease of a reservation. */
    long long ends = strtoll(expiry.c_str(), NULL, 10);
    if (ends == 0 || (ends <= INT32_MAX && quomoExpiryText(pReserved, c.szExpire, (int32_t)ends, c.szMac) != 0))
        orvCopy(c.szExpire, sizeof c.szExpire, ends == 0 ? "unlimited" : "");
    return true;
}

int quomoListClients6(QuomoClient6Visit visit, void *pContext)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, QUOMO_LEASE_FILE_PATH))
        return 0;
    /* Read a line at a time: the file is dnsmasq's, of any size. */
    FILE *file = openLeaseFile(szPath);
    if (!file) {
        if (errno == ENOENT || errno == ENOTDIR)
            return 1;
        ORV_LOG("Can not read [%s]", szPath);
        return 0;
    }
    /* The reservations are read at the first IPv6 lease: a file of IPv4
     * leases only needs none. */
    QuomoReserved *pReserved = NULL;
    bool reservedRead = false;
    QuomoClient6 client;
    bool read = quomoReadLines(file, [&](const char *line, size_t len) {
        QuomoField f[3];
        bool ipv6 = firstThreeFields(line, len, f) && memchr(f[2].p, ':', f[2].n);
        if (ipv6 && !reservedRead) {
            pReserved = quomoReservedLoad();
            reservedRead = true;
        }
        if (ipv6 && readLease6(pReserved, line, len, client))
            visit(&client, pContext);
    });
    quomoReservedFree(pReserved);
    if (!read)
        ORV_LOG("Can not read [%s]", szPath);
    return read ? 1 : 0;
}
