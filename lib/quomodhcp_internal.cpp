#include "quomodhcp_internal.h"

#include <stdlib.h>
#include <string.h>

#include "orvath_common.h"
#include "vorl.h"

PVORL_SZLIST quomoListAlloc(void)
{
    PVORL_SZLIST pList = VORLCSzListAlloc(QUOMO_LIST_SIZE);
    if (!pList)
        ORV_LOG("Failed to alloc memory.");
    return pList;
}

int32_t quomoParseInt32(const char *szText)
{
    long long value = szText ? strtoll(szText, NULL, 10) : 0;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

int quomoSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag,
                    const char *ext)
{
    return orvPath(buf, size, QUOMO_DHCPD_DIR "/dhcpd-%s-%s.%s", szIfName, szTag, ext);
}

int quomoNumberedPath(char *buf, size_t size, const char *szIfName, int index, const char *ext)
{
    return orvPath(buf, size, QUOMO_DHCPD_DIR "/dhcpd-%s-%s%d.%s", szIfName, szIfName, index,
                   ext);
}

int quomoStaticListPath(char *szPath)
{
    if (!orvPath(szPath, QUOMO_PATH_LEN, QUOMO_STATIC_LIST)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    return 1;
}

int quomoExistingFragment(char *szConf, const char *szIfName, const char *szTag)
{
    /* A cut name would be another file: count it as missing. */
    if (!quomoSubnetPath(szConf, QUOMO_PATH_LEN, szIfName, szTag, "conf") ||
        VORLCFileExist(szConf) == 0) {
        ORV_LOG("File [%s] does not exist.", szConf);
        return 0;
    }
    return 1;
}

int quomoInfoEnabled(const char *szInfoPath)
{
    char szValue[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetKeyValue(szInfoPath, "enable", szValue, sizeof szValue, 0) <= 0)
        return 0;
    return strcmp(szValue, "yes") == 0;
}

int quomoCheckText(const char *szField, const char *text, size_t width)
{
    if (!memchr(text, '\0', width)) {
        ORV_LOG("Invalid parameter %s: not terminated within %zu bytes", szField, width);
        return 0;
    }
    if (strpbrk(text, "\r\n")) {
        ORV_LOG("Invalid parameter %s: contains a line break", szField);
        return 0;
    }
    return 1;
}

const char *quomoNameFault(const char *name)
{
    if (!name || name[0] == '\0')
        return "empty";
    if (strchr(name, '/'))
        return "contains \"/\"";
    if (name[0] == '.')
        return "begins with \".\"";
    return NULL;
}

int quomoCheckName(const char *szField, const char *name, size_t width)
{
    if (!quomoCheckText(szField, name, width))
        return 0;
    const char *fault = quomoNameFault(name);
    if (fault) {
        ORV_LOG("Invalid parameter %s: %s", szField, fault);
        return 0;
    }
    return 1;
}

int quomoMakeDhcpdDir(void)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, QUOMO_DHCPD_DIR) ||
        VORLCExec("/bin/mkdir", "-p", szDir, NULL, NULL) != 0) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        return 0;
    }
    return 1;
}

int quomoCloseWritten(FILE *fp, const char *szPath)
{
    int failed = ferror(fp);
    if (fclose(fp) != 0)
        failed = 1;
    if (failed) {
        ORV_LOG("Failed to write file [%s].", szPath);
        return 0;
    }
    return 1;
}

