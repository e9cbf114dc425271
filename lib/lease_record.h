/*
 * One record of the package's lease log, the one parser and the one writer
 * of it, for the library and the lease hook alike:
 *
 *     <expiry> <MAC> <IP> [<host name>] <interface>
 *
 * blank-separated, four fields or five (the hook writes five, the host name
 * empty when there is none). MAC addresses compare without regard to letter
 * case. Not exported.
 */
#ifndef QUOMODHCP_LEASE_RECORD_H
#define QUOMODHCP_LEASE_RECORD_H

#include <stddef.h>

#include <string>

#include "text.h"

/* Longest record, line end excluded: what the log's readers take in one
 * line. */
#define QUOMO_RECORD_LEN (QUOMO_VALUE_LEN - 1)

struct QuomoLeaseRecord {
    QuomoField expiry;
    QuomoField mac;
    QuomoField ip;
    QuomoField host; /* empty in a four-field record */
    QuomoField ifName;
};

/* Reads text[0 .. len-1] (without its line end; read up to a NUL byte, as a
 * C string) as a record. 1 for a record of four or five fields; 0 for any
 * other line, which nothing in can be trusted. */
int quomoParseLeaseRecord(const char *text, size_t len, QuomoLeaseRecord *pRecord);
/* The MAC field of any line of the log, record or not: its second
 * blank-separated field, or an empty one. */
QuomoField quomoLineMac(const char *text, size_t len);

/* The record's text (no line end) into buf; 0 when it does not fit
 * QUOMO_RECORD_LEN characters or size bytes. */
int quomoFormatLeaseRecord(char *buf, size_t size, unsigned long expiry, QuomoField mac,
                           QuomoField ip, QuomoField host, QuomoField ifName);

/* The same MAC address, letter case aside. */
bool quomoSameMac(QuomoField a, QuomoField b);
/* Lower-case copy of a MAC address text (ASCII letters only). */
std::string quomoMacKey(const char *szMac, size_t len);
/* A C string as a field. */
QuomoField quomoTextField(const char *text);

#endif /* QUOMODHCP_LEASE_RECORD_H */
