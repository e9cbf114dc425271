/*
 * dnsmasq's lease hook (--dhcp-script): keeps the package's lease log,
 * one record per client, in the form the client list reads:
 *
 *     <expiry> <MAC> <IP> <host name> <interface>
 *
 * dnsmasq runs it as "add"/"old"/"del" <MAC> <IP> [<host name>] with the
 * lease's details in DNSMASQ_* variables, and with its own environment, so
 * ORVATH_ROOT names the root of the files as for the other programs.
 *
 * "add" and "old" write the client's record, replacing any record of the same
 * MAC address; "del" removes it; other events are ignored. The hook runs as
 * root with text that a DHCP client chose, so every field is checked: a host
 * name that is not made of letters, digits, "-", "_" and "." is recorded
 * empty, and no blank or line break ever reaches the log, where it would
 * split or forge records. The log is replaced whole (orvReplaceFile), so a
 * reader never sees half a log, under the lock "dhcpd-leases.log.lock"
 * beside it that the library's writers of the log take too; an event that
 * changes nothing leaves the log untouched.
 */
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "first_seen.h"
#include "lease_record.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "vendor_registry.h"

/* The widths the client list reads: MAC and IP address 19 characters,
 * interface 15. A host name longer than a DNS name cannot be a real one, and
 * keeps the record within the 1024 bytes the lease log's readers use. */
enum { kMaxMac = 19, kMaxIp = 15, kMaxIfName = 15, kMaxHost = 255 };

static bool allCharsIn(const char *text, const char *extra, bool alnum)
{
    for (const char *p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool ok = (alnum && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                             (c >= 'A' && c <= 'Z'))) ||
                  (c != '\0' && strchr(extra, c) != nullptr);
        if (!ok)
            return false;
    }
    return true;
}

static bool validMac(const char *mac)
{
    size_t len = strlen(mac);
    if (len == 0 || len > kMaxMac)
        return false;
    for (const char *p = mac; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
              c == ':' || c == '-'))
            return false;
    }
    return true;
}

static bool validIp(const char *ip)
{
    struct in_addr addr;
    return strlen(ip) <= kMaxIp && allCharsIn(ip, "0123456789.", false) &&
           inet_pton(AF_INET, ip, &addr) == 1;
}

/* The host name as recorded: empty unless it is a plain name. */
static std::string cleanHostName(const char *host)
{
    if (!host || strlen(host) > kMaxHost || !allCharsIn(host, "-_.", true))
        return "";
    return host;
}

/* The interface as recorded: empty unless it is a plausible interface name
 * (printable, no blank, no "/"). */
static std::string cleanIfName(const char *ifName)
{
    if (!ifName || strlen(ifName) > kMaxIfName)
        return "";
    for (const char *p = ifName; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c >= 0x7f || c == '/')
            return "";
    }
    return ifName;
}

/* Seconds since the epoch at which the lease ends; 0 for an infinite lease
 * (dnsmasq passes 0 then) and for anything that is not a plain decimal
 * number that fits. */
static unsigned long leaseExpiry(void)
{
    const char *text = getenv("DNSMASQ_LEASE_EXPIRES");
    if (!text || !*text || !allCharsIn(text, "0123456789", false))
        return 0;
    errno = 0;
    char *end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > ULONG_MAX)
        return 0;
    return static_cast<unsigned long>(value);
}

/* Removes the temporary files a writer of the log left when it was cut short.
 * Only under the log's lock: then no writer is in the middle of its work. */
static void removeStaleTemporaries(const char *path)
{
    const char *slash = strrchr(path, '/');
    if (!slash)
        return;
    std::string dir(path, static_cast<size_t>(slash - path));
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    while (struct dirent *e = readdir(d)) {
        if (orvIsReplaceTemporary(e->d_name, slash + 1) && unlinkat(dirfd(d), e->d_name, 0) != 0)
            ORV_LOG("Failed to remove [%s/%s]: %s", dir.c_str(), e->d_name, strerror(errno));
    }
    closedir(d);
}

/* The log's lines of one client, and what the log is without them. */
struct OwnLines {
    std::vector<QuomoField> lines; /* the lines naming the MAC address */
    QuomoField previousIf{"", 0};  /* the interface of the last record of them */
};

