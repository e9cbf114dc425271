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

/* FNV-1a over the MAC address in lower case. */
static uint32_t macHash(QuomoField mac)
{
    std::string key = quomoMacKey(mac.p, mac.n);
    uint32_t h = 2166136261u;
    for (char c : key)
        h = (h ^ (unsigned char)c) * 16777619u;
    return h;
}

static QuomoField lineMac(const QuomoLeaseLog &log, size_t pos)
{
    return quomoLineMac(lineBytes(log, pos), log.lines[pos].textLen);
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
        text.append(lineBytes(log, pos), line.rawLen);
        if (line.endAdded)
            text += '\n';
    }
    return text;
}

/* Appends a line (given without its line end) as the last line. */
static void appendLine(QuomoLeaseLog &log, const std::string &text)
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

/* Removes every live line whose text (without line end) is exactly
 * text[0 .. len-1]; returns how many. */
static size_t removeLines(QuomoLeaseLog &log, const char *text, size_t len)
{
    /* A line equal to text names the MAC address text names. */
    QuomoField mac = quomoLineMac(text, len);
    uint32_t bucket = macHash(mac) & (uint32_t)(log.head.size() - 1);
    size_t removed = 0;
    for (uint32_t pos = log.head[bucket]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next) {
        QuomoLogLine &line = log.lines[pos];
        if (line.live && line.textLen == len && memcmp(lineBytes(log, pos), text, len) == 0) {
            line.live = false;
            ++removed;
        }
    }
    return removed;
}

/* Position of the first live line naming szMac (letter case aside), or
 * SIZE_MAX. */
static size_t findMac(const QuomoLeaseLog &log, QuomoField mac)
{
    uint32_t bucket = macHash(mac) & (uint32_t)(log.head.size() - 1);
    for (uint32_t pos = log.head[bucket]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next)
        if (log.lines[pos].live && quomoSameMac(lineMac(log, pos), mac))
            return pos;
    return SIZE_MAX;
}

