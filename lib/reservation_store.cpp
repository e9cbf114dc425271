/*
 * The reservation store (see reservation_store.h).
 */
#include "reservation_store.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lease_record.h"
#include "orvath_common.h"
#include "save.h"
#include "quomodhcp_paths.h"
#include "subnet_store.h"
#include "text.h"
#include "vorl.h"

/* Reservation list fields after splitting at "=" and ",":
 * dhcp-host=<mac>,<hostname>,<ip>,infinite */
enum { STATIC_FIELD_MAC = 1, STATIC_FIELD_HOSTNAME = 2, STATIC_FIELD_IP = 3, STATIC_MIN_FIELDS = 4 };

/* <root>/etc/dhcpd/dhcpdStatic.ori into szPath (QUOMO_PATH_LEN bytes); logs
 * "Path too long" and returns 0 when it did not fit. */
static int staticListPath(char *szPath)
{
    if (!orvPath(szPath, QUOMO_PATH_LEN, QUOMO_STATIC_LIST)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    return 1;
}

/* Appends the list line "dhcp-host=<mac>,<host>,<ip>,infinite" and its
 * newline. Logs and returns 0, appending nothing, for a member that is
 * missing or holds a line break, or a line too long for the list. */
static int staticLine(std::string &out, const char *szMac, const char *szIp, const char *szHostname)
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
    /* Put together by hand, once per reservation of thousands; a line
     * longer than the list's lines may be would be cut when read, losing
     * its address or its lease time. */
    static const char kShape[] = "dhcp-host=,,,infinite";
    size_t macLen = strlen(szMac), hostLen = strlen(szHostname), ipLen = strlen(szIp);
    if (sizeof kShape - 1 + macLen + hostLen + ipLen >= QUOMO_VALUE_LEN) {
        ORV_LOG("Static host setting too long [%s]", szMac);
        return 0;
    }
    out.append("dhcp-host=", 10).append(szMac, macLen).append(1, ',');
    out.append(szHostname, hostLen).append(1, ',').append(szIp, ipLen).append(",infinite\n", 10);
    return 1;
}

int quomoAddReservation(const char *szMac, const char *szIp, const char *szHostname)
{
    std::string line;
    if (!staticLine(line, szMac, szIp, szHostname))
        return -1;
    char szPath[QUOMO_PATH_LEN];
    std::string list;
    if (!staticListPath(szPath) || !quomoMakeDhcpdDir() || quomoStagedRead(szPath, list) < 0)
        return -1;
    if (!list.empty() && list.back() != '\n')
        list += '\n';
    list += line;
    return quomoReplace(szPath, list.data(), list.size()) ? 1 : -1;
}

int quomoReadReservation(char *szMac, char *szIp, char *szHostname, const char *szLine)
{
    if (!szMac || !szIp || !szHostname || !szLine) {
        ORV_LOG("Bad parameters.");
        return -1;
    }
    size_t len = strlen(szLine);
    QuomoReservationFields f;
    if (!quomoReservationFields(szLine, len, &f))
        return -1; /* not a reservation line: the buffers stay as they are */
    quomoCopyField(szMac, QUOMO_IP_LEN, f.mac);
    quomoCopyField(szIp, QUOMO_IP_LEN, f.ip);
    quomoCopyField(szHostname, QUOMO_HOSTNAME_LEN, f.hostname);
    return quomoSplitFields(szLine, len, "=,", NULL, 0);
}

bool quomoReservationFields(const char *line, size_t len, QuomoReservationFields *pFields)
{
    /* The fields up to the address, split at "=" and ",": what follows is
     * not looked at. */
    QuomoField f[STATIC_MIN_FIELDS];
    size_t start = 0, end = 0;
    for (int i = 0; i < STATIC_MIN_FIELDS; ++i) {
        if (i > 0 && end == len)
            return false;
        start = i > 0 ? end + 1 : 0;
        end = start;
        while (end < len && line[end] != '=' && line[end] != ',' && line[end] != '\0')
            ++end;
        f[i] = QuomoField{line + start, end - start};
        if (end < len && line[end] == '\0')
            len = end; /* a NUL byte ends the line */
    }
    pFields->mac = f[STATIC_FIELD_MAC];
    pFields->ip = f[STATIC_FIELD_IP];
    pFields->hostname = f[STATIC_FIELD_HOSTNAME];
    return true;
}

