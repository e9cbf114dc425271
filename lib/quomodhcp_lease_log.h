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
#include <vector>

#include "quomodhcp.h"
#include "quomodhcp_internal.h"


/* One line: where its bytes lie, and its place in the chain of lines whose
 * MAC addresses share a hash bucket (in file order). */
struct QuomoLogLine {
    uint32_t offset;  /* in the text read, or in the lines added */
    uint32_t rawLen;  /* line end included */
    uint32_t textLen; /* without its line end ("\n", or "\r\n") */
    uint32_t next;    /* next line of the same bucket, or QUOMO_NO_LINE */
    bool added;       /* appended since the log was read */
    bool live;        /* false once removed */
    bool endAdded;    /* the line end it lacked is written after it */
};

#define QUOMO_NO_LINE UINT32_MAX

struct QuomoLeaseLog {
    std::string text;  /* the log as read */
    std::string added; /* the lines appended since, each with its "\n" */
    std::vector<QuomoLogLine> lines;
    std::vector<uint32_t> head; /* first and last line of each hash bucket */
    std::vector<uint32_t> tail;
};

/* The bytes of line pos (line end included). */
const char *quomoLeaseLogBytes(const QuomoLeaseLog &log, size_t pos);

/* Lower-case copy of a MAC address text (ASCII letters only). */
std::string quomoMacKey(const char *szMac, size_t len);

/* quomoSplitFields at blanks. */
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
/* Position of the first live line naming szMac (letter case aside), or
 * SIZE_MAX. */
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
