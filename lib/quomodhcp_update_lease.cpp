/*
 * Brings the package's lease log up to date with dnsmasq's lease file: each
 * lease's expiry is written into the log record of its client, which moves to
 * the end of the log. The whole update holds the log's lock.
 */
#include "quomodhcp.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

#define LEASE_LOG_PATH "/var/packages/Orvath/target/etc/dhcpd-leases.log"
/* Taken by every writer of the log (the lease hook too): each one reads the
 * log and replaces it by rename, so a writer running in between would lose
 * the other's record. */
#define LEASE_LOG_LOCK_PATH LEASE_LOG_PATH ".lock"

/* Rewrites the lease-log record of szMac with a new expiry and moves it to the
 * end of the log. 0 when done or when the log has no record of szMac. */
static int updateRecord(const char *szMac, int32_t expiry)
{
    /* An empty MAC address would be found in every record. */
    if (szMac[0] == '\0')
        return 0;

    char szLog[QUOMO_PATH_LEN];
    if (!orvPath(szLog, sizeof szLog, LEASE_LOG_PATH)) {
        ORV_LOG("Path too long [%s]", szLog);
        return -1;
    }
    PVORL_SZLIST pList = quomoListAlloc();
    if (!pList)
        return -1;

    char szOld[QUOMO_VALUE_LEN];
    int ret = VORLCFileGetLine(szLog, szMac, szOld, sizeof szOld, QUOMO_VALUE_LEN);
    if (ret <= 0) {
        if (ret < 0)
            ORV_LOG("Getting record by %s failed.", szMac);
        VORLCSzListFree(pList);
        return ret;
    }

    int nField = VORLCStrSep(szOld, " ", &pList);
    if (nField <= 0) {
        ORV_LOG("Parsing record error![ %s ]", szOld);
        VORLCSzListFree(pList);
        return nField;
    }
    const char *szHost;
    const char *szIf;
    if (nField == 5) {
        szHost = VORLCSzListGet(pList, 3);
        szIf = VORLCSzListGet(pList, 4);
    } else if (nField == 4) {
        szHost = "";
        szIf = VORLCSzListGet(pList, 3);
    } else {
        ORV_LOG("FILE dhcpd-lease.log be destroied.");
        VORLCSzListFree(pList);
        return nField;
    }

    /* The log keeps an unsigned expiry; within 0 .. INT32_MAX it fits an
     * unsigned long on every target. */
    unsigned long newExpiry = expiry < 0 ? 0UL : (unsigned long)expiry;
    char szNew[QUOMO_VALUE_LEN];
    if (!orvFormat(szNew, sizeof szNew, "%lu %s %s %s %s", newExpiry, VORLCSzListGet(pList, 1),
                   VORLCSzListGet(pList, 2), szHost, szIf)) {
        /* A cut record would replace a whole one. */
        ORV_LOG("Renew record %s failed", szNew);
        VORLCSzListFree(pList);
        return -1;
    }
    VORLCSzListFree(pList);

    /* Nothing removed (a record longer than the buffer, or one that went
     * away meanwhile) must not leave a second record of the client. */
    ret = VORLCFileRemoveLine(szLog, szOld);
    if (ret <= 0) {
        ORV_LOG("Remove expired lease failed %s(%d)", "updateRecord", __LINE__);
        return ret < 0 ? nField : -1;
    }
    if (VORLCFileAddLine(szLog, NULL, szNew, 1) < 0)
        ORV_LOG("Renew record %s failed", szNew);
    return 0;
}

/* Updates the log record of every client in dnsmasq's lease file. */
static int updateRecords(void)
{
    char szLeases[QUOMO_PATH_LEN];
    if (!orvPath(szLeases, sizeof szLeases, "/var/packages/Orvath/target/etc/dhcpd.conf.leases")) {
        ORV_LOG("Path too long [%s]", szLeases);
        return -1;
    }
    PVORL_SZLIST pList = quomoListAlloc();
    if (!pList)
        return -1;
    FILE *pFile = VORLCSysFopen(szLeases, "r", __FILE__, __LINE__);
    if (!pFile) {
        ORV_LOG("Can not open original DHCP lease file");
        VORLCSzListFree(pList);
        return -1;
    }

    /* Lease file lines: "<expiry> <mac> <ip> <hostname> <client id>". */
    int ret = 0;
    char *szLine = NULL;
    size_t cbLine = 0;
    while (getline(&szLine, &cbLine, pFile) > 0) {
        VORLCSzListRemoveAll(pList);
        int nField = VORLCStrSep(szLine, " ", &pList);
        if (nField <= 0) {
            ORV_LOG("Spliting %s failed", szLine);
            ret = nField;
            break;
        }
        if (nField < 2)
            continue; /* no MAC address: nothing to update */
        char szMac[QUOMO_IP_LEN];
        orvCopy(szMac, sizeof szMac, VORLCSzListGet(pList, 1));
        updateRecord(szMac, quomoParseInt32(VORLCSzListGet(pList, 0)));
    }
    fclose(pFile);
    free(szLine);
    VORLCSzListFree(pList);
    return ret;
}

int QUOMODHCPUpdateLease(void)
{
    char szLock[QUOMO_PATH_LEN];
    int lockFd = -1;
    if (orvPath(szLock, sizeof szLock, LEASE_LOG_LOCK_PATH))
        lockFd = orvLockFile(szLock);
    else
        ORV_LOG("Path too long [%s]", szLock);
    int ret = updateRecords();
    orvUnlockFile(lockFd);
    return ret;
}