/* Writes the fragment from the text of the list, then switches it on (the
 * settings file keeps its other lines). */
static int writeStaticFragment(const std::string &list)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    if (!quomoFixedPair(szConf, szInfo, "static") || !quomoMakeDhcpdDir())
        return 0;
    std::string text;
    quomoAppendLoopbackSubnet(text, "static");
    text.reserve(text.size() + list.size() + 1);
    text += list;
    /* Every line ends in exactly one newline. */
    if (!list.empty() && list.back() != '\n')
        text += '\n';
    QuomoChangeScope scope;
    if (!quomoStageText(szConf, std::move(text)) ||
        !quomoStageKey(szInfo, "enable", "yes")) {
        ORV_LOG("Disable dnsmasq DNS SERVER failed %s(%d)", "QUOMODHCPGenFakeStaticFile", __LINE__);
        return scope.commit(0);
    }
    return scope.commit(1);
}

int quomoRebuildStaticFragment(void)
{
    char szList[QUOMO_PATH_LEN];
    if (!staticListPath(szList))
        return 0;
    /* Read in place: the fragment is made before anything else is staged. */
    std::string buffer;
    const std::string *list = NULL;
    if (quomoStagedRef(szList, buffer, &list) < 0) {
        ORV_LOG("Can not read DHCP static file [%s]", szList);
        return 0;
    }
    return writeStaticFragment(*list);
}

