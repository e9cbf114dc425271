/*
 * The option store (see option_store.h).
 */
#include "option_store.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "save.h"
#include "subnet_store.h"
#include "text.h"

static int listPath(char (&szPath)[QUOMO_PATH_LEN], const char *szIfName)
{
    return !quomoNameFault(szIfName) && orvPath(szPath, sizeof szPath, QUOMO_OPTIONS_FORMAT, szIfName);
}

/* ---- the dnsmasq lines ---- */

/* A text that may stand in a line of the list and of the fragment: no line
 * break, and for a quoted text nothing that would end or escape the quotes. */
static bool safeText(const char *text, bool quoted)
{
    for (const unsigned char *p = (const unsigned char *)text; *p; ++p) {
        if (*p < ' ' || *p == 0x7f || (quoted && (*p == '"' || *p == '\\')))
            return false;
    }
    return true;
}

static bool allOf(const char *text, const char *chars)
{
    return text[0] && strspn(text, chars) == strlen(text);
}

/* The value as dnsmasq is to read it for the type. */
static bool encodeValue(std::string &out, const QuomoDhcpOption &o)
{
    const char *type = o.szType;
    const char *value = o.szValue;
    if (!safeText(value, strcmp(type, "text") == 0))
        return false;
    if (!strcmp(type, "ipv4") || !strcmp(type, "ipv4-list") || !strcmp(type, "routes") ||
        !strcmp(type, "names")) {
        out += value;
        return value[0] != '\0' && !strchr(value, '"');
    }
    if (!strcmp(type, "text")) {
        out += std::string("\"") + value + "\"";
        return true;
    }
    /* A decimal number with the size dnsmasq is to send it in. */
    const struct {
        const char *type;
        const char *flag;
    } sized[] = {{"uint8", "b"}, {"uint16", "s"}, {"uint32", "i"}};
    for (const auto &s : sized) {
        if (!strcmp(type, s.type)) {
            out += std::string(value) + s.flag;
            return allOf(value, "0123456789");
        }
    }
    if (!strcmp(type, "bool")) {
        out += strcmp(value, "true") == 0 ? "1b" : "0b";
        return !strcmp(value, "true") || !strcmp(value, "false");
    }
    if (!strcmp(type, "int32")) {
        /* Four bytes, two's complement: dnsmasq reads no sign. */
        char *end = NULL;
        errno = 0;
        long long n = strtoll(value, &end, 10);
        if (!value[0] || *end || errno || n < INT32_MIN || n > INT32_MAX)
            return false;
        uint32_t u = (uint32_t)(int32_t)n;
        char szHex[16];
        orvFormat(szHex, sizeof szHex, "%02x:%02x:%02x:%02x", (unsigned)(u >> 24),
                  (unsigned)(u >> 16) & 0xff, (unsigned)(u >> 8) & 0xff, (unsigned)u & 0xff);
        out += szHex;
        return true;
    }
    if (!strcmp(type, "hex")) {
        if (!allOf(value, "0123456789abcdefABCDEF:"))
            return false;
        /* One byte alone would read as a number or a text. */
        if (!strchr(value, ':')) {
            out += std::to_string(strtoul(value, NULL, 16)) + "b";
            return strlen(value) == 2;
        }
        out += value;
        return true;
    }
    return false;
}

