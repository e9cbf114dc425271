/*
 * The IPv6 store (see ipv6_store.h).
 */
#include "ipv6_store.h"

#include <arpa/inet.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "save.h"
#include "subnet_store.h"
#include "text.h"

static const char *const kModes[] = {"off", "ra-only", "stateless", "stateful"};

static bool knownMode(const char *szMode)
{
    for (const char *mode : kModes)
        if (strcmp(mode, szMode) == 0)
            return true;
    return false;
}

static int settingsPath(char (&szPath)[QUOMO_PATH_LEN], const char *szIfName)
{
    return !quomoNameFault(szIfName) && orvPath(szPath, sizeof szPath, QUOMO_IPV6_FORMAT, szIfName);
}

/* An IPv6 address as text that can stand in a line: only what an address
 * is written with, and an address indeed. */
static bool addressText(const char *text)
{
    unsigned char bytes[16];
    return text[0] && strspn(text, "0123456789abcdefABCDEF:.") == strlen(text) &&
           inet_pton(AF_INET6, text, bytes) == 1;
}

/* A domain name's characters only: it stands last in its line. */
static bool domainText(const char *text)
{
    return strspn(text, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
           strlen(text);
}

static bool settingsUsable(const QuomoIpv6Settings &s)
{
    if (!domainText(s.szDomain) ||!knownMode(s.szMode) || s.prefixLength != 64 ||
        s.leaseSeconds < 120 || s.dnsCount < 0 || s.dnsCount > QUOMO_IPV6_MAX_DNS ||
        (s.szOwnAddress[0] && !addressText(s.szOwnAddress)))
        return false;
    for (int i = 0; i < s.dnsCount; ++i)
        if (!addressText(s.aszDns[i]))
            return false;
    bool stateful = strcmp(s.szMode, "stateful") == 0;
    if (stateful)
        return addressText(s.szStart) && addressText(s.szEnd);
    return !s.szStart[0] && !s.szEnd[0];
}

/* ---- the dnsmasq lines ---- */

static std::string rangeTag(const char *szIfName)
{
    return std::string(szIfName) + "-" QUOMO_IPV6_TAG;
}

/* The range: its addresses (stateful) or "::" and how clients configure
 * themselves, with the interface's prefix put in by dnsmasq. */
static std::string rangeLine(const char *szIfName, const QuomoIpv6Settings &s)
{
    std::string line = "dhcp-range=set:" + rangeTag(szIfName) + ",";
    if (strcmp(s.szMode, "stateful") == 0)
        line += std::string(s.szStart) + "," + s.szEnd + ",constructor:" + szIfName;
    else
        line += std::string("::,constructor:") + szIfName + "," +
                (strcmp(s.szMode, "ra-only") == 0 ? "ra-only" : "ra-stateless");
    if (s.raNames)
        line += ",ra-names";
    return line + "," + std::to_string(s.prefixLength) + "," + std::to_string(s.leaseSeconds) + "\n";
}

/* The servers the advertisement and DHCPv6 announce; none when neither a
 * server nor the interface's address is known (dnsmasq's own default). */
static std::string dnsLine(const char *szIfName, const QuomoIpv6Settings &s)
{
    std::string servers;
    for (int i = 0; i < s.dnsCount; ++i)
        servers += std::string(",[") + s.aszDns[i] + "]";
    if (s.dnsCount == 0 && s.szOwnAddress[0])
        servers = std::string(",[") + s.szOwnAddress + "]";
    if (servers.empty())
        return std::string();
    return "dhcp-option=tag:" + rangeTag(szIfName) + ",option6:dns-server" + servers + "\n";
}

bool quomoIpv6Lines(std::string &out, const char *szIfName, const QuomoIpv6Settings &s)
{
    if (!settingsUsable(s) || strcmp(s.szMode, "off") == 0)
        return false;
    /* The interface is served even when no IPv4 subnet names it. A plain
     * DHCPv6 range sends no advertisement without "enable-ra"; it switches
     * on only interfaces that have an IPv6 range. */
    out += std::string("interface=") + szIfName + "\n";
    out += "enable-ra\n";
    out += rangeLine(szIfName, s);
    out += dnsLine(szIfName, s);
    if (s.szDomain[0])
        out += "dhcp-option=tag:" + rangeTag(szIfName) + ",option6:domain-search," + s.szDomain + "\n";
    return true;
}

/* ---- the settings file ---- */

static std::string settingsText(const QuomoIpv6Settings &s)
{
    std::string dns;
    for (int i = 0; i < s.dnsCount; ++i)
        dns += std::string(i ? "," : "") + s.aszDns[i];
    return std::string("mode=") + s.szMode + "\nstart=" + s.szStart + "\nend=" + s.szEnd +
           "\nprefix=" + std::to_string(s.prefixLength) + "\nlease=" +
           std::to_string(s.leaseSeconds) + "\ndns=" + dns + "\nown=" + s.szOwnAddress +
           "\nranames=" + (s.raNames ? "yes" : "no") + "\ndomain=" + s.szDomain + "\n";
}

static void offSettings(QuomoIpv6Settings &s)
{
    memset(&s, 0, sizeof s);
    orvCopy(s.szMode, sizeof s.szMode, "off");
    s.prefixLength = 64;
    s.leaseSeconds = 86400;
}

static void readDns(const char *value, QuomoIpv6Settings &s)
{
    QuomoField f[QUOMO_IPV6_MAX_DNS + 1];
    int n = value[0] ? quomoSplitFields(value, strlen(value), ",", f, QUOMO_IPV6_MAX_DNS + 1) : 0;
    s.dnsCount = n > QUOMO_IPV6_MAX_DNS ? QUOMO_IPV6_MAX_DNS : n;
    for (int i = 0; i < s.dnsCount; ++i)
        quomoCopyField(s.aszDns[i], sizeof s.aszDns[i], f[i]);
}

static void readSetting(const std::string &key, const char *value, QuomoIpv6Settings &s)
{
    if (key == "mode")
        orvCopy(s.szMode, sizeof s.szMode, value);
    else if (key == "start")
        orvCopy(s.szStart, sizeof s.szStart, value);
    else if (key == "end")
        orvCopy(s.szEnd, sizeof s.szEnd, value);
    else if (key == "prefix")
        s.prefixLength = (int32_t)strtol(value, NULL, 10);
    else if (key == "lease")
        s.leaseSeconds = (int32_t)strtol(value, NULL, 10);
    else if (key == "dns")
        readDns(value, s);
    else if (key == "own")
        orvCopy(s.szOwnAddress, sizeof s.szOwnAddress, value);
    else if (key == "ranames")
        s.raNames = strcmp(value, "yes") == 0;
    else if (key == "domain")
        orvCopy(s.szDomain, sizeof s.szDomain, value);
}

int quomoGetIpv6(const char *szIfName, QuomoIpv6Settings *pSettings)
{
    char szPath[QUOMO_PATH_LEN];
    if (!pSettings || !szIfName || !settingsPath(szPath, szIfName))
        return 0;
    offSettings(*pSettings);
    std::string text;
    if (quomoStagedRead(szPath, text) < 0) {
        ORV_LOG("Can not read [%s]", szPath);
        return 0;
    }
    quomoEachLine(text, [&](const std::string &line) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            readSetting(line.substr(0, eq), line.c_str() + eq + 1, *pSettings);
    });
    return 1;
}

