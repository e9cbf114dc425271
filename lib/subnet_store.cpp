/*
 * The subnet store (see subnet_store.h).
 */
#include "subnet_store.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "orvath_common.h"

#define QUOMO_LIST_SIZE 512 /* capacity hint of the string lists */

QuomoList::QuomoList() : list_(VORLCSzListAlloc(QUOMO_LIST_SIZE))
{
    if (!list_)
        ORV_LOG("Failed to alloc memory.");
}

/* ---- names ---- */

int quomoSubnetPath(char *buf, size_t size, const char *szIfName, const char *szTag,
                    const char *szExt)
{
    return orvPath(buf, size, QUOMO_SUBNET_FILE_FORMAT, szIfName, szTag, szExt);
}

int quomoNumberedPath(char *buf, size_t size, const char *szIfName, int index, const char *ext)
{
    return orvPath(buf, size, QUOMO_DHCPD_DIR "/dhcpd-%s-" QUOMO_ORDINARY_TAG_FORMAT ".%s",
                   szIfName, szIfName, index, ext);
}

int quomoFixedPair(char *szConf, char *szInfo, const char *name)
{
    /* A cut name would be another file, which must be neither written nor
     * removed. */
    if (!quomoSubnetPath(szConf, QUOMO_PATH_LEN, name, name, "conf") ||
        !quomoSubnetPath(szInfo, QUOMO_PATH_LEN, name, name, "info")) {
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

/* The path under the root of the directory's files: "etc/dhcpd/". */
static const char kDhcpdRel[] = QUOMO_DHCPD_DIR "/";

const char *quomoDhcpdName(const char *szRelPath)
{
    const size_t len = sizeof kDhcpdRel - 2; /* without the leading "/" */
    if (strncmp(szRelPath, kDhcpdRel + 1, len) != 0 || strchr(szRelPath + len, '/'))
        return NULL;
    return szRelPath + len;
}

static bool endsWith(const std::string &text, const char *szSuffix)
{
    size_t n = strlen(szSuffix);
    return text.size() >= n && text.compare(text.size() - n, n, szSuffix) == 0;
}

/* An interface's name as the stores use it in file names: never the
 * access point's, whose files another program writes. */
static bool ownInterface(const std::string &ifName)
{
    return !ifName.empty() && !quomoNameFault(ifName.c_str()) && ifName != QUOMO_AP_IFNAME;
}

bool quomoParsePairName(const char *szRelPath, std::string *pIfName, const char *szTag)
{
    const char *name = quomoDhcpdName(szRelPath);
    if (!name || strncmp(name, "dhcpd-", 6) != 0)
        return false;
    std::string rest = name + 6;
    if (endsWith(rest, ".conf") || endsWith(rest, ".info"))
        rest.resize(rest.size() - 5);
    else
        return false;
    /* "<if>-<tag>": interface names may hold "-", so each split is tried. */
    for (size_t dash = rest.find('-'); dash != std::string::npos; dash = rest.find('-', dash + 1)) {
        std::string ifName = rest.substr(0, dash), tag = rest.substr(dash + 1);
        bool tagFits = szTag ? tag == szTag
                             : tag.size() > ifName.size() && tag.compare(0, ifName.size(), ifName) == 0 &&
                                   tag.find_first_not_of("0123456789", ifName.size()) == std::string::npos;
        if (tagFits && ownInterface(ifName)) {
            if (pIfName)
                *pIfName = ifName;
            return true;
        }
    }
    return false;
}

bool quomoParseListName(const char *szRelPath, const char *szExt, std::string &ifName)
{
    const char *name = quomoDhcpdName(szRelPath);
    const char prefix[] = "orvath-";
    const size_t prefixLen = sizeof prefix - 1, extLen = strlen(szExt);
    size_t len = name ? strlen(name) : 0;
    if (len <= prefixLen + extLen + 1 || strncmp(name, prefix, prefixLen) != 0 ||
        name[len - extLen - 1] != '.' || strcmp(name + len - extLen, szExt) != 0)
        return false;
    ifName.assign(name + prefixLen, len - prefixLen - extLen - 1);
    return ownInterface(ifName);
}

QuomoStoreFile quomoListStoreFile(const char *szRelPath, const char *szExt, const char *szTag,
                                  std::string &ifName)
{
    if (quomoParseListName(szRelPath, szExt, ifName))
        return QUOMO_STORE_LIST;
    if (!quomoParsePairName(szRelPath, &ifName, szTag))
        return QUOMO_STORE_NONE;
    size_t len = strlen(szRelPath);
    return strcmp(szRelPath + len - 5, ".info") == 0 ? QUOMO_STORE_INFO : QUOMO_STORE_CONF;
}

bool quomoSubnetStoreOwns(const char *szRelPath)
{
    return quomoParsePairName(szRelPath, NULL, NULL);
}

/* ---- the walk ---- */

int quomoWalkSubnets(const char *szIfName, const char *ext, int first, bool pxe,
                     const QuomoSubnetVisit &visit, int *pFound)
{
    char szPath[QUOMO_PATH_LEN];
    char szTag[QUOMO_TAG_LEN];
    int found = 0;
    int stop = 0;
    for (int n = first < 0 ? 0 : first; n < INT_MAX && !stop; ++n) {
        /* A cut name would be another file: the walk ends there. */
        if (!quomoNumberedPath(szPath, sizeof szPath, szIfName, n, ext) ||
            !orvFormat(szTag, sizeof szTag, QUOMO_ORDINARY_TAG_FORMAT, szIfName, n) ||
            !quomoStagedExists(szPath))
            break;
        ++found;
        stop = visit(szPath, szTag);
    }
    if (!stop && pxe && quomoSubnetPath(szPath, sizeof szPath, szIfName, QUOMO_PXE_TAG, ext) &&
        quomoStagedExists(szPath)) {
        ++found;
        stop = visit(szPath, QUOMO_PXE_TAG);
    }
    if (pFound)
        *pFound = found;
    return stop;
}

/* ---- settings files ---- */

int quomoInfoEnabled(const char *szInfoPath)
{
    std::string text;
    if (quomoStagedRead(szInfoPath, text) <= 0)
        return 0;
    return quomoKeyValue(text, "enable") == "yes";
}

bool quomoTagEnabled(const char *szIfName, const char *szTag)
{
    if (!szIfName || !szTag)
        return false;
    /* A cut name would be another file: that is no settings file of this
     * subnet. */
    char szInfo[QUOMO_PATH_LEN];
    return quomoSubnetPath(szInfo, sizeof szInfo, szIfName, szTag, "info") &&
           quomoInfoEnabled(szInfo);
}

int quomoDisableSubnets(const char *szIfName)
{
    /* Empty, or no interface's name: its paths could leave the directory. */
    if (quomoNameFault(szIfName))
        return -1;
    int found = 0;
    QuomoChangeScope scope;
    auto markOff = [](const char *szInfo, const char *) {
        return quomoStageKey(szInfo, "enable", "no") ? 0 : 1;
    };
    if (quomoWalkSubnets(szIfName, "info", 0, true, markOff, &found) != 0 || !scope.commit(1)) {
        ORV_LOG("Failed to switch off the subnets of [%s]", szIfName);
        return 0;
    }
    return found > 0 ? 1 : 0;
}

bool quomoInterfaceActive(const char *szIfName)
{
    if (!szIfName || szIfName[0] == '\0')
        return false;
    auto enabled = [](const char *szInfo, const char *) { return quomoInfoEnabled(szInfo); };
    return quomoWalkSubnets(szIfName, "info", 0, true, enabled, NULL) != 0;
}

int quomoSubnetSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe)
{
    if (!szRows || cbRows == 0 || !pPxe)
        return 0;
    szRows[0] = '\0';
    *pPxe = 0;
    if (quomoNameFault(szIfName))
        return 0;
    size_t len = 0;
    auto note = [&](const char *szInfo, const char *szTag) {
        int on = quomoInfoEnabled(szInfo);
        if (strcmp(szTag, QUOMO_PXE_TAG) == 0) {
            *pPxe = on;
            return 0;
        }
        if (len + 1 >= cbRows)
            return 1;
        szRows[len++] = on ? 'y' : 'n';
        szRows[len] = '\0';
        return 0;
    };
    return quomoWalkSubnets(szIfName, "info", 0, true, note, NULL) == 0;
}

int quomoRemoveNumbered(const char *szIfName, int firstIndex, const char *ext)
{
    /* Empty, or no interface's name: its paths could leave the directory. */
    if (quomoNameFault(szIfName))
        return -1;
    QuomoChangeScope scope;
    auto remove = [](const char *szPath, const char *) { return quomoStageRemove(szPath) ? 0 : 1; };
    int failed = quomoWalkSubnets(szIfName, ext, firstIndex, false, remove, NULL);
    return scope.commit(!failed) ? 0 : -1;
}

/* ---- fragments: writing ---- */

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

int quomoStagePair(const char *szConf, const char *confText, size_t confLen, const char *szInfo,
                   int enable, const char *szOwner)
{
    QuomoChangeScope scope;
    if (confText && !quomoStageFile(szConf, confText, confLen)) {
        if (szOwner)
            ORV_LOG("Failed to set config file of dhcp server [%s].", szOwner);
        return scope.commit(0);
    }
    char szLine[64];
    orvFormat(szLine, sizeof szLine, QUOMO_INFO_FORMAT, "enable", enable ? "yes" : "no");
    return scope.commit(quomoStageFile(szInfo, szLine, strlen(szLine)));
}

int quomoStageSubnet(const QuomoSubnetView &v, const std::string *fragment, int enable)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    /* A cut name would be another file: treat it as one that cannot be
     * opened, before anything is written. */
    int infoFits = quomoSubnetPath(szInfo, sizeof szInfo, v.szIfName, v.szTag, "info");
    int confFits = quomoSubnetPath(szConf, sizeof szConf, v.szIfName, v.szTag, "conf");
    if (!quomoMakeDhcpdDir())
        return 0;
    if (!infoFits || !confFits) {
        const char *szCut = !infoFits ? szInfo : szConf;
        ORV_LOG("Failed to open file [%s].", szCut);
        orvNoteFailure(szCut, ENAMETOOLONG);
        return 0;
    }
    return quomoStagePair(szConf, fragment ? fragment->data() : NULL,
                          fragment ? fragment->size() : 0, szInfo, enable, v.szIfName);
}

