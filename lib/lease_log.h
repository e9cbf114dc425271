/*
 * The package's lease log (var/packages/Orvath/target/etc/dhcpd-leases.log):
 * one record per client (lease_record.h), kept by the lease hook and brought
 * up to date by the client list. Held in memory while it is changed: its
 * lines in file order, each kept byte for byte, with an index of the lines
 * by the MAC address they name (compared without regard to letter case).
 * Every writer holds the lock beside the log and writes it at most once, and
 * not at all when nothing changed. Also the client list's view of a record:
 * its expiry as the page shows it. Not exported.
 */
#ifndef QUOMODHCP_LEASE_LOG_H
#define QUOMODHCP_LEASE_LOG_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp.h"

/* One line: where its bytes lie, the hash of the MAC address it names, and
 * the line before it in the chain of its hash bucket. */
struct QuomoLogLine {
    uint32_t offset;  /* in the text read, or in the lines added */
    uint32_t rawLen;  /* line end included */
    uint32_t textLen; /* without its line end ("\n", or "\r\n") */
    uint32_t hash;    /* of its MAC address, letter case aside */
    uint32_t next;    /* the previous line of the same bucket, or QUOMO_NO_LINE */
    bool added;       /* its bytes lie in the lines added, not in the text read */
    bool live;        /* false once removed */
    bool endAdded;    /* the line end it lacked is written after it */
    bool judged;      /* live when the pass over expired records began */
};

#define QUOMO_NO_LINE UINT32_MAX

/* The log's text as read: mapped (the log is only ever replaced whole, under
 * its lock), unmapped when it goes. */
class QuomoLogText {
public:
    QuomoLogText() = default;
    ~QuomoLogText() { orvUnmapFile(&map_); }
    QuomoLogText(const QuomoLogText &) = delete;
    QuomoLogText &operator=(const QuomoLogText &) = delete;
    /* As orvMapFile. */
    int load(const char *szPath)
    {
        orvUnmapFile(&map_);
        return orvMapFile(szPath, &map_);
    }
    const char *data() const { return map_.data ? map_.data : ""; }
    size_t size() const { return map_.size; }

private:
    OrvMapping map_ = {NULL, 0};
};

struct QuomoLeaseLog {
    QuomoLogText text;  /* the log as read */
    std::string added; /* the lines appended since, each with its "\n" */
    std::vector<QuomoLogLine> lines;
    std::vector<uint32_t> head; /* the last line of each hash bucket */
};

/* Reads the log at szPath into log, with room for `more` lines to be
 * appended. 1 read, 0 no such file, -1 error (logged). */
int quomoLeaseLogLoad(QuomoLeaseLog &log, const char *szPath, size_t more = 0);
/* The log's content as it would be written. */
std::string quomoLeaseLogText(const QuomoLeaseLog &log);

/* Writes each lease of dnsmasq's lease file at szLeases into the record of
 * its client, which moves to the end of the log. 0, or -1 when the lease
 * file cannot be read (logged). */
int quomoLeaseLogUpdate(QuomoLeaseLog &log, const char *szLeases);
/* Drops the records whose lease ended at least an hour before now, but never
 * a reserved client's. pReserved NULL: the reservation list could not be
 * read, and no record is judged. 0, or -1 when a record could not be
 * removed (the pass stops there, logged). */
int quomoLeaseLogRemoveExpired(QuomoLeaseLog &log, const QuomoReserved *pReserved, int64_t now);

/* Takes the lease log's lock (in the private directory), waiting at most
 * QUOMO_LEASE_LOG_LOCK_WAIT_MS: a descriptor for orvUnlockFile, or -1
 * (logged) when another process held it all that time or it is unsafe. */
int quomoLockLeaseLog(void);

/* See QUOMODHCPUpdateLease, QUOMODHCPRemoveExpiredLease,
 * QUOMODHCPRefreshLeaseLog and QUOMODHCPRemoveLeaseRecord. */
int quomoUpdateLeases(void);
int quomoRemoveExpiredLeases(void);
int quomoRefreshLeaseLog(void);
int quomoRemoveLeaseRecord(const char *szMac, const char *szIp);

/* See QUOMODHCPListClients and QUOMODHCPCurrentLeaseAddresses. */
int quomoListClients(const char *szIfName, QuomoClientVisit visit, void *pContext);
int quomoCurrentLeaseAddresses(uint32_t *pAddrs, int max);
/* See QUOMODHCPListClients6. */
int quomoListClients6(QuomoClient6Visit visit, void *pContext);

/* See getExpireTimeWith and readClientListWith. */
int quomoExpiryText(const QuomoReserved *pReserved, char *szExpireTime, int32_t expiry,
                    const char *szMac);
int quomoReadClient(const QuomoReserved *pReserved, char *szMac, char *szIp, char *szHostname,
                    char *szExpireTime, char *szIfName, const char *szLine);

#endif /* QUOMODHCP_LEASE_LOG_H */
