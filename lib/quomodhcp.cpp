#include "quomodhcp.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "orvath_common.h"
#include "quomodhcp_guard.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* ---- service control ---- */

int isIfTagEnable(const char *szIfName, const char *szTag)
{
    if (!szIfName || !szTag)
        return -1;
    /* A cut name would be another file: that is no settings file of this
     * subnet. */
    char szInfo[QUOMO_PATH_LEN];
    if (!QUOMODHCPSubnetPath(szInfo, sizeof szInfo, szIfName, szTag, "info"))
        return -1;
    return quomoInfoEnabled(szInfo) ? 0 : -1;
}

/* Calls visit for each numbered settings file of szIfName from index 0 up to
 * the first missing one, then for the PXE settings file when it exists.
 * Stops early when visit returns non-zero and returns that value; returns 0
 * after the last file. *pFound counts the files visited. */
static int forEachInfo(const char *szIfName, int (*visit)(const char *szInfo), int *pFound)
{
    char szInfo[QUOMO_PATH_LEN];
    *pFound = 0;
    for (int n = 0; n < INT_MAX; ++n) {
        if (!quomoNumberedPath(szInfo, sizeof szInfo, szIfName, n, "info") ||
            VORLCFileExist(szInfo) != 1)
            break;
        ++*pFound;
        int stop = visit(szInfo);
        if (stop)
            return stop;
    }
    if (QUOMODHCPSubnetPath(szInfo, sizeof szInfo, szIfName, QUOMO_PXE_TAG, "info") &&
        VORLCFileExist(szInfo) == 1) {
        ++*pFound;
        return visit(szInfo);
    }
    return 0;
}

/* Switches one subnet off; non-zero (stopping the walk) when the settings
 * file could not be written. */
static int markOff(const char *szInfo)
{
    return VORLCFileSetKeyValue(szInfo, "enable", "no", QUOMO_INFO_FORMAT) == 1 ? 0 : 1;
}

int disableDHCPServer(const char *szIfName)
{
    /* Empty, or no interface's name: its paths could leave the directory. */
    if (quomoNameFault(szIfName))
        return -1;
    int found;
    if (forEachInfo(szIfName, markOff, &found) != 0) {
        ORV_LOG("Failed to switch off the subnets of [%s]", szIfName);
        return 0;
    }
    return found > 0 ? 1 : 0;
}

int isDHCPDActivate(const char *szIfName)
{
    if (!szIfName || szIfName[0] == '\0')
        return -1;
    int found;
    return forEachInfo(szIfName, quomoInfoEnabled, &found) ? 0 : -1;
}

int QUOMODHCPSubnetSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe)
{
    if (!szRows || cbRows == 0 || !pPxe)
        return 0;
    szRows[0] = '\0';
    *pPxe = 0;
    if (quomoNameFault(szIfName))
        return 0;
    char szInfo[QUOMO_PATH_LEN];
    size_t len = 0;
    /* The same walk as forEachInfo: numbered files up to the first missing
     * one, then the PXE subnet. */
    for (int n = 0; n < INT_MAX; ++n) {
        if (!quomoNumberedPath(szInfo, sizeof szInfo, szIfName, n, "info") ||
            VORLCFileExist(szInfo) != 1)
            break;
        if (len + 1 >= cbRows)
            return 0;
        szRows[len++] = quomoInfoEnabled(szInfo) ? 'y' : 'n';
        szRows[len] = '\0';
    }
    *pPxe = QUOMODHCPSubnetPath(szInfo, sizeof szInfo, szIfName, QUOMO_PXE_TAG, "info") &&
            quomoInfoEnabled(szInfo);
    return 1;
}

int QUOMODHCPCountEnabled(const char *szIfName)
{
    char szRows[QUOMO_SWITCHES_LEN];
    int pxe = 0;
    if (!QUOMODHCPSubnetSwitches(szIfName, szRows, sizeof szRows, &pxe))
        return 0;
    int count = pxe;
    for (const char *p = szRows; *p; ++p)
        count += *p == 'y';
    return count;
}

int restartDHCPServer(void)
{
    char szScript[QUOMO_PATH_LEN];
    /* A cut name would run another program: the script cannot be started. */
    if (!orvPath(szScript, sizeof szScript, QUOMO_RC_NETWORK)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 127;
    }
    int result = VORLCExec(szScript, "nat-restart-dhcp", NULL, NULL, NULL);
    if (result == 1)
        ORV_LOG("Failed to restart DHCP SERVER");
    return result;
}