/* The tag of a host override: its MAC address's digits. */
static std::string hostTag(const char *szMac)
{
    std::string tag = "host-";
    for (const char *p = szMac; *p; ++p)
        if (*p != ':' && *p != '-')
            tag += (char)(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
    return tag;
}

/* The MAC address as dnsmasq's dhcp-mac takes it: lower case, ":". */
static std::string colonMac(const char *szMac)
{
    std::string mac = szMac;
    for (char &c : mac) {
        if (c == '-')
            c = ':';
        else if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    }
    return mac;
}

bool quomoOptionLines(std::string &out, const char *szIfName, const QuomoDhcpOption *pOptions,
                      int count, const QuomoHostOption *pHosts, int hostCount)
{
    for (int i = 0; i < count; ++i) {
        const QuomoDhcpOption &o = pOptions[i];
        if (o.code < 1 || o.code > 254)
            return false;
        out += std::string("dhcp-option=tag:") + szIfName + "," + std::to_string(o.code) + ",";
        if (!encodeValue(out, o))
            return false;
        out += "\n";
    }
    for (int i = 0; i < hostCount; ++i) {
        const QuomoHostOption &h = pHosts[i];
        if (!allOf(h.szMac, "0123456789abcdefABCDEF:-") || !safeText(h.szGateway, true) ||
            !safeText(h.szDns, true) || strchr(h.szGateway, ',') || strchr(h.szDns, ','))
            return false;
        std::string tag = hostTag(h.szMac);
        out += "dhcp-mac=set:" + tag + "," + colonMac(h.szMac) + "\n";
        /* Both tags: the override reaches the client on this interface only,
         * and wins over the range's options, whose tag counts less. */
        std::string scope = "dhcp-option=tag:" + tag + ",tag:" + szIfName + ",";
        if (h.szGateway[0])
            out += scope + "option:router," + h.szGateway + "\n";
        if (h.szDns[0])
            out += scope + "option:dns-server," + h.szDns + "\n";
    }
    return true;
}

/* ---- the list ---- */

static std::string listText(const QuomoDhcpOption *pOptions, int count,
                            const QuomoHostOption *pHosts, int hostCount)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        const QuomoDhcpOption &o = pOptions[i];
        text += "option=" + std::to_string(o.code) + "," + o.szName + "," + o.szType + "," +
                o.szValue + "\n";
    }
    for (int i = 0; i < hostCount; ++i)
        text += std::string("host=") + pHosts[i].szMac + "," + pHosts[i].szGateway + "," +
                pHosts[i].szDns + "\n";
    return text;
}

static bool recordsUsable(const QuomoDhcpOption *pOptions, int count,
                          const QuomoHostOption *pHosts, int hostCount)
{
    for (int i = 0; i < count; ++i) {
        const QuomoDhcpOption &o = pOptions[i];
        if (!quomoCheckText("szName", o.szName, sizeof o.szName) ||
            !quomoCheckText("szType", o.szType, sizeof o.szType) ||
            !quomoCheckText("szValue", o.szValue, sizeof o.szValue) || strchr(o.szName, ',') ||
            strchr(o.szType, ','))
            return false;
    }
    for (int i = 0; i < hostCount; ++i) {
        const QuomoHostOption &h = pHosts[i];
        if (!quomoCheckText("szMac", h.szMac, sizeof h.szMac) ||
            !quomoCheckText("szGateway", h.szGateway, sizeof h.szGateway) ||
            !quomoCheckText("szDns", h.szDns, sizeof h.szDns))
            return false;
    }
    return true;
}

