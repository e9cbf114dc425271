/*
 * The name store (see name_store.h).
 */
#include "name_store.h"

#include <arpa/inet.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "reservation_store.h"
#include "save.h"
#include "subnet_store.h"

/* A subnet as its fragment gives it. */
struct NamedSubnet {
    uint32_t network = 0;
    uint32_t mask = 0;
    std::string domain;
};

static std::vector<std::string> splitAt(const std::string &text, char sep)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t at; (at = text.find(sep, start)) != std::string::npos; start = at + 1)
        fields.push_back(text.substr(start, at - start));
    fields.push_back(text.substr(start));
    return fields;
}

static bool parseAddr(const std::string &text, uint32_t *pAddr)
{
    struct in_addr a;
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    *pAddr = ntohl(a.s_addr);
    return true;
}

/* "dhcp-range=...set:<tag>,<start>,<end>,<netmask>,...". */
static void readRangeLine(const std::string &value, NamedSubnet &s)
{
    std::vector<std::string> f = splitAt(value, ',');
    for (size_t i = 0; i + 3 < f.size(); ++i) {
        uint32_t start;
        if (f[i].compare(0, 4, "set:") == 0 && parseAddr(f[i + 1], &start) && parseAddr(f[i + 3], &s.mask)) {
            s.network = start & s.mask;
            return;
        }
    }
}

static bool readSubnet(const char *szPath, NamedSubnet &s)
{
    std::string text;
    if (quomoStagedRead(szPath, text) != 1)
        return false;
    const std::string domainKey = ",option:domain-name,";
    for (const std::string &line : splitAt(text, '\n')) {
        if (line.compare(0, 11, "dhcp-range=") == 0)
            readRangeLine(line.substr(11), s);
        size_t at = line.find(domainKey);
        if (line.compare(0, 16, "dhcp-option=tag:") == 0 && at != std::string::npos)
            s.domain = line.substr(at + domainKey.size());
    }
    return s.mask != 0;
}

static std::vector<NamedSubnet> interfaceSubnets(const char *szIfName)
{
    std::vector<NamedSubnet> subnets;
    quomoWalkSubnets(szIfName, "conf", 0, false, [&subnets](const char *szPath, const char *) {
        NamedSubnet s;
        if (readSubnet(szPath, s))
            subnets.push_back(s);
        return 0;
    }, NULL);
    return subnets;
}

/* Letters, digits, "-", "_" and "." only: nothing else may stand in a name
 * of these lines. */
static bool safeName(const std::string &name)
{
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.'))
            return false;
    return true;
}

static int prefixLength(uint32_t mask)
{
    int bits = 0;
    for (; mask & 0x80000000u; mask <<= 1)
        ++bits;
    return bits;
}

static std::string dottedQuad(uint32_t addr)
{
    struct in_addr a;
    a.s_addr = htonl(addr);
    char sz[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, sz, sizeof sz) ? sz : "";
}

static void appendDomainLines(std::string &out, const std::vector<NamedSubnet> &subnets)
{
    for (const NamedSubnet &s : subnets)
        if (safeName(s.domain))
            out += "domain=" + s.domain + "," + dottedQuad(s.network) + "/" +
                   std::to_string(prefixLength(s.mask)) + ",local\n";
}

/* A reservation as the names are made of it: its address, and its address
 * text and host name as the list gives them (into the list's text). */
struct NamedHost {
    uint32_t addr;
    QuomoField ip;
    QuomoField host;
};

/* The reservations of the list as the request leaves it, read once for
 * every interface: the list may hold thousands. They point into the list's
 * text: the staged one, or buffer. */
static std::vector<NamedHost> readNamedHosts(std::string &buffer)
{
    std::vector<NamedHost> hosts;
    char szList[QUOMO_PATH_LEN];
    const std::string *list = NULL;
    if (!orvPath(szList, sizeof szList, "%s", QUOMO_STATIC_LIST) ||
        quomoStagedRef(szList, buffer, &list) != 1)
        return hosts;
    const std::string &text = *list;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl;
        QuomoReservationFields f;
        NamedHost host;
        if (quomoReservationFields(text.data() + at, end - at, &f) && quomoFieldIpv4(f.ip, &host.addr)) {
            host.ip = f.ip;
            /* The host name as a reservation's reader gives it: cut to its buffer. */
            host.host = QuomoField{f.hostname.p, std::min(f.hostname.n, (size_t)QUOMO_HOSTNAME_LEN - 1)};
            hosts.push_back(host);
        }
        at = end + 1;
    }
    return hosts;
}