int quomoSetSubnet(const DhcpServerConf *conf, int enable)
{
    if (!conf) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    if (!quomoCheckSubnetRecord(*conf))
        return 0;
    QuomoSubnetView v = quomoSubnetView(*conf);
    /* A disabled subnet keeps the fragment of its last enabled write. */
    std::string fragment;
    if (enable)
        quomoAppendSubnetLines(fragment, v);
    return quomoStageSubnet(v, enable ? &fragment : NULL, enable);
}

int quomoSetSubnets(const DhcpServerConf *pConfs, int count)
{
    if (count < 0 || (count > 0 && !pConfs)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    QuomoChangeScope scope;
    for (int i = 0; i < count; ++i) {
        const DhcpServerConf &conf = pConfs[i];
        /* Checked before its fields are read as strings. */
        if (!quomoCheckSubnetRecord(conf))
            return scope.commit(0);
        QuomoSubnetView v = quomoSubnetView(conf);
        std::string fragment;
        quomoAppendSubnetLines(fragment, v);
        if (!quomoStageSubnet(v, &fragment, conf.isEnabled ? 1 : 0))
            return scope.commit(0);
    }
    return scope.commit(1);
}

/* ---- fragments: reading ---- */

/* Copies the last comma field of the first line of szConf that contains szKey
 * into szValue. A fragment without domain lines is fine: the domain is
 * optional, so "option:domain-search" not found is success with szValue
 * unchanged. */
static int getDhcpOptionValue(const char *szConf, const char *szKey, char *szValue, int cbValue)
{
    const char *szFailed = NULL;
    if (NULL == szConf)
        szFailed = "((void *)0) != szConf";
    else if (NULL == szKey)
        szFailed = "((void *)0) != szKey";
    else if (NULL == szValue)
        szFailed = "((void *)0) != szValue";
    else if (!(0 < cbValue))
        szFailed = "0 < cbValue";
    if (szFailed) {
        ORV_LOG("Invaild Argument (%s)=[%d]\n", szFailed, 0);
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return 0;
    }

    QuomoList list;
    if (!list.ok())
        return 0;
    char szLine[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetLine(szConf, szKey, szLine, sizeof szLine, QUOMO_VALUE_LEN) > 0) {
        /* Empty fields are kept, so that an empty value reads back empty
         * rather than as the option's name. */
        int count = VORLCStrSep(szLine, ",", list.out());
        if (count <= 0)
            return 0;
        orvCopy(szValue, (size_t)cbValue, list.get(count - 1));
        return 1;
    }
    if (strcmp(szKey, "option:domain-search") == 0)
        return 1;
    ORV_LOG("Failed to get key %s", "dhcp-option");
    return 0;
}

/* Range, mask and lease time from the value of "dhcp-range":
 * [tag:<tag>,...]set:<tag>,<start>,<end>,<netmask>,<lease time>; the
 * leading tag: fields select clients (a PXE range kept for PXE clients). */
static int readRange(const char *szConf, DhcpServerConf *pConf)
{
    QuomoList list;
    char szValue[QUOMO_VALUE_LEN] = "";
    if (!list.ok())
        return 0;
    if (VORLCFileGetKeyValue(szConf, "dhcp-range", szValue, sizeof szValue, 0) <= 0) {
        ORV_LOG("Failed to get key %s", "dhcp-range");
        return 0;
    }
    int count = VORLCStrTok(szValue, ",", list.out());
    if (count <= 0)
        return 0;
    int first = 0;
    while (first < count - 1 && strncmp(list.get(first), "tag:", 4) == 0)
        ++first;
    if (count - first < 5) {
        ORV_LOG("Failed to get key %s", "dhcp-range");
        return 0;
    }
    orvCopy(pConf->szStartIp, sizeof pConf->szStartIp, list.get(first + 1));
    orvCopy(pConf->szEndIp, sizeof pConf->szEndIp, list.get(first + 2));
    orvCopy(pConf->szNetmask, sizeof pConf->szNetmask, list.get(first + 3));
    pConf->leaseTime = quomoParseInt32(list.get(first + 4));
    return 1;
}

/* The DNS servers: fields 2 and 3 of the "option:dns-server" line. */
static int readDnsServers(const char *szConf, DhcpServerConf *pConf)
{
    QuomoList list;
    char szLine[QUOMO_VALUE_LEN] = "";
    if (!list.ok())
        return 0;
    if (VORLCFileGetLine(szConf, "option:dns-server", szLine, sizeof szLine, QUOMO_VALUE_LEN) <=
        0) {
        ORV_LOG("Failed to get key %s", "dhcp-option");
        return 0;
    }
    int count = VORLCStrSep(szLine, ",", list.out());
    if (count <= 0)
        return 0;
    /* Any other count leaves both empty. */
    if (count == 3 || count == 4)
        orvCopy(pConf->szPrimaryDns, sizeof pConf->szPrimaryDns, list.get(2));
    if (count == 4)
        orvCopy(pConf->szSecondaryDns, sizeof pConf->szSecondaryDns, list.get(3));
    return 1;
}

int quomoGetSubnet(const char *szTag, const char *szIfName, DhcpServerConf *pConf)
{
    if (!pConf || !szIfName || !szTag)
        return 0;

    char szConf[QUOMO_PATH_LEN];
    if (!quomoExistingFragment(szConf, szIfName, szTag))
        return 0;
    memset(pConf, 0, sizeof *pConf);

    if (!readRange(szConf, pConf) || !readDnsServers(szConf, pConf))
        return 0;
    if (!getDhcpOptionValue(szConf, "option:router", pConf->szGateway,
                            (int)sizeof pConf->szGateway))
        return 0;

    char szValue[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetKeyValue(szConf, "interface", szValue, sizeof szValue, 0) <= 0) {
        ORV_LOG("Failed to get key %s in %s", "interface", szConf);
        return 0;
    }
    orvCopy(pConf->szIfName, sizeof pConf->szIfName, szValue);
    pConf->isEnabled = quomoTagEnabled(szIfName, szTag) ? 1 : 0;

    /* At most 254 characters of the domain are read. */
    getDhcpOptionValue(szConf, "option:domain-search", pConf->szDomain, 255);

    orvCopy(pConf->szTag, sizeof pConf->szTag, szTag);
    return 1;
}

/* ---- the access point's subnet ---- */

int quomoApConflict(const char *szIp, const char *szNetmask)
{
    char szConf[QUOMO_PATH_LEN];
    if (!quomoSubnetPath(szConf, sizeof szConf, QUOMO_AP_IFNAME, QUOMO_AP_IFNAME, "conf") ||
        access(szConf, R_OK) != 0)
        return 0;

    DhcpServerConf ap;
    if (!quomoGetSubnet(QUOMO_AP_IFNAME, QUOMO_AP_IFNAME, &ap))
        return -1;

    /* Under the caller's mask and under the access point's own: a conflict
     * under either counts. An address that cannot be compared (-1) is a
     * conflict too. */
    const char *ip = szIp ? szIp : "";
    int underCallers = QUOMONetIsSameSubnet(ip, ap.szGateway, szNetmask ? szNetmask : "");
    int underOwn = QUOMONetIsSameSubnet(ip, ap.szGateway, ap.szNetmask);
    return underCallers | underOwn;
}

/* ---- checking a file a revert would write ---- */

bool quomoInfoVerify(const std::string &content, char *szWhy, size_t cbWhy)
{
    if (content == "enable=\"yes\"\n" || content == "enable=\"no\"\n")
        return true;
    orvCopy(szWhy, cbWhy, "not a settings file as this system writes it");
    return false;
}

bool quomoSubnetVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    std::string ifName;
    if (!quomoParsePairName(szRelPath, &ifName, NULL)) {
        orvCopy(szWhy, cbWhy, "not a subnet's file");
        return false;
    }
    if (endsWith(szRelPath, ".info"))
        return quomoInfoVerify(content, szWhy, cbWhy);
    const char *name = quomoDhcpdName(szRelPath);
    std::string tag(name + 6 + ifName.size() + 1);
    tag.resize(tag.size() - 5);
    DhcpServerConf conf;
    std::string again;
    if (quomoGetSubnet(tag.c_str(), ifName.c_str(), &conf) && ifName == conf.szIfName &&
        quomoCheckSubnetRecord(conf)) {
        quomoAppendSubnetLines(again, quomoSubnetView(conf));
        if (again == content)
            return true;
    }
    orvCopy(szWhy, cbWhy, "not a subnet as this system writes it");
    return false;
}