int quomoSetOptions(const char *szIfName, const QuomoDhcpOption *pOptions, int count,
                    const QuomoHostOption *pHosts, int hostCount)
{
    char szList[QUOMO_PATH_LEN];
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    if (count < 0 || hostCount < 0 || count > QUOMO_MAX_OPTIONS ||
        hostCount > QUOMO_MAX_HOST_OPTIONS || (count && !pOptions) || (hostCount && !pHosts) ||
        !szIfName || !listPath(szList, szIfName) ||
        !quomoSubnetPath(szConf, sizeof szConf, szIfName, QUOMO_OPTIONS_TAG, "conf") ||
        !quomoSubnetPath(szInfo, sizeof szInfo, szIfName, QUOMO_OPTIONS_TAG, "info") ||
        !recordsUsable(pOptions, count, pHosts, hostCount)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    std::string lines;
    if (!quomoOptionLines(lines, szIfName, pOptions, count, pHosts, hostCount)) {
        ORV_LOG("Option of %s cannot be sent as given", szIfName);
        orvNoteReason("options", "a value that cannot be written safely into the fragment");
        return 0;
    }
    if (!quomoMakeDhcpdDir())
        return 0;
    /* None: no pair at all, the settings file going first. */
    QuomoChangeScope scope;
    if (count == 0 && hostCount == 0)
        return scope.commit(quomoStageRemove(szInfo) && quomoStageRemove(szConf) &&
                            quomoStageRemove(szList));
    std::string list = listText(pOptions, count, pHosts, hostCount);
    return scope.commit(quomoStageFile(szList, list.data(), list.size()) &&
                        quomoStagePair(szConf, lines.data(), lines.size(), szInfo, 1, szIfName));
}

/* "option=<code>,<name>,<type>,<value>": the value may hold commas. */
static bool readOption(const char *value, QuomoDhcpOption &o)
{
    QuomoField f[4];
    if (quomoSplitFields(value, strlen(value), ",", f, 4) < 4)
        return false;
    memset(&o, 0, sizeof o);
    o.code = quomoFieldInt32(f[0]);
    quomoCopyField(o.szName, sizeof o.szName, f[1]);
    quomoCopyField(o.szType, sizeof o.szType, f[2]);
    orvCopy(o.szValue, sizeof o.szValue, f[3].p);
    return true;
}

static bool readHost(const char *value, QuomoHostOption &h)
{
    QuomoField f[3];
    if (quomoSplitFields(value, strlen(value), ",", f, 3) != 3)
        return false;
    memset(&h, 0, sizeof h);
    quomoCopyField(h.szMac, sizeof h.szMac, f[0]);
    quomoCopyField(h.szGateway, sizeof h.szGateway, f[1]);
    quomoCopyField(h.szDns, sizeof h.szDns, f[2]);
    return true;
}

int quomoGetOptions(const char *szIfName, QuomoDhcpOption *pOptions, int maxOptions, int *pCount,
                    QuomoHostOption *pHosts, int maxHosts, int *pHostCount)
{
    char szList[QUOMO_PATH_LEN];
    if (!pCount || !pHostCount || !szIfName || !listPath(szList, szIfName) ||
        (maxOptions > 0 && !pOptions) || (maxHosts > 0 && !pHosts))
        return 0;
    *pCount = 0;
    *pHostCount = 0;
    std::string text;
    if (quomoStagedRead(szList, text) < 0) {
        ORV_LOG("Can not read [%s]", szList);
        return 0;
    }
    quomoEachLine(text, [&](const std::string &line) {
        if (line.compare(0, 7, "option=") == 0 && *pCount < maxOptions &&
            readOption(line.c_str() + 7, pOptions[*pCount]))
            ++*pCount;
        else if (line.compare(0, 5, "host=") == 0 && *pHostCount < maxHosts &&
                 readHost(line.c_str() + 5, pHosts[*pHostCount]))
            ++*pHostCount;
    });
    return 1;
}

bool quomoOptionStoreOwns(const char *szRelPath)
{
    std::string ifName;
    return quomoListStoreFile(szRelPath, "options", QUOMO_OPTIONS_TAG, ifName) != QUOMO_STORE_NONE;
}

bool quomoOptionVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    std::string ifName;
    QuomoStoreFile file = quomoListStoreFile(szRelPath, "options", QUOMO_OPTIONS_TAG, ifName);
    if (file == QUOMO_STORE_NONE) {
        orvCopy(szWhy, cbWhy, "not a file of the options");
        return false;
    }
    if (file == QUOMO_STORE_INFO)
        return quomoInfoVerify(content, szWhy, cbWhy);
    bool list = file == QUOMO_STORE_LIST;
    std::vector<QuomoDhcpOption> options(QUOMO_MAX_OPTIONS);
    std::vector<QuomoHostOption> hosts(QUOMO_MAX_HOST_OPTIONS);
    int count = 0, hostCount = 0;
    std::string lines;
    if (quomoGetOptions(ifName.c_str(), options.data(), QUOMO_MAX_OPTIONS, &count, hosts.data(),
                        QUOMO_MAX_HOST_OPTIONS, &hostCount) &&
        recordsUsable(options.data(), count, hosts.data(), hostCount) &&
        quomoOptionLines(lines, ifName.c_str(), options.data(), count, hosts.data(), hostCount) &&
        content == (list ? listText(options.data(), count, hosts.data(), hostCount) : lines))
        return true;
    orvCopy(szWhy, cbWhy, "not options as this system writes them");
    return false;
}