int quomoSetReservations(const QuomoStaticHost *pHosts, int count)
{
    if (count < 0 || (count > 0 && !pHosts)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    std::string list;
    list.reserve((size_t)count * 64); /* a usual line's length, to grow once */
    for (int i = 0; i < count; ++i)
        staticLine(list, pHosts[i].szMac, pHosts[i].szIp, pHosts[i].szHostname);
    char szList[QUOMO_PATH_LEN];
    if (!staticListPath(szList) || !quomoMakeDhcpdDir())
        return 0;
    /* The list first: it is what the page shows and the fragment is made
     * from. An empty set leaves no list at all. */
    QuomoChangeScope scope;
    int listed = list.empty() ? quomoStageRemove(szList) : quomoStageText(szList, std::move(list));
    return scope.commit(listed && quomoRebuildStaticFragment());
}

static bool isStatic6File(const char *name);
static bool verifyStatic6(const char *name, const std::string &content, char *szWhy, size_t cbWhy);

bool quomoReservationStoreOwns(const char *szRelPath)
{
    const char *name = quomoDhcpdName(szRelPath);
    return name && (strcmp(name, orvBaseName(QUOMO_STATIC_LIST)) == 0 || isStatic6File(name) ||
                    strcmp(name, "dhcpd-static-static.conf") == 0 ||
                    strcmp(name, "dhcpd-static-static.info") == 0);
}

/* ---- the reserved MAC addresses ---- */

/* The reserved MAC addresses, as a lookup asks for every record of a lease
 * log: ordinary ones ("xx:xx:xx:xx:xx:xx", either case) as sorted numbers;
 * any other key in lower case, one after another in keys, with where each
 * lies in keys, sorted. A list of thousands is held in a few blocks. */
struct QuomoReserved {
    std::vector<uint64_t> macs;
    std::string keys;
    std::vector<QuomoField> sorted; /* into keys */
};

static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

static int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* An ordinary MAC address as a number; false for any other text. Two texts
 * give one number exactly when they are equal in lower case. */
static bool macNumber(const char *p, size_t n, uint64_t &mac)
{
    if (n != 17)
        return false;
    mac = 0;
    for (size_t i = 0; i < n; i += 3) {
        int high = hexDigit(p[i]), low = hexDigit(p[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < n && p[i + 2] != ':'))
            return false;
        mac = mac << 8 | (uint64_t)(high << 4 | low);
    }
    return true;
}

static bool fieldLess(QuomoField a, QuomoField b)
{
    int order = memcmp(a.p, b.p, a.n < b.n ? a.n : b.n);
    return order < 0 || (order == 0 && a.n < b.n);
}

/* The MAC field of a reservation line: between its first and second "=" or
 * ","; false when the line has no such field. */
static bool reservedMac(const char *line, size_t len, QuomoField &mac)
{
    size_t start = 0;
    while (start < len && line[start] != '=' && line[start] != ',')
        ++start;
    if (start == len)
        return false;
    ++start;
    size_t end = start;
    while (end < len && line[end] != '=' && line[end] != ',')
        ++end;
    mac = QuomoField{line + start, end - start};
    return true;
}

/* Adds the MAC address of the line (read as the C string it is, up to a
 * NUL byte) to the numbers or the keys. */
static void addReservedKey(QuomoReserved &r, std::vector<size_t> &lengths, const char *line, size_t len)
{
    QuomoField mac;
    uint64_t number;
    if (!reservedMac(line, strnlen(line, len), mac) || mac.n == 0)
        return;
    if (macNumber(mac.p, mac.n, number)) {
        r.macs.push_back(number);
        return;
    }
    for (size_t i = 0; i < mac.n; ++i)
        r.keys += lowerAscii(mac.p[i]);
    lengths.push_back(mac.n);
}

QuomoReserved *quomoReservedLoad(void)
{
    char szPath[QUOMO_PATH_LEN];
    if (!staticListPath(szPath))
        return NULL;
    /* Created when missing, so that it exists from the first listing on;
     * read a line at a time, as it may hold thousands. */
    FILE *file = VORLCFileTouch(szPath) == 0 ? orvFopenRead(szPath) : NULL;
    if (!file) {
        ORV_LOG("Can not read the reservation list [%s]", szPath);
        return NULL;
    }
    QuomoReserved *pReserved = new QuomoReserved;
    std::vector<size_t> lengths;
    if (!quomoReadLines(file, [&](const char *line, size_t len) {
            addReservedKey(*pReserved, lengths, line, len);
        })) {
        ORV_LOG("Can not read the reservation list [%s]", szPath);
        delete pReserved;
        return NULL;
    }
    std::sort(pReserved->macs.begin(), pReserved->macs.end());
    /* keys no longer moves: the fields may point into it. */
    size_t at = 0;
    pReserved->sorted.reserve(lengths.size());
    for (size_t n : lengths) {
        pReserved->sorted.push_back(QuomoField{pReserved->keys.data() + at, n});
        at += n;
    }
    std::sort(pReserved->sorted.begin(), pReserved->sorted.end(), fieldLess);
    return pReserved;
}

void quomoReservedFree(QuomoReserved *pReserved) { delete pReserved; }

int quomoIsReserved(const QuomoReserved *pReserved, const char *szMac)
{
    if (!pReserved || !szMac || szMac[0] == '\0')
        return 0;
    size_t len = strlen(szMac);
    uint64_t number;
    if (macNumber(szMac, len, number))
        return std::binary_search(pReserved->macs.begin(), pReserved->macs.end(), number) ? 1 : 0;
    std::string key = quomoMacKey(szMac, len);
    QuomoField field{key.data(), key.size()};
    return std::binary_search(pReserved->sorted.begin(), pReserved->sorted.end(), field, fieldLess) ? 1 : 0;
}

bool quomoReservationVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    const char *name = quomoDhcpdName(szRelPath);
    if (name && strcmp(name, "dhcpd-static-static.info") == 0)
        return quomoInfoVerify(content, szWhy, cbWhy);
    if (name && isStatic6File(name))
        return verifyStatic6(name, content, szWhy, cbWhy);
    char szList[QUOMO_PATH_LEN];
    std::string list, again;
    if (!staticListPath(szList) || orvReadFile(szList, list) < 0) {
        orvCopy(szWhy, cbWhy, "cannot be read back");
        return false;
    }
    for (size_t at = 0; at < list.size();) {
        size_t nl = list.find('\n', at);
        std::string line = list.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? list.size() : nl + 1;
        char szMac[QUOMO_IP_LEN] = "", szIp[QUOMO_IP_LEN] = "", szHost[QUOMO_HOSTNAME_LEN] = "";
        if (quomoReadReservation(szMac, szIp, szHost, line.c_str()) < 0 ||
            !staticLine(again, szMac, szIp, szHost))
            break;
    }
    std::string fragment;
    quomoAppendLoopbackSubnet(fragment, "static");
    fragment += again;
    if (again == list && content == (strcmp(name, "dhcpd-static-static.conf") == 0 ? fragment : list))
        return true;
    orvCopy(szWhy, cbWhy, "not reservations as this system writes them");
    return false;
}