/* ---- PXE subnet ---- */

int QUOMONetSetDhcpPXEServerConfigFiles(const DhcpPxeConf *conf, int enable)
{
    if (!conf) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    if (!quomoCheckSubnetRecord(*conf) ||
        !quomoCheckText("szBootFile", conf->szBootFile, sizeof conf->szBootFile))
        return 0;

    QuomoSubnetView v = quomoSubnetView(*conf);
    /* Unlike an ordinary subnet, a disabled PXE subnet keeps a complete
     * fragment: it is rewritten whatever the enable flag. */
    std::string fragment;
    quomoAppendSubnetLines(fragment, v);
    if (conf->szBootFile[0] != '\0') {
        fragment += std::string("dhcp-boot=tag:") + conf->szTag + "," + conf->szBootFile + "\n";
        /* Every client announcing the vendor class PXEClient is tagged pxe. */
        fragment += "dhcp-vendorclass=set:pxe,PXEClient\n";
    }
    return quomoWriteSubnet(v, &fragment, enable);
}

/* Copies the DhcpServerConf fields into the same leading fields of a
 * DhcpPxeConf. */
static void copyToPxe(DhcpPxeConf *dst, const DhcpServerConf *src)
{
    static_assert(sizeof dst->szDomain == sizeof src->szDomain, "same layout");
    dst->isEnabled = src->isEnabled;
    dst->leaseTime = src->leaseTime;
    memcpy(dst->szStartIp, src->szStartIp, sizeof dst->szStartIp);
    memcpy(dst->szEndIp, src->szEndIp, sizeof dst->szEndIp);
    memcpy(dst->szIfName, src->szIfName, sizeof dst->szIfName);
    memcpy(dst->szDomain, src->szDomain, sizeof dst->szDomain);
    memcpy(dst->szPrimaryDns, src->szPrimaryDns, sizeof dst->szPrimaryDns);
    memcpy(dst->szSecondaryDns, src->szSecondaryDns, sizeof dst->szSecondaryDns);
    memcpy(dst->szNetmask, src->szNetmask, sizeof dst->szNetmask);
    memcpy(dst->szGateway, src->szGateway, sizeof dst->szGateway);
    memcpy(dst->szTag, src->szTag, sizeof dst->szTag);
}

int QUOMONetGetDhcpPXEServerConf(const char *szTag, const char *szIfName, DhcpPxeConf *pConf)
{
    if (!pConf || !szIfName || !szTag)
        return 0;

    char szConf[QUOMO_PATH_LEN];
    if (!quomoExistingFragment(szConf, szIfName, szTag))
        return 0;

    DhcpServerConf subnet;
    memset(&subnet, 0, sizeof subnet);
    int ok = QUOMODHCPGetDhcpServerConf(szTag, szIfName, &subnet);
    copyToPxe(pConf, &subnet);
    if (!ok)
        return 0;

    memset(pConf->szBootFile, 0, sizeof pConf->szBootFile);
    QuomoList list;
    if (!list.ok())
        return 0;
    char szValue[QUOMO_VALUE_LEN] = "";
    /* dhcp-boot=tag:<tag>,<boot file>; without the line there is no boot file. */
    if (VORLCFileGetKeyValue(szConf, "dhcp-boot", szValue, sizeof szValue, 0) <= 0)
        return 1;
    int count = VORLCStrTok(szValue, ",", list.out());
    if (count <= 0)
        return 0;
    if (count >= 2)
        orvCopy(pConf->szBootFile, sizeof pConf->szBootFile, list.get(1));
    return 1;
}

int isSameApSubnet(const char *szIp, const char *szNetmask)
{
    char szConf[QUOMO_PATH_LEN];
    if (!QUOMODHCPSubnetPath(szConf, sizeof szConf, QUOMO_AP_IFNAME, QUOMO_AP_IFNAME, "conf") ||
        access(szConf, R_OK) != 0)
        return 0;

    DhcpServerConf ap;
    if (!QUOMODHCPGetDhcpServerConf(QUOMO_AP_IFNAME, QUOMO_AP_IFNAME, &ap))
        return -1;

    /* Under the caller's mask and under the access point's own: a conflict
     * under either counts. An address that cannot be compared (-1) is a
     * conflict too. */
    const char *ip = szIp ? szIp : "";
    int underCallers = QUOMONetIsSameSubnet(ip, ap.szGateway, szNetmask ? szNetmask : "");
    int underOwn = QUOMONetIsSameSubnet(ip, ap.szGateway, ap.szNetmask);
    return underCallers | underOwn;
}

