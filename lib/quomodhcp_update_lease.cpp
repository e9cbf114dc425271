/*
 * Brings the lease log up to date with dnsmasq's lease file: each lease's
 * expiry is written into the log record of its client, which moves to the
 * end of the log. Leases are taken in the order of the lease file, so the
 * records updated end in that order.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "quomodhcp_lease_log.h"

/* Log record fields: "<expiry> <mac> <ip> [<hostname>] <ifname>". */
enum { RECORD_MAX_FIELDS = 6 };

/* Rewrites the record of szMac, the first line that names it, with a new
 * expiry and moves it to the end of the log. A line that is not a record of
 * four or five fields, or that does not fit the line buffer, stays as it is. */
static void updateRecord(QuomoLeaseLog &log, const char *szMac, int32_t expiry)
{
    /* An empty MAC address names no record. */
    if (szMac[0] == '\0')
        return;
    size_t pos = quomoLeaseLogFind(log, szMac);
    if (pos == SIZE_MAX)
        return;

    /* The record as a line buffer holds it: up to a NUL byte, cut to the
     * buffer. */
    const char *bytes = quomoLeaseLogBytes(log, pos);
    char szOld[QUOMO_VALUE_LEN];
    size_t oldLen = strnlen(bytes, log.lines[pos].textLen);
    if (oldLen >= sizeof szOld)
        oldLen = sizeof szOld - 1;
    memcpy(szOld, bytes, oldLen);
    szOld[oldLen] = '\0';

    QuomoField f[RECORD_MAX_FIELDS];
    int nField = quomoSplitBlanks(szOld, oldLen, f, RECORD_MAX_FIELDS);
    if (nField != 4 && nField != 5) {
        ORV_LOG("FILE dhcpd-lease.log be destroied.");
        return;
    }
    QuomoField host = nField == 5 ? f[3] : QuomoField{"", 0};
    QuomoField ifName = f[nField - 1];

    /* The log keeps an unsigned expiry; within 0 .. INT32_MAX it fits an
     * unsigned long on every target. */
    unsigned long newExpiry = expiry < 0 ? 0UL : (unsigned long)expiry;
    char szNew[QUOMO_VALUE_LEN];
    if (!orvFormat(szNew, sizeof szNew, "%lu %.*s %.*s %.*s %.*s", newExpiry, (int)f[1].n, f[1].p,
                   (int)f[2].n, f[2].p, (int)host.n, host.p, (int)ifName.n, ifName.p)) {
        /* A cut record would replace a whole one. */
        ORV_LOG("Renew record %s failed", szNew);
        return;
    }

    /* Every copy of the old record goes; when none matches it whole (it was
     * cut, or ends in a carriage return) the record stays where it is. */
    size_t wantLen = oldLen > 0 && szOld[oldLen - 1] == '\r' ? oldLen - 1 : oldLen;
    if (quomoLeaseLogRemove(log, szOld, wantLen) == 0) {
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
    quomoLeaseLogAppend(log, record);
}

int quomoLeaseLogUpdate(QuomoLeaseLog &log, const char *szLeases)
{
    FILE *pFile = fopen(szLeases, "r");
    if (!pFile) {
        ORV_LOG("Can not open original DHCP lease file");
        return -1;
    }
    /* Lease file lines: "<expiry> <mac> <ip> <hostname> <client id>". */
    char *szLine = NULL;
    size_t cbLine = 0;
    ssize_t len;
    while ((len = getline(&szLine, &cbLine, pFile)) > 0) {
        QuomoField f[2];
        if (quomoSplitBlanks(szLine, strnlen(szLine, (size_t)len), f, 2) < 2)
            continue; /* no MAC address: nothing to update */
        char szMac[QUOMO_IP_LEN];
        char szExpiry[QUOMO_VALUE_LEN];
        orvFormat(szMac, sizeof szMac, "%.*s", (int)f[1].n, f[1].p);
        orvFormat(szExpiry, sizeof szExpiry, "%.*s", (int)f[0].n, f[0].p);
        updateRecord(log, szMac, quomoParseInt32(szExpiry));
    }
    fclose(pFile);
    free(szLine);
    return 0;
}