int quomoListReservations(QuomoReservationVisit visit, void *pContext)
{
    char szList[QUOMO_PATH_LEN];
    FILE *file = staticListPath(szList) ? orvFopenRead(szList) : NULL;
    if (!file)
        return 0;
    char *line = NULL;
    size_t cap = 0;
    while (getline(&line, &cap, file) >= 0) {
        char szMac[QUOMO_IP_LEN] = "";
        char szIp[QUOMO_IP_LEN] = "";
        char szHostname[QUOMO_HOSTNAME_LEN] = "";
        if (quomoReadReservation(szMac, szIp, szHostname, line) > 0)
            visit(szMac, szIp, szHostname, pContext);
    }
    free(line);
    fclose(file);
    return 1;
}

int quomoReservedAddresses(uint32_t *pAddrs, int max)
{
    char szList[QUOMO_PATH_LEN];
    FILE *file = staticListPath(szList) ? orvFopenRead(szList) : NULL;
    if (!file)
        return -1;
    QuomoAddressList addrs = {pAddrs, max, 0};
    bool read = quomoReadLines(file, [&addrs](const char *line, size_t len) {
        QuomoReservationFields f;
        uint32_t addr;
        if (quomoReservationFields(line, len, &f) && quomoFieldIpv4(f.ip, &addr))
            quomoAddressAdd(&addrs, addr);
    });
    return read ? quomoAddressFinish(&addrs) : -1;
}

/* ---- the reservations' IPv6 addresses ---- */

/* <root>/etc/dhcpd/dhcpdStatic6.ori into szPath (QUOMO_PATH_LEN bytes). */
static int static6ListPath(char *szPath)
{
    return orvPath(szPath, QUOMO_PATH_LEN, QUOMO_STATIC6_LIST);
}

/* An IPv6 address text that may stand between brackets in a line. */
static bool ipv6Text(const char *text)
{
    unsigned char bytes[16];
    return text[0] && strspn(text, "0123456789abcdefABCDEF:.") == strlen(text) &&
           inet_pton(AF_INET6, text, bytes) == 1;
}

/* "dhcp-host=<mac>,[<ipv6>][,<hostname>],infinite": dnsmasq puts the
 * prefix of the link the client asks on in front of a host part. */
static int static6Line(std::string &out, const QuomoStaticHost &h)
{
    if (!h.szMac || !h.szIp || !h.szHostname || !ipv6Text(h.szIp) ||
        strspn(h.szMac, "0123456789abcdefABCDEF:") != strlen(h.szMac) || !h.szMac[0] ||
        !quomoCheckText("szHostname", h.szHostname, QUOMO_HOSTNAME_LEN) || strchr(h.szHostname, ',')) {
        ORV_LOG("Static IPv6 host setting refused [%s]", h.szMac ? h.szMac : "");
        return 0;
    }
    out += std::string("dhcp-host=") + h.szMac + ",[" + h.szIp + "]" +
           (h.szHostname[0] ? std::string(",") + h.szHostname : std::string()) + ",infinite\n";
    return 1;
}