/* Removes the records of mac at ip; returns how many. */
static size_t dropRecords(QuomoLeaseLog &log, QuomoField mac, QuomoField ip)
{
    uint32_t bucket = macHash(mac) & (uint32_t)(log.head.size() - 1);
    size_t removed = 0;
    for (uint32_t pos = log.head[bucket]; pos != QUOMO_NO_LINE; pos = log.lines[pos].next) {
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
    std::string record(szNew);
    if (!record.empty() && record.back() == '\r')
        record.pop_back();
    if (record.find_first_of("\r\n") != std::string::npos) {
        ORV_LOG("Renew record %s failed", szNew);
        return;
    }
    appendLine(log, record);
}

int quomoLeaseLogUpdate(QuomoLeaseLog &log, const char *szLeases)
{
    std::string leases;
    if (orvReadFile(szLeases, leases) <= 0) {
        ORV_LOG("Can not open original DHCP lease file");
        return -1;
    }
    /* Lease file lines: "<expiry> <mac> <ip> <hostname> <client id>". */
    size_t start = 0;
    while (start < leases.size()) {
        size_t nl = leases.find('\n', start);
        size_t end = nl == std::string::npos ? leases.size() : nl + 1;
        const char *line = leases.data() + start;
        QuomoField f[2];
        start = end;
        if (quomoSplitBlanks(line, strnlen(line, end - (size_t)(line - leases.data())), f, 2) < 2)
            continue; /* no MAC address: nothing to update */
        /* As the MAC address buffer of a record holds it. */
        if (f[1].n >= QUOMO_IP_LEN)
            f[1].n = QUOMO_IP_LEN - 1;
        updateRecord(log, f[1], quomoFieldInt32(f[0]));
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
    std::vector<size_t> records;
    for (size_t i = 0; i < log.lines.size(); ++i)
        if (log.lines[i].live)
            records.push_back(i);

    for (size_t pos : records) {
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
    std::string after = quomoLeaseLogText(log);
    if (after == log.text)
        return 0;
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

/* Runs the passes the steps name over the log, holding its lock, and writes
 * the log at most once. Returns the results of the passes in *pUpdate and
 * *pExpire (those not run: 0); a log that cannot be written fails both. */
static bool refresh(int steps, int *pUpdate, int *pExpire)
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
            QuomoReserved *pReserved = quomoReservedLoad();
            *pExpire = quomoLeaseLogRemoveExpired(log, pReserved, (int64_t)time(NULL));
            quomoReservedFree(pReserved);
        }
    }
    if (loaded > 0 && saveIfChanged(log, szLog) != 0) {
        ORV_LOG("Failed to write the lease log [%s]", szLog);
        *pUpdate = *pExpire = -1;
    }
    orvUnlockFile(lockFd);
    return true;
}

int quomoUpdateLeases(void)
{
    int update, expire;
    refresh(LEASE_UPDATE, &update, &expire);
    return update;
}

int quomoRemoveExpiredLeases(void)
{
    int update, expire;
    refresh(LEASE_EXPIRE, &update, &expire);
    return expire;
}

/* The client list's refresh: 0, -1 when a part failed (logged), -2 when
 * the lock could not be had. */
static int refreshForList(void)
{
    int update, expire;
    if (!refresh(LEASE_UPDATE | LEASE_EXPIRE, &update, &expire))
        return -2;
    if (update < 0)
        ORV_LOG("Updating leasetime failed");
    if (expire < 0)
        ORV_LOG("Cannot remove expired lease");
    return update < 0 || expire < 0 ? -1 : 0;
}

int quomoRefreshLeaseLog(void)
{
    return refreshForList() < 0 ? -1 : 0;
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
    orvFormat(szExpireTime, QUOMO_EXPIRE_LEN, "%llu,%llu,%llu", days, hours, minutes);
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
 * settings file says enable="no", otherwise the appliance's. */
static int chooseLeaseLog(char *szPath, size_t cbPath)
{
    char szInfo[QUOMO_PATH_LEN];
    std::string text;
    bool packageLog = orvPath(szInfo, sizeof szInfo, QUOMO_APPLIANCE_INFO) &&
                      orvReadFile(szInfo, text) > 0 && quomoKeyValue(text, "enable") == "no";
    return orvPath(szPath, cbPath, packageLog ? QUOMO_LEASE_LOG_PATH : QUOMO_APPLIANCE_LEASE_LOG);
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

int quomoListClients(const char *szIfName, QuomoClientVisit visit, void *pContext)
{
    if (refreshForList() == -2)
        return -1;
    char szLog[QUOMO_PATH_LEN];
    FILE *file = chooseLeaseLog(szLog, sizeof szLog) ? orvFopenRead(szLog) : NULL;
    if (!file) {
        ORV_LOG("Can not open DHCP lease file");
        return 0;
    }
    /* Read once for the whole log; NULL leaves every expiry text empty. */
    QuomoReserved *pReserved = quomoReservedLoad();
    char *line = NULL;
    size_t cap = 0;
    ssize_t len;
    QuomoClient client;
    while ((len = getline(&line, &cap, file)) >= 0) {
        if (szIfName && !lastFieldIs(line, (size_t)len, szIfName))
            continue;
        client.szMac[0] = client.szIp[0] = client.szHostname[0] = client.szExpire[0] =
            client.szIfName[0] = '\0';
        quomoReadClient(pReserved, client.szMac, client.szIp, client.szHostname, client.szExpire,
                        client.szIfName, line);
        visit(&client, pContext);
    }
    free(line);
    fclose(file);
    quomoReservedFree(pReserved);
    return 1;
}

int quomoCurrentLeaseAddresses(uint32_t *pAddrs, int max)
{
    char szPath[QUOMO_PATH_LEN];
    std::string text;
    if (!orvPath(szPath, sizeof szPath, QUOMO_LEASE_FILE_PATH) || orvReadFile(szPath, text) < 0)
        return -1;
    const long long now = (long long)orvNow();
    std::vector<uint32_t> addrs;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl;
        QuomoField f[3];
        uint32_t addr;
        /* "<expiry> <MAC> <IP> <host> <client id>"; expiry 0 never ends. */
        if (quomoSplitBlanks(text.data() + at, end - at, f, 3) >= 3) {
            std::string expiry(f[0].p, f[0].n), ip(f[2].p, f[2].n);
            long long ends = strtoll(expiry.c_str(), NULL, 10);
            if (expiry.find_first_not_of("0123456789") == std::string::npos && !expiry.empty() &&
                (ends == 0 || ends > now) && inet_pton(AF_INET, ip.c_str(), &addr) == 1)
                addrs.push_back(ntohl(addr));
        }
        at = end + 1;
    }
    std::sort(addrs.begin(), addrs.end());
    addrs.erase(std::unique(addrs.begin(), addrs.end()), addrs.end());
    for (size_t i = 0; i < addrs.size() && (int)i < max; ++i)
        pAddrs[i] = addrs[i];
    return (int)addrs.size();
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
    std::string text;
    if (!orvPath(szPath, sizeof szPath, QUOMO_LEASE_FILE_PATH))
        return 0;
    int read = orvReadFile(szPath, text);
    if (read < 0 && errno != ENOENT) {
        ORV_LOG("Can not read [%s]", szPath);
        return 0;
    }
    QuomoReserved *pReserved = quomoReservedLoad();
    QuomoClient6 client;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (readLease6(pReserved, text.data() + at, end - at, client))
            visit(&client, pContext);
        at = end + 1;
    }
    quomoReservedFree(pReserved);
    return 1;
}
