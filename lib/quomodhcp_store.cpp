/*
 * Static reservation list and lease records: the reservation list
 * /etc/dhcpd/dhcpdStatic.ori (one dnsmasq "dhcp-host" line per reservation),
 * the expiry text of a lease and the parsing of one lease-log record.
 */
#include "quomodhcp.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

#define STATIC_LIST_PATH QUOMO_DHCPD_DIR "/dhcpdStatic.ori"

/* Reservation list fields after splitting at "=" and ",":
 * dhcp-host=<mac>,<hostname>,<ip>,infinite */
enum { STATIC_FIELD_MAC = 1, STATIC_FIELD_HOSTNAME = 2, STATIC_FIELD_IP = 3, STATIC_MIN_FIELDS = 4 };

int writeStaticConf(const char *szMac, const char *szIp, const char *szHostname)
{
    if (!szMac || !szIp || !szHostname) {
        ORV_LOG("Error Static Host Setting parameter!");
        return -1;
    }
    /* A line break would start a directive of its own in the fragment. */
    if (strpbrk(szMac, "\r\n") || strpbrk(szIp, "\r\n") || strpbrk(szHostname, "\r\n")) {
        ORV_LOG("Static host setting contains a line break");
        return -1;
    }

    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, STATIC_LIST_PATH)) {
        ORV_LOG("Path too long [%s]", szPath);
        return -1;
    }
    char szLine[QUOMO_VALUE_LEN];
    /* Longer lines are cut to the buffer. */
    orvFormat(szLine, sizeof szLine, "dhcp-host=%s,%s,%s,infinite", szMac, szHostname, szIp);
    return VORLCFileAddLine(szPath, NULL, szLine, 512);
}

int readStaticConf(char *szMac, char *szIp, char *szHostname, const char *szLine)
{
    if (!szMac || !szIp || !szHostname || !szLine) {
        ORV_LOG("Bad parameters.");
        return -1;
    }
    PVORL_SZLIST pList = VORLCSzListAlloc(QUOMO_LIST_SIZE);
    if (!pList) {
        ORV_LOG("Failed to alloc memory.");
        return -1;
    }
    int ret = VORLCStrSep(szLine, "=,", &pList);
    if (ret >= 0 && ret < STATIC_MIN_FIELDS) {
        /* Not a reservation line: leave the buffers alone. */
        ret = -1;
    } else if (ret > 0) {
        orvCopy(szMac, QUOMO_IP_LEN, VORLCSzListGet(pList, STATIC_FIELD_MAC));
        orvCopy(szIp, QUOMO_IP_LEN, VORLCSzListGet(pList, STATIC_FIELD_IP));
        orvCopy(szHostname, QUOMO_HOSTNAME_LEN, VORLCSzListGet(pList, STATIC_FIELD_HOSTNAME));
    }
    VORLCSzListFree(pList);
    return ret;
}

int getExpireTime(char *szExpireTime, int32_t expiry, const char *szMac)
{
    if (!szExpireTime) {
        ORV_LOG("szExpireTime is null");
        return -1;
    }
    if (!szMac) {
        ORV_LOG("szMac is null");
        return -1;
    }

    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, STATIC_LIST_PATH)) {
        ORV_LOG("Path too long [%s]", szPath);
        return -1;
    }
    /* A reserved client has an unlimited lease. The list is created when
     * missing, so that it exists from the first listing on. */
    int ret = VORLCFileTouch(szPath);
    if (ret == 0 && szMac[0] != '\0') {
        /* An empty MAC address would be found in every line. */
        char szReserved[QUOMO_VALUE_LEN];
        ret = VORLCFileGetLine(szPath, szMac, szReserved, sizeof szReserved, QUOMO_VALUE_LEN);
        if (ret > 0) {
            orvCopy(szExpireTime, QUOMO_EXPIRE_LEN, "unlimited");
            return 0;
        }
    }
    if (ret != 0) {
        ORV_LOG("check reserved list fail");
        return ret < 0 ? ret : -1;
    }

    time_t now = time(NULL);
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

/* Lease-log record fields: "<expiry> <mac> <ip> [<hostname>] <ifname>". */
enum { LEASE_FIELD_EXPIRY = 0, LEASE_FIELD_MAC = 1, LEASE_FIELD_IP = 2 };

int readClientList(char *szMac, char *szIp, char *szHostname, char *szExpireTime, char *szIfName,
                   const char *szLine)
{
    if (!szMac || !szIp || !szHostname || !szExpireTime || !szIfName || !szLine) {
        ORV_LOG("Bad parameters.");
        return -1;
    }
    PVORL_SZLIST pList = VORLCSzListAlloc(QUOMO_LIST_SIZE);
    if (!pList) {
        ORV_LOG("Failed to alloc memory.");
        return -1;
    }
    int ret = VORLCStrSep(szLine, " ", &pList);
    if (ret != 4 && ret != 5) {
        /* Not a record, or a damaged one: nothing in it can be trusted. */
        VORLCSzListFree(pList);
        return ret < 0 ? ret : -1;
    }

    orvCopy(szMac, QUOMO_IP_LEN, VORLCSzListGet(pList, LEASE_FIELD_MAC));
    orvCopy(szIp, QUOMO_IP_LEN, VORLCSzListGet(pList, LEASE_FIELD_IP));
    if (ret == 4) {
        szHostname[0] = '\0';
        orvCopy(szIfName, QUOMO_IFNAME_LEN, VORLCSzListGet(pList, 3));
    } else {
        orvCopy(szHostname, QUOMO_HOSTNAME_LEN, VORLCSzListGet(pList, 3));
        orvCopy(szIfName, QUOMO_IFNAME_LEN, VORLCSzListGet(pList, 4));
    }
    VORLCStrTrimSpace(szIfName, 0);

    /* strtoll saturates; the clamp keeps any text inside the 32-bit range. */
    long long expiry = strtoll(VORLCSzListGet(pList, LEASE_FIELD_EXPIRY), NULL, 10);
    if (expiry > INT32_MAX)
        expiry = INT32_MAX;
    if (expiry < INT32_MIN)
        expiry = INT32_MIN;
    VORLCSzListFree(pList);
    return getExpireTime(szExpireTime, (int32_t)expiry, szMac);
}