/* The fields of such a line; false for another line. */
static bool readStatic6(const std::string &line, std::string &mac, std::string &ip, std::string &host)
{
    const char prefix[] = "dhcp-host=";
    size_t open = line.find(",[");
    size_t close = line.find(']');
    if (line.compare(0, sizeof prefix - 1, prefix) != 0 || open == std::string::npos ||
        close == std::string::npos || close < open)
        return false;
    mac = line.substr(sizeof prefix - 1, open - (sizeof prefix - 1));
    ip = line.substr(open + 2, close - open - 2);
    std::string rest = line.substr(close + 1);
    const char tail[] = ",infinite";
    if (rest.size() < sizeof tail - 1 || rest.compare(rest.size() - (sizeof tail - 1), sizeof tail - 1, tail) != 0)
        return false;
    rest.erase(rest.size() - (sizeof tail - 1));
    host = rest.empty() ? "" : rest.substr(1);
    return rest.empty() || rest[0] == ',';
}

int quomoSetReservations6(const QuomoStaticHost *pHosts, int count)
{
    char szList[QUOMO_PATH_LEN], szConf[QUOMO_PATH_LEN], szInfo[QUOMO_PATH_LEN];
    if (count < 0 || (count > 0 && !pHosts) || !static6ListPath(szList) ||
        !quomoFixedPair(szConf, szInfo, QUOMO_STATIC6_TAG)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    std::string list;
    for (int i = 0; i < count; ++i)
        static6Line(list, pHosts[i]);
    QuomoChangeScope scope;
    /* None: no file at all, the settings file going first. */
    if (list.empty())
        return scope.commit(quomoStageRemove(szInfo) && quomoStageRemove(szConf) &&
                            quomoStageRemove(szList));
    return scope.commit(quomoMakeDhcpdDir() && quomoStageFile(szList, list.data(), list.size()) &&
                        quomoStagePair(szConf, list.data(), list.size(), szInfo, 1, QUOMO_STATIC6_TAG));
}

int quomoListReservations6(QuomoReservationVisit visit, void *pContext)
{
    char szList[QUOMO_PATH_LEN];
    std::string text;
    if (!static6ListPath(szList) || quomoStagedRead(szList, text) < 0)
        return 0;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        std::string line = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
        std::string mac, ip, host;
        if (readStatic6(line, mac, ip, host))
            visit(mac.c_str(), ip.c_str(), host.c_str(), pContext);
    }
    return 1;
}

static bool isStatic6File(const char *name)
{
    return strcmp(name, orvBaseName(QUOMO_STATIC6_LIST)) == 0 ||
           strcmp(name, "dhcpd-" QUOMO_STATIC6_TAG "-" QUOMO_STATIC6_TAG ".conf") == 0 ||
           strcmp(name, "dhcpd-" QUOMO_STATIC6_TAG "-" QUOMO_STATIC6_TAG ".info") == 0;
}

/* The list and the fragment hold the same lines, each as written. */
static bool verifyStatic6(const char *name, const std::string &content, char *szWhy, size_t cbWhy)
{
    if (strcmp(name + strlen(name) - 5, ".info") == 0)
        return quomoInfoVerify(content, szWhy, cbWhy);
    std::string again;
    for (size_t at = 0; at < content.size();) {
        size_t nl = content.find('\n', at);
        std::string line = content.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? content.size() : nl + 1;
        std::string mac, ip, host;
        if (!readStatic6(line, mac, ip, host))
            break;
        QuomoStaticHost h = {mac.c_str(), ip.c_str(), host.c_str()};
        static6Line(again, h);
    }
    if (again == content)
        return true;
    orvCopy(szWhy, cbWhy, "not IPv6 reservations as this system writes them");
    return false;
}
