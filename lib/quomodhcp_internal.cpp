#include "quomodhcp_internal.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

int QUOMODHCPSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag,
                        const char *szExt)
{
    return orvPath(buf, size, QUOMO_SUBNET_FILE_FORMAT, szIfName, szTag, szExt);
}

int quomoNumberedPath(char *buf, size_t size, const char *szIfName, int index, const char *ext)
{
    return orvPath(buf, size, QUOMO_DHCPD_DIR "/dhcpd-%s-" QUOMO_ORDINARY_TAG_FORMAT ".%s", szIfName, szIfName, index,
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
    if (!QUOMODHCPSubnetPath(szConf, QUOMO_PATH_LEN, szIfName, szTag, "conf") ||
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
    if (!orvPath(szDir, sizeof szDir, QUOMO_DHCPD_DIR)) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        orvNoteFailure(szDir, ENAMETOOLONG);
        return 0;
    }
    /* mkdir(2) of a directory that exists is one failing system call: cheap
     * enough to make sure of it before every file, where a program run was
     * not. */
    if (!orvMakeDirs(szDir, 0755)) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        return 0;
    }
    return 1;
}

int quomoReplace(const char *szPath, const char *data, size_t len)
{
    return orvReplaceFile(szPath, data, len, 0666);
}

int quomoRemoveFile(const char *szPath)
{
    if (unlink(szPath) == 0 || errno == ENOENT)
        return 1;
    int err = errno;
    ORV_LOG("Failed to remove [%s]: %s", szPath, strerror(err));
    orvNoteFailure(szPath, err);
    return 0;
}

/* Writes out one file to its temporary and adds it to pending; logs
 * "Failed to open file [...]." on failure. */
static int prepareFile(const char *szPath, const char *data, size_t len,
                       std::vector<QuomoPending> &pending)
{
    char szTemp[QUOMO_TEMP_PATH_LEN];
    if (!orvPrepareReplace(szPath, data, len, 0666, szTemp, sizeof szTemp)) {
        ORV_LOG("Failed to open file [%s].", szPath);
        return 0;
    }
    pending.push_back({szTemp, szPath});
    return 1;
}

int quomoCommitPending(std::vector<QuomoPending> &pending)
{
    size_t i = 0;
    while (i < pending.size() && orvCommitReplace(pending[i].temp.c_str(), pending[i].path.c_str()))
        ++i;
    int ok = i == pending.size();
    if (!ok) {
        pending.erase(pending.begin(), pending.begin() + (long)i + 1);
        quomoAbandonPending(pending);
    }
    pending.clear();
    return ok;
}

void quomoAbandonPending(std::vector<QuomoPending> &pending)
{
    for (const QuomoPending &p : pending)
        orvAbandonReplace(p.temp.c_str());
    pending.clear();
}

/* The pair of quomoWritePair into pending: all or nothing added. */
static int preparePair(const char *szConf, const char *confText, size_t confLen,
                       const char *szInfo, int enable, const char *szOwner,
                       std::vector<QuomoPending> &pending)
{
    std::vector<QuomoPending> pair;
    if (confText && !prepareFile(szConf, confText, confLen, pair)) {
        if (szOwner)
            ORV_LOG("Failed to set config file of dhcp server [%s].", szOwner);
        return 0;
    }
    char szLine[64];
    orvFormat(szLine, sizeof szLine, QUOMO_INFO_FORMAT, "enable", enable ? "yes" : "no");
    if (!prepareFile(szInfo, szLine, strlen(szLine), pair)) {
        quomoAbandonPending(pair);
        return 0;
    }
    pending.insert(pending.end(), pair.begin(), pair.end());
    return 1;
}

int quomoWritePair(const char *szConf, const char *confText, size_t confLen, const char *szInfo,
                   int enable, const char *szOwner)
{
    std::vector<QuomoPending> pending;
    return preparePair(szConf, confText, confLen, szInfo, enable, szOwner, pending) &&
           quomoCommitPending(pending);
}

/* Appends one line printed with fmt. */
static void appendLine(std::string &out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
static void appendLine(std::string &out, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(NULL, 0, fmt, ap);
    va_end(ap);
    if (n > 0) {
        size_t used = out.size();
        out.resize(used + (size_t)n + 1);
        vsnprintf(&out[used], (size_t)n + 1, fmt, again);
        out.resize(used + (size_t)n);
    }
    va_end(again);
    out += '\n';
}

void quomoAppendSubnetLines(std::string &out, const QuomoSubnetView &v)
{
    const char *tag = v.szTag;
    appendLine(out, "%s=%s", "interface", v.szIfName);
    appendLine(out, "dhcp-range=set:%s,%s,%s,%s,%d", tag, v.szStartIp, v.szEndIp, v.szNetmask,
               (int)v.leaseTime);
    appendLine(out, "dhcp-option=tag:%s,%s,%s", tag, "option:router", v.szGateway);
    if (v.szDomain[0] != '\0') {
        appendLine(out, "dhcp-option=tag:%s,%s,%s", tag, "option:domain-search", v.szDomain);
        appendLine(out, "dhcp-option=tag:%s,%s,%s", tag, "option:domain-name", v.szDomain);
    }
    if (v.szSecondaryDns[0] != '\0')
        appendLine(out, "dhcp-option=tag:%s,%s,%s,%s", tag, "option:dns-server", v.szPrimaryDns,
                   v.szSecondaryDns);
    else
        appendLine(out, "dhcp-option=tag:%s,%s,%s", tag, "option:dns-server", v.szPrimaryDns);
}

void quomoAppendLoopbackSubnet(std::string &out, const char *name)
{
    appendLine(out, "interface=%s", name);
    appendLine(out, "dhcp-range=set:%s,127.0.0.1,127.0.0.1,255.255.255.0,86400", name);
    appendLine(out, "dhcp-option=tag:%s,option:router,127.0.0.1", name);
    appendLine(out, "dhcp-option=tag:%s,option:dns-server,127.0.0.1", name);
}

int quomoPrepareSubnet(const QuomoSubnetView &v, const std::string *fragment, int enable,
                       std::vector<QuomoPending> &pending)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    /* A cut name would be another file: treat it as one that cannot be
     * opened, before anything is written. */
    int infoFits = QUOMODHCPSubnetPath(szInfo, sizeof szInfo, v.szIfName, v.szTag, "info");
    int confFits = QUOMODHCPSubnetPath(szConf, sizeof szConf, v.szIfName, v.szTag, "conf");
    if (!quomoMakeDhcpdDir())
        return 0;
    if (!infoFits || !confFits) {
        const char *szCut = !infoFits ? szInfo : szConf;
        ORV_LOG("Failed to open file [%s].", szCut);
        orvNoteFailure(szCut, ENAMETOOLONG);
        return 0;
    }
    return preparePair(szConf, fragment ? fragment->data() : NULL,
                       fragment ? fragment->size() : 0, szInfo, enable, v.szIfName, pending);
}

int quomoWriteSubnet(const QuomoSubnetView &v, const std::string *fragment, int enable)
{
    std::vector<QuomoPending> pending;
    return quomoPrepareSubnet(v, fragment, enable, pending) && quomoCommitPending(pending);
}