int quomoBeginSubnetWrite(QuomoSubnetWrite *w, const QuomoSubnetView *v, int enable)
{
    w->info = NULL;
    int infoFits =
        quomoSubnetPath(w->szInfoPath, sizeof w->szInfoPath, v->szIfName, v->szTag, "info");
    int confFits =
        quomoSubnetPath(w->szConfPath, sizeof w->szConfPath, v->szIfName, v->szTag, "conf");
    if (!quomoMakeDhcpdDir())
        return 0;
    /* A cut name would be another file: treat it as one that cannot be
     * opened, before anything is written. */
    const char *szFailed = !infoFits ? w->szInfoPath : !confFits ? w->szConfPath : NULL;
    if (!szFailed && !(w->info = fopen(w->szInfoPath, "w")))
        szFailed = w->szInfoPath;
    if (szFailed) {
        ORV_LOG("Failed to open file [%s].", szFailed);
        return 0;
    }
    fprintf(w->info, QUOMO_INFO_FORMAT, "enable", enable ? "yes" : "no");
    return 1;
}

void quomoLogFragmentFailure(const char *szConfPath, const char *szIfName)
{
    ORV_LOG("Failed to open file [%s].", szConfPath);
    ORV_LOG("Failed to set config file of dhcp server [%s].", szIfName);
}

int quomoWriteSubnetFragment(const QuomoSubnetWrite *w, const QuomoSubnetView *v)
{
    FILE *fp = fopen(w->szConfPath, "w");
    if (!fp) {
        quomoLogFragmentFailure(w->szConfPath, v->szIfName);
        return 0;
    }
    const char *tag = v->szTag;
    fprintf(fp, "%s=%s\n", "interface", v->szIfName);
    fprintf(fp, "dhcp-range=set:%s,%s,%s,%s,%d\n", tag, v->szStartIp, v->szEndIp, v->szNetmask,
            (int)v->leaseTime);
    fprintf(fp, "dhcp-option=tag:%s,%s,%s\n", tag, "option:router", v->szGateway);
    if (v->szDomain[0] != '\0') {
        fprintf(fp, "dhcp-option=tag:%s,%s,%s\n", tag, "option:domain-search", v->szDomain);
        fprintf(fp, "dhcp-option=tag:%s,%s,%s\n", tag, "option:domain-name", v->szDomain);
    }
    if (v->szSecondaryDns[0] != '\0')
        fprintf(fp, "dhcp-option=tag:%s,%s,%s,%s\n", tag, "option:dns-server", v->szPrimaryDns,
                v->szSecondaryDns);
    else
        fprintf(fp, "dhcp-option=tag:%s,%s,%s\n", tag, "option:dns-server", v->szPrimaryDns);
    return quomoCloseWritten(fp, w->szConfPath);
}

int quomoEndSubnetWrite(QuomoSubnetWrite *w, int result)
{
    if (!quomoCloseWritten(w->info, w->szInfoPath))
        result = 0;
    w->info = NULL;
    return result;
}

int quomoWriteLoopbackSubnet(const char *szConf, const char *name)
{
    char szRange[QUOMO_VALUE_LEN];
    char szRouter[QUOMO_VALUE_LEN];
    char szDns[QUOMO_VALUE_LEN];
    if (!orvFormat(szRange, sizeof szRange, "set:%s,127.0.0.1,127.0.0.1,255.255.255.0,86400",
                   name) ||
        !orvFormat(szRouter, sizeof szRouter, "dhcp-option=tag:%s,option:router,127.0.0.1", name) ||
        !orvFormat(szDns, sizeof szDns, "dhcp-option=tag:%s,option:dns-server,127.0.0.1", name))
        return 0;
    return VORLCFileSetKeyValue(szConf, "interface", name, NULL) == 1 &&
           VORLCFileSetKeyValue(szConf, "dhcp-range", szRange, NULL) == 1 &&
           VORLCFileAddLine(szConf, NULL, szRouter, 1) == 1 &&
           VORLCFileAddLine(szConf, NULL, szDns, 1) == 1;
}

int quomoTouchPair(const char *szConf, const char *szInfo)
{
    const char *paths[] = {szConf, szInfo};
    for (const char *path : paths) {
        if (VORLCFileTouch(path) != 0) {
            ORV_LOG("File [%s] touch failed.", path);
            return 0;
        }
    }
    return 1;
}
