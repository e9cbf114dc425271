/*
 * Drops lease-log records an hour after their lease ended. The records are
 * judged as they stood when the pass began; removing one removes every
 * identical copy of it.
 */
#include <ctype.h>
#include <stdint.h>
#include <string.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "quomodhcp_lease_log.h"

/* How long a record stays after its lease ended, in seconds. */
#define EXPIRED_GRACE 3600

enum { RECORD_MAX_FIELDS = 6 };

/* True when the record's lease ended at least EXPIRED_GRACE seconds before
 * now and its client is not reserved. */
static bool recordExpired(const QuomoField *f, const QuomoReserved *pReserved, int64_t now)
{
    char szMac[QUOMO_IP_LEN];
    char szExpiry[QUOMO_VALUE_LEN];
    orvFormat(szMac, sizeof szMac, "%.*s", (int)f[1].n, f[1].p);
    orvFormat(szExpiry, sizeof szExpiry, "%.*s", (int)f[0].n, f[0].p);
    if (quomoIsReserved(pReserved, szMac))
        return false;
    /* The grace time is added in 64 bits and the sum held to 32. */
    int64_t expiry = (int64_t)quomoParseInt32(szExpiry) + EXPIRED_GRACE;
    if (expiry > INT32_MAX)
        expiry = INT32_MAX;
    return expiry <= now;
}

int quomoLeaseLogRemoveExpired(QuomoLeaseLog &log, const QuomoReserved *pReserved, int64_t now)
{
    std::vector<size_t> records;
    for (size_t i = 0; i < log.lines.size(); ++i)
        if (log.lines[i].live)
            records.push_back(i);

    for (size_t pos : records) {
        /* The line as text, with its line end, up to a NUL byte. */
        const char *text = quomoLeaseLogBytes(log, pos);
        size_t len = strnlen(text, log.lines[pos].rawLen);
        QuomoField f[RECORD_MAX_FIELDS];
        int nField = quomoSplitBlanks(text, len, f, RECORD_MAX_FIELDS);
        /* A line that is not a record is kept: it cannot be judged. */
        if (nField != 4 && nField != 5)
            continue;
        if (!pReserved) {
            ORV_LOG("Calculating expired time failed.");
            continue;
        }
        if (!recordExpired(f, pReserved, now))
            continue;

        /* The record without white space at either end. */
        while (len > 0 && isspace((unsigned char)text[len - 1]))
            --len;
        while (len > 0 && isspace((unsigned char)*text)) {
            ++text;
            --len;
        }
        if (quomoLeaseLogRemove(log, text, len) == 0) {
            ORV_LOG("Remove expired lease failed %.*s %s(%d)", (int)len, text,
                    "QUOMODHCPRemoveExpiredLease", __LINE__);
            return -1;
        }
    }
    return 0;
}