/* ---- static reservations and lease records ---- */

/* Reservation list fields after splitting at "=" and ",":
 * dhcp-host=<mac>,<hostname>,<ip>,infinite */
enum { STATIC_FIELD_MAC = 1, STATIC_FIELD_HOSTNAME = 2, STATIC_FIELD_IP = 3, STATIC_MIN_FIELDS = 4 };

int quomoStaticLine(std::string &out, const char *szMac, const char *szIp, const char *szHostname)
{
    if (!szMac || !szIp || !szHostname) {
        ORV_LOG("Error Static Host Setting parameter!");
        return 0;
    }
    /* A line break would start a directive of its own in the fragment. */
    if (strpbrk(szMac, "\r\n") || strpbrk(szIp, "\r\n") || strpbrk(szHostname, "\r\n")) {
        ORV_LOG("Static host setting contains a line break");
        return 0;
    }
    char szLine[QUOMO_VALUE_LEN];
    /* A cut line would lose its address or its lease time. */
    if (!orvFormat(szLine, sizeof szLine, "dhcp-host=%s,%s,%s,infinite", szMac, szHostname,
                   szIp)) {
        ORV_LOG("Static host setting too long [%s]", szMac);
        return 0;
    }
    out += szLine;
    out += '\n';
    return 1;
}

int writeStaticConf(const char *szMac, const char *szIp, const char *szHostname)
{
    std::string line;
    if (!quomoStaticLine(line, szMac, szIp, szHostname))
        return -1;
    char szPath[QUOMO_PATH_LEN];
    if (!quomoStaticListPath(szPath))
        return -1;
    if (!quomoMakeDhcpdDir())
        return -1;
    return VORLCFileAddLine(szPath, NULL, line.c_str(), 512);
}

int readStaticConf(char *szMac, char *szIp, char *szHostname, const char *szLine)
{
    if (!szMac || !szIp || !szHostname || !szLine) {
        ORV_LOG("Bad parameters.");
        return -1;
    }
    QuomoField f[STATIC_MIN_FIELDS];
    int ret = quomoSplitFields(szLine, strlen(szLine), "=,", f, STATIC_MIN_FIELDS);
    if (ret < STATIC_MIN_FIELDS)
        return -1; /* not a reservation line: the buffers stay as they are */
    quomoCopyField(szMac, QUOMO_IP_LEN, f[STATIC_FIELD_MAC]);
    quomoCopyField(szIp, QUOMO_IP_LEN, f[STATIC_FIELD_IP]);
    quomoCopyField(szHostname, QUOMO_HOSTNAME_LEN, f[STATIC_FIELD_HOSTNAME]);
    return ret;
}

int getExpireTime(char *szExpireTime, int32_t expiry, const char *szMac)
{
    QuomoReserved *pReserved = szExpireTime && szMac ? QUOMODHCPReservedLoad() : NULL;
    int ret = getExpireTimeWith(pReserved, szExpireTime, expiry, szMac);
    QUOMODHCPReservedFree(pReserved);
    return ret;
}

int getExpireTimeWith(const QuomoReserved *pReserved, char *szExpireTime, int32_t expiry,
                      const char *szMac)
{
    if (!szExpireTime) {
        ORV_LOG("szExpireTime is null");
        return -1;
    }
    if (!szMac) {
        ORV_LOG("szMac is null");
        return -1;
    }
    /* A reserved client has an unlimited lease. */
    if (!pReserved) {
        ORV_LOG("check reserved list fail");
        return -1;
    }
    if (quomoIsReserved(pReserved, szMac)) {
        orvCopy(szExpireTime, QUOMO_EXPIRE_LEN, "unlimited");
        return 0;
    }

    time_t now = orvNow();
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
    QuomoReserved *pReserved = QUOMODHCPReservedLoad();
    int ret = readClientListWith(pReserved, szMac, szIp, szHostname, szExpireTime, szIfName, szLine);
    QUOMODHCPReservedFree(pReserved);
    return ret;
}

