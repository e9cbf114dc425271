/*
 * The package's lease log held in memory while it is brought up to date:
 * its lines in file order, each kept byte for byte, with an index of the
 * lines by the MAC address they name (their second blank-separated field,
 * compared without regard to letter case). Not exported.
 *
 * A listing updates the log from dnsmasq's lease file and then drops expired
 * records, both over these lines, and writes the log once, only when its
 * content changed.
 */
#ifndef QUOMODHCP_LEASE_LOG_H
#define QUOMODHCP_LEASE_LOG_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "quomodhcp.h"

#define QUOMO_LEASE_LOG_PATH "/var/packages/Orvath/target/etc/dhcpd-leases.log"
/* Taken by every writer of the log (the lease hook too): each one reads the
 * log and replaces it whole, so a writer running in between would lose the
 * other's record. */
#define QUOMO_LEASE_LOG_LOCK_PATH QUOMO_LEASE_LOG_PATH ".lock"
#define QUOMO_LEASE_FILE_PATH "/var/packages/Orvath/target/etc/dhcpd.conf.leases"

struct QuomoLogLine {
    std::string raw; /* the line as stored, line end included */
    size_t textLen;  /* without its line end ("\n", or "\r\n") */
    bool live;       /* false once removed */
};

struct QuomoLeaseLog {
    std::vector<QuomoLogLine> lines;
    /* Lower-case MAC field -> positions of the live lines naming it, in
     * file order. */
    std::unordered_map<std::string, std::vector<size_t>> byMac;
    /* The last line as read, when it had no line end; else SIZE_MAX. */
    size_t unterminated;
};

/* Lower-case copy of a MAC address text (ASCII letters only). */
std::string quomoMacKey(const char *szMac, size_t len);

/* One field of a line split at blanks. */
struct QuomoField {
    const char *p;
    size_t n;
};
/* Splits text[0 .. len-1] at every blank, keeping empty fields; fills at
 * most max fields and returns the number of fields there are. */
int quomoSplitBlanks(const char *text, size_t len, QuomoField *fields, int max);

/* Reads the log at szPath into log. 1 read, 0 no such file, -1 error
 * (logged). */
int quomoLeaseLogLoad(QuomoLeaseLog &log, const char *szPath);
/* The log's content as it would be written. */
std::string quomoLeaseLogText(const QuomoLeaseLog &log);
/* Appends a line (given without its line end) as the last line. */
void quomoLeaseLogAppend(QuomoLeaseLog &log, const std::string &text);
/* Removes every live line whose text (without line end) is exactly
 * text[0 .. len-1]; returns how many. */
size_t quomoLeaseLogRemove(QuomoLeaseLog &log, const char *text, size_t len);
/* Position of the first live line naming szMac, or SIZE_MAX. */
size_t quomoLeaseLogFind(const QuomoLeaseLog &log, const char *szMac);

/* Writes each lease of dnsmasq's lease file at szLeases into the record of
 * its client, which moves to the end of the log. 0, or -1 when the lease
 * file cannot be read (logged). */
int quomoLeaseLogUpdate(QuomoLeaseLog &log, const char *szLeases);
/* Drops the records whose lease ended at least an hour before now, but never
 * a reserved client's. pReserved NULL: the reservation list could not be
 * read, and no record is judged. 0, or -1 when a record could not be
 * removed (the pass stops there, logged). */
int quomoLeaseLogRemoveExpired(QuomoLeaseLog &log, const QuomoReserved *pReserved, int64_t now);

#endif /* QUOMODHCP_LEASE_LOG_H */