static void appendHostLine(std::string &out, const std::vector<NamedSubnet> &subnets, const NamedHost &h)
{
    for (const NamedSubnet &s : subnets) {
        if ((h.addr & s.mask) != s.network)
            continue;
        std::string host(h.host.p, h.host.n);
        if (!safeName(host))
            return;
        std::string ip(h.ip.p, h.ip.n);
        if (safeName(s.domain))
            out += "host-record=" + host + "." + s.domain + "," + host + "," + ip + "\n";
        else
            out += "host-record=" + host + "," + ip + "\n";
        return;
    }
}

static int setNamesWith(const char *szIfName, const std::vector<NamedHost> &hosts)
{
    char szConf[QUOMO_PATH_LEN], szInfo[QUOMO_PATH_LEN];
    if (!szIfName || !quomoSubnetPath(szConf, sizeof szConf, szIfName, QUOMO_NAMES_TAG, "conf") ||
        !quomoSubnetPath(szInfo, sizeof szInfo, szIfName, QUOMO_NAMES_TAG, "info"))
        return 0;
    std::vector<NamedSubnet> subnets = interfaceSubnets(szIfName);
    std::string lines;
    appendDomainLines(lines, subnets);
    if (!subnets.empty())
        for (const NamedHost &h : hosts)
            appendHostLine(lines, subnets, h);
    QuomoChangeScope scope;
    if (lines.empty() && !quomoStagedExists(szConf) && !quomoStagedExists(szInfo))
        return 1;
    if (lines.empty())
        return scope.commit(quomoStageRemove(szInfo) && quomoStageRemove(szConf));
    std::string now;
    if (quomoStagedRead(szConf, now) == 1 && now == lines && quomoStagedExists(szInfo))
        return 1;
    if (!quomoMakeDhcpdDir())
        return 0;
    return scope.commit(quomoStagePair(szConf, lines.data(), lines.size(), szInfo, 1, szIfName));
}

int quomoSetNamesOf(const char *const *ifNames, int count)
{
    if (count < 0 || (count > 0 && !ifNames))
        return 0;
    /* Without the directory there is no subnet and nothing to remove. */
    char szDir[QUOMO_PATH_LEN];
    struct stat st;
    if (!orvPath(szDir, sizeof szDir, "%s", QUOMO_DHCPD_DIR) || stat(szDir, &st) != 0) {
        for (int i = 0; i < count; ++i)
            if (!ifNames[i])
                return 0;
        return 1;
    }
    std::string list;
    std::vector<NamedHost> hosts = readNamedHosts(list);
    QuomoChangeScope scope;
    int ok = 1;
    for (int i = 0; i < count; ++i)
        ok = setNamesWith(ifNames[i], hosts) && ok;
    return scope.commit(ok);
}

int quomoSetNames(const char *szIfName)
{
    return quomoSetNamesOf(&szIfName, 1);
}

bool quomoNameStoreOwns(const char *szRelPath)
{
    return quomoParsePairName(szRelPath, NULL, QUOMO_NAMES_TAG);
}

/* "domain=<name>,<address>/<prefix>,local" or "host-record=<names>,<address>". */
static bool nameLine(const std::string &line)
{
    std::vector<std::string> f;
    uint32_t addr;
    if (line.compare(0, 7, "domain=") == 0) {
        f = splitAt(line.substr(7), ',');
        size_t slash = f.size() == 3 ? f[1].find('/') : std::string::npos;
        return slash != std::string::npos && safeName(f[0]) && parseAddr(f[1].substr(0, slash), &addr) &&
               f[1].find_first_not_of("0123456789", slash + 1) == std::string::npos && f[2] == "local";
    }
    if (line.compare(0, 12, "host-record=") != 0)
        return false;
    f = splitAt(line.substr(12), ',');
    if (f.size() < 2 || f.size() > 3 || !parseAddr(f.back(), &addr))
        return false;
    for (size_t i = 0; i + 1 < f.size(); ++i)
        if (!safeName(f[i]))
            return false;
    return true;
}

bool quomoNameVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    size_t len = strlen(szRelPath);
    if (len > 5 && strcmp(szRelPath + len - 5, ".info") == 0)
        return quomoInfoVerify(content, szWhy, cbWhy);
    std::vector<std::string> lines = splitAt(content, '\n');
    bool ok = !content.empty() && content.back() == '\n';
    for (size_t i = 0; ok && i + 1 < lines.size(); ++i)
        ok = nameLine(lines[i]);
    if (!ok)
        orvCopy(szWhy, cbWhy, "not names as this system writes them");
    return ok;
}