/* The line of the log at *pos (its length without the line break into
 * *len); *pos moves past it. */
static const char *nextLine(const OrvMapping &log, size_t *pos, size_t *len)
{
    const char *line = log.data + *pos;
    const void *nl = memchr(line, '\n', log.size - *pos);
    *len = nl ? static_cast<size_t>(static_cast<const char *>(nl) - line) : log.size - *pos;
    *pos += *len + 1;
    return line;
}

/* One pass over the log: the lines that name mac (letter case aside). */
static OwnLines findOwnLines(const OrvMapping &log, QuomoField mac)
{
    OwnLines own;
    size_t pos = 0;
    while (pos < log.size) {
        size_t len = 0;
        const char *line = nextLine(log, &pos, &len);
        if (len == 0 || !quomoSameMac(quomoLineMac(line, len), mac))
            continue;
        QuomoLeaseRecord record;
        if (quomoParseLeaseRecord(line, len, &record))
            own.previousIf = record.ifName;
        own.lines.push_back(QuomoField{line, len});
    }
    return own;
}

/* The client's record as the hook writes it; false (logged) when it would
 * be too long. */
static bool formatRecord(std::string &record, const char *mac, const char *ip,
                         const std::string &host, const std::string &ifName)
{
    char text[QUOMO_VALUE_LEN];
    if (!quomoFormatLeaseRecord(text, sizeof text, leaseExpiry(), quomoTextField(mac),
                                quomoTextField(ip), quomoTextField(host.c_str()),
                                quomoTextField(ifName.c_str()))) {
        ORV_LOG("Lease record too long for %s", mac);
        return false;
    }
    record = text;
    return true;
}

/* Whether the log holds the client's record exactly as record and no other
 * line of the client: read in small pieces through one buffer, which costs
 * less than mapping or copying a large log whole. false also when the log
 * cannot be read or holds a line longer than the buffer. */