int readClientListWith(const QuomoReserved *pReserved, char *szMac, char *szIp, char *szHostname,
                       char *szExpireTime, char *szIfName, const char *szLine)
{
    if (!szMac || !szIp || !szHostname || !szExpireTime || !szIfName || !szLine) {
        ORV_LOG("Bad parameters.");
        return -1;
    }
    QuomoField f[5];
    int ret = quomoSplitFields(szLine, strlen(szLine), " ", f, 5);
    if (ret != 4 && ret != 5)
        return -1; /* not a record, or a damaged one: nothing in it can be trusted */

    quomoCopyField(szMac, QUOMO_IP_LEN, f[LEASE_FIELD_MAC]);
    quomoCopyField(szIp, QUOMO_IP_LEN, f[LEASE_FIELD_IP]);
    if (ret == 4) {
        szHostname[0] = '\0';
        quomoCopyField(szIfName, QUOMO_IFNAME_LEN, f[3]);
    } else {
        quomoCopyField(szHostname, QUOMO_HOSTNAME_LEN, f[3]);
        quomoCopyField(szIfName, QUOMO_IFNAME_LEN, f[4]);
    }
    VORLCStrTrimSpace(szIfName, 0);

    char szExpiry[QUOMO_VALUE_LEN];
    quomoCopyField(szExpiry, sizeof szExpiry, f[LEASE_FIELD_EXPIRY]);
    int32_t expiry = quomoParseInt32(szExpiry);
    return getExpireTimeWith(pReserved, szExpireTime, expiry, szMac);
}

/* ---- one save ---- */

/* A temporary file of orvReplaceFile: ".<name>.XXXXXX". */
static int isTemporaryName(const char *name)
{
    size_t len = strlen(name);
    if (len < 9 || name[0] != '.' || name[len - 7] != '.')
        return 0;
    for (size_t i = len - 6; i < len; ++i) {
        char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return 0;
    }
    return 1;
}

/* Removes the temporaries in the directory dir (under the root) whose name
 * begins with prefix; returns how many. */
static int removeTemporaries(const char *dir, const char *prefix)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, "%s", dir))
        return 0;
    DIR *d = opendir(szDir);
    if (!d)
        return 0;
    int removed = 0;
    size_t prefixLen = strlen(prefix);
    while (struct dirent *e = readdir(d)) {
        if (!isTemporaryName(e->d_name) || strncmp(e->d_name, prefix, prefixLen) != 0)
            continue;
        char szPath[QUOMO_TEMP_PATH_LEN];
        struct stat st;
        if (!orvFormat(szPath, sizeof szPath, "%s/%s", szDir, e->d_name) ||
            lstat(szPath, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (unlink(szPath) == 0)
            ++removed;
        else
            ORV_LOG("Failed to remove [%s]: %s", szPath, strerror(errno));
    }
    closedir(d);
    return removed;
}

int QUOMODHCPRemoveStaleTemporaries(void)
{
    /* In /etc only the library's own file: the directory is the system's.
     * Beside the status file the lease log's writers tidy their own under
     * the log's lock. */
    return removeTemporaries(QUOMO_DHCPD_DIR, ".") +
           removeTemporaries(QUOMO_ETC_DIR, "." QUOMO_APPLIANCE_CONF_NAME ".") +
           removeTemporaries(QUOMO_PACKAGE_ETC, "." QUOMO_SERVICE_STATUS_NAME ".");
}

/* Syncs the directory (under the root) when it exists. */
static int syncIfPresent(const char *dir)
{
    char szDir[QUOMO_PATH_LEN];
    char szEntry[QUOMO_PATH_LEN];
    struct stat st;
    if (!orvPath(szDir, sizeof szDir, "%s", dir) || stat(szDir, &st) != 0 || !S_ISDIR(st.st_mode))
        return 1;
    /* orvSyncDir takes a path inside the directory. */
    return orvFormat(szEntry, sizeof szEntry, "%s/.", szDir) ? orvSyncDir(szEntry) : 0;
}

int QUOMODHCPSyncSave(void)
{
    int ok = syncIfPresent(QUOMO_DHCPD_DIR);
    return syncIfPresent(QUOMO_ETC_DIR) && ok;
}