int quomoSetIpv6(const char *szIfName, const QuomoIpv6Settings *pSettings)
{
    char szPath[QUOMO_PATH_LEN];
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    if (!pSettings || !szIfName || !settingsPath(szPath, szIfName) ||
        !quomoSubnetPath(szConf, sizeof szConf, szIfName, QUOMO_IPV6_TAG, "conf") ||
        !quomoSubnetPath(szInfo, sizeof szInfo, szIfName, QUOMO_IPV6_TAG, "info")) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    const QuomoIpv6Settings &s = *pSettings;
    QuomoChangeScope scope;
    if (settingsUsable(s) && strcmp(s.szMode, "off") == 0)
        return scope.commit(quomoStageRemove(szInfo) && quomoStageRemove(szConf) &&
                            quomoStageRemove(szPath));
    std::string lines;
    if (!quomoIpv6Lines(lines, szIfName, s)) {
        ORV_LOG("IPv6 settings of %s cannot be written as given", szIfName);
        orvNoteReason("ipv6", "a value that cannot be written safely into the fragment");
        return 0;
    }
    if (!quomoMakeDhcpdDir())
        return 0;
    std::string text = settingsText(s);
    return scope.commit(quomoStageFile(szPath, text.data(), text.size()) &&
                        quomoStagePair(szConf, lines.data(), lines.size(), szInfo, 1, szIfName));
}

/* ---- the files it owns ---- */

bool quomoIpv6StoreOwns(const char *szRelPath)
{
    std::string ifName;
    return quomoListStoreFile(szRelPath, QUOMO_IPV6_TAG, QUOMO_IPV6_TAG, ifName) != QUOMO_STORE_NONE;
}

bool quomoIpv6Verify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    std::string ifName;
    QuomoStoreFile file = quomoListStoreFile(szRelPath, QUOMO_IPV6_TAG, QUOMO_IPV6_TAG, ifName);
    if (file == QUOMO_STORE_NONE) {
        orvCopy(szWhy, cbWhy, "not a file of the IPv6 settings");
        return false;
    }
    if (file == QUOMO_STORE_INFO)
        return quomoInfoVerify(content, szWhy, cbWhy);
    bool settings = file == QUOMO_STORE_LIST;
    QuomoIpv6Settings s;
    std::string lines;
    if (quomoGetIpv6(ifName.c_str(), &s) && quomoIpv6Lines(lines, ifName.c_str(), s) &&
        content == (settings ? settingsText(s) : lines))
        return true;
    orvCopy(szWhy, cbWhy, "not IPv6 settings as this system writes them");
    return false;
}