static bool holdsOnly(const char *path, QuomoField mac, const std::string &record)
{
    int fd = orvOpenRead(path);
    if (fd < 0)
        return false;
    char buf[16384];
    size_t have = 0;
    int own = 0;
    bool same = false;
    bool ok = true;
    for (;;) {
        ssize_t n = read(fd, buf + have, sizeof buf - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        have += static_cast<size_t>(n);
        size_t pos = 0;
        while (pos < have) {
            const char *line = buf + pos;
            const void *nl = memchr(line, '\n', have - pos);
            if (!nl && n > 0)
                break; /* the rest of the line is still to come */
            size_t len = nl ? static_cast<size_t>(static_cast<const char *>(nl) - line) : have - pos;
            pos += len + 1;
            if (len == 0 || !quomoSameMac(quomoLineMac(line, len), mac))
                continue;
            ++own;
            same = len == record.size() && memcmp(line, record.data(), len) == 0;
        }
        if (n == 0)
            break;
        if (pos == 0 && have == sizeof buf) {
            ok = false; /* a line longer than the buffer */
            break;
        }
        have -= pos < have ? pos : have;
        memmove(buf, buf + pos, have);
    }
    close(fd);
    return ok && own == 1 && same;
}

/* The log without the client's lines and without blank lines, each line
 * ending in a line break. */
static std::string logWithout(const OrvMapping &log, const OwnLines &own)
{
    std::string kept;
    kept.reserve(log.size);
    size_t next = 0; /* the next of the client's lines */
    size_t pos = 0;
    while (pos < log.size) {
        size_t len = 0;
        const char *line = nextLine(log, &pos, &len);
        if (next < own.lines.size() && own.lines[next].p == line) {
            ++next;
            continue;
        }
        if (len == 0)
            continue; /* blank lines go with the rewrite */
        kept.append(line, len);
        kept += '\n';
    }
    return kept;
}

/* A device's first lease: noted, and one log line names it. */
static void noteFirstSeen(const char *mac, const std::string &host, const std::string &ifName)
{
    if (quomoFirstSeenNote(mac, (int64_t)orvNow()) != 1)
        return;
    char szVendor[QUOMO_VENDOR_LEN];
    QuomoVendors *pVendors = quomoVendorsOpen();
    quomoVendorOf(pVendors, mac, szVendor, sizeof szVendor);
    quomoVendorsClose(pVendors);
    ORV_LOG("New device %s (%s) \"%s\" on %s", mac, szVendor, host.c_str(), ifName.c_str());
}

int main(int argc, char **argv)
{
    /* The log is readable by all, whatever umask dnsmasq passes on. */
    umask(022);
    if (argc < 2)
        return 0;
    const char *event = argv[1];
    bool add = strcmp(event, "add") == 0 || strcmp(event, "old") == 0;
    bool del = strcmp(event, "del") == 0;
    if (!add && !del)
        return 0;
    if (argc < 4) {
        ORV_LOG("Lease event %s without MAC and IP address", event);
        return 1;
    }
    const char *mac = argv[2];
    const char *ip = argv[3];
    /* A DHCPv6 lease names its client by DUID: the log holds IPv4 leases
     * only, and the client list reads IPv6 ones from dnsmasq's lease file. */
    if (getenv("DNSMASQ_IAID") || strchr(ip, ':'))
        return 0;
    if (!validMac(mac) || !validIp(ip)) {
        ORV_LOG("Lease event %s with a malformed MAC or IP address, ignored", event);
        return 1;
    }

    char path[QUOMO_PATH_LEN];
    if (!orvPath(path, sizeof path, QUOMO_LEASE_LOG_PATH)) {
        ORV_LOG("Path too long [%s]", QUOMO_LEASE_LOG_PATH);
        return 1;
    }
    /* The library also rewrites the log; whoever holds the lock beside it
     * reads and replaces the log alone, so neither loses the other's record.
     * It is released when the hook ends. */
    int lockFd = orvLockPrivate(QUOMO_LEASE_LOG_LOCK_NAME, 1, QUOMO_LEASE_LOG_LOCK_WAIT_MS);
    if (lockFd < 0) {
        ORV_LOG("Lease event of %s not recorded: the lease log's lock could not be had",
                argc > 2 ? argv[2] : "?");
        return 1;
    }

    /* dnsmasq reports every stored lease again when it starts: a record
     * that is already there as it would be written stays untouched, and the
     * log is not written. That is most events, so it is found out first,
     * by reading the log once through a small buffer. */
    std::string host = cleanHostName(argc > 4 ? argv[4] : nullptr);
    std::string ifName = cleanIfName(getenv("DNSMASQ_INTERFACE"));
    std::string record;
    /* A first lease ("add"); "old" repeats the leases dnsmasq already held
     * when it started, whose devices were seen before. */
    if (strcmp(event, "add") == 0 && !ifName.empty())
        noteFirstSeen(mac, host, ifName);
    if (add && !ifName.empty()) {
        if (!formatRecord(record, mac, ip, host, ifName))
            return 1;
        if (holdsOnly(path, quomoTextField(mac), record))
            return 0;
    }

    OrvMapping old;
    if (orvMapFile(path, &old) < 0) {
        ORV_LOG("Can not read [%s]: %s", path, strerror(errno));
        return 1;
    }
    OwnLines own = findOwnLines(old, quomoTextField(mac));
    if (add) {
        /* An event without its interface keeps the one recorded before. */
        if (ifName.empty() &&
            !formatRecord(record, mac, ip, host,
                          cleanIfName(std::string(own.previousIf.p, own.previousIf.n).c_str())))
            return 1;
        if (own.lines.size() == 1 && own.lines[0].n == record.size() &&
            memcmp(own.lines[0].p, record.data(), record.size()) == 0)
            return 0;
    } else if (own.lines.empty()) {
        return 0;
    }
    /* Before writing, what a writer cut short left behind goes; without the
     * lock another writer may be using its temporary file. */
    if (lockFd >= 0)
        removeStaleTemporaries(path);
    std::string kept = logWithout(old, own);
    if (add)
        kept += record + "\n";
    if (!orvReplaceFile(path, kept.data(), kept.size(), 0644) || !orvSyncDir(path))
        return 1;
    return 0;
}
