/*
 * Drops lease-log records an hour after their lease ended. The log is walked
 * through a private copy, so that removing lines from the log itself does not
 * disturb the reading.
 */
#include "quomodhcp.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* How long a record stays after its lease ended, in seconds. */
#define EXPIRED_GRACE 3600

/* Copies the lease log into the working copy. False on any failure. */
static int copyLog(const char *szLog, const char *szTmp)
{
    FILE *pLog = VORLCSysFopen(szLog, "r", __FILE__, __LINE__);
    if (!pLog) {
        ORV_LOG("Can not open DHCP lease file");
        ORV_LOG("Generating temporary lease file failed");
        return 0;
    }
    FILE *pTmp = VORLCSysFopen(szTmp, "w", __FILE__, __LINE__);
    if (!pTmp) {
        ORV_LOG("Can not open temp DHCP lease file");
        fclose(pLog);
        ORV_LOG("Generating temporary lease file failed");
        return 0;
    }
    int ok = 1;
    int c;
    while ((c = fgetc(pLog)) != EOF) {
        if (fputc(c, pTmp) == EOF) {
            ok = 0;
            break;
        }
    }
    if (ferror(pLog))
        ok = 0;
    fclose(pLog);
    if (fclose(pTmp) != 0)
        ok = 0;
    if (!ok)
        ORV_LOG("Generating temporary lease file failed");
    return ok;
}

/* Removes from szLog the records of the working copy whose lease ended at
 * least EXPIRED_GRACE seconds ago. 0 on success, -1 on failure. */
static int removeExpired(const char *szLog, FILE *pTmp)
{
    PVORL_SZLIST pList = quomoListAlloc();
    if (!pList) {
        ORV_LOG("Read client list failed.");
        return -1;
    }
    int ret = 0;
    char *szLine = NULL;
    size_t cbLine = 0;
    while (getline(&szLine, &cbLine, pTmp) > 0) {
        int nField = VORLCStrSep(szLine, " ", &pList);
        if (nField < 0) {
            ORV_LOG("Read client list failed.");
            ret = -1;
            break;
        }
        /* A line that is not a record is kept: it cannot be judged. */
        if (nField != 4 && nField != 5)
            continue;

        char szExpireTime[QUOMO_EXPIRE_LEN];
        char szMac[QUOMO_IP_LEN];
        const char *szExpiry = VORLCSzListGet(pList, 0);
        orvCopy(szExpireTime, sizeof szExpireTime, szExpiry);
        orvCopy(szMac, sizeof szMac, VORLCSzListGet(pList, 1));
        /* The grace time is added in 64 bits and the sum held to 32. */
        long long expiry = (long long)quomoParseInt32(szExpiry) + EXPIRED_GRACE;
        if (expiry > INT32_MAX)
            expiry = INT32_MAX;
        if (getExpireTime(szExpireTime, (int32_t)expiry, szMac) != 0) {
            ORV_LOG("Calculating expired time failed.");
            continue;
        }
        if (strcmp(szExpireTime, "expired") != 0)
            continue;

        VORLCStrTrimSpace(szLine, 0);
        if (VORLCFileRemoveLine(szLog, szLine) <= 0) {
            ORV_LOG("Remove expired lease failed %s %s(%d)", szLine, "QUOMODHCPRemoveExpiredLease",
                    __LINE__);
            ret = -1;
            break;
        }
    }
    free(szLine);
    VORLCSzListFree(pList);
    return ret;
}

int QUOMODHCPRemoveExpiredLease(void)
{
    char szLog[QUOMO_PATH_LEN];
    char szTmp[QUOMO_PATH_LEN];
    char szLock[QUOMO_PATH_LEN];
    if (!orvPath(szLog, sizeof szLog, "/var/packages/Orvath/target/etc/dhcpd-leases.log") ||
        !orvPath(szTmp, sizeof szTmp, "/var/packages/Orvath/target/etc/dhcpd-leases.log.tmp") ||
        !orvPath(szLock, sizeof szLock, "/var/packages/Orvath/target/etc/dhcpd-leases.log.lock")) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return -1;
    }

    /* Every writer of the log (the lease hook too) holds its lock while it
     * reads and replaces the log: a writer running in between would lose
     * the other's record. Without the lock the work is still done. */
    int lockFd = orvLockFile(szLock);
    int ret = -1;
    if (copyLog(szLog, szTmp)) {
        FILE *pTmp = VORLCSysFopen(szTmp, "r", __FILE__, __LINE__);
        if (!pTmp) {
            ORV_LOG("Can not open original DHCP lease file");
        } else {
            ret = removeExpired(szLog, pTmp);
            fclose(pTmp);
        }
    }
    /* The working copy never outlives a run, failed or not. */
    if (VORLCFileExist(szTmp))
        VORLCSysUnlink(szTmp);
    orvUnlockFile(lockFd);
    return ret;
}
