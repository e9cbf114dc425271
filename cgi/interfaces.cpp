/*
 * orvath: the interfaces that serve DHCP ("enumIF") and their addresses.
 */
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "interfaces.h"

#include "handlers.h"
#include "validate.h"
#include "orvath_common.h"

/* The platform's interface list; 0 or less on failure (logged). */
int listInterfaces(VORL_NETIF (&ifs)[kMaxInterfaces])
{
    memset(ifs, 0, sizeof ifs);
    int count = VORLNetGetInterfaceInfo(ifs, kMaxInterfaces, 2);
    if (count <= 0) {
        ORV_LOG("get ifinfos failed(%d)", count);
        return count;
    }
    return count < kMaxInterfaces ? count : kMaxInterfaces;
}

/* An interface record's name as NUL-terminated text. */
void interfaceName(const VORL_NETIF &netif, char (&szName)[QUOMO_IFNAME_LEN])
{
    size_t len = strnlen(netif.szName, sizeof netif.szName);
    if (len >= sizeof szName)
        len = sizeof szName - 1;
    memcpy(szName, netif.szName, len);
    szName[len] = '\0';
}

bool listedInterfaceType(int type)
{
    return type == 0 || type == 3 || type == 4 || type == 8;
}

bool isSystemInterface(const char *szIfName)
{
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    for (int i = 0; i < count; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (strcmp(szName, szIfName) == 0)
            return listedInterfaceType(SDK::Network::GetIfType(szName, NULL));
    }
    return false;
}

bool enumInterfaces(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    if (count <= 0)
        return false;

    Json::Value items(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (!listedInterfaceType(SDK::Network::GetIfType(szName, NULL)))
            continue;
        /* A fresh display name per interface: a failed lookup must not show
         * the previous interface's name. */
        std::string display;
        SDK::Network::GetIfName(szName, display);
        Json::Value item(Json::objectValue);
        item["if_value"] = szName;
        item["if_display"] = display;
        item["if_addrs"] = interfaceAddresses(szName);
        items.append(item);
    }
    answer["items"] = items;
    answer["total"] = Json::Value((int)items.size());
    return true;
}

/* ---- the interfaces' own addresses ---- */

/* "a.b.c.d/prefix" with a valid address and a prefix of 0 to 32. */
static bool isAddressWithPrefix(const std::string &text)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos || slash + 1 >= text.size() || text.size() - slash > 3)
        return false;
    std::string prefix = text.substr(slash + 1);
    if (prefix.find_first_not_of("0123456789") != std::string::npos || atoi(prefix.c_str()) > 32)
        return false;
    return checkIpv4(text.substr(0, slash).c_str()) == NULL;
}

static void addressesFromFile(const char *szIfName, Json::Value &list)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, "/sys/class/net/%s/orvath_addrs", szIfName))
        return;
    FILE *fp = fopen(szPath, "r");
    if (!fp)
        return;
    char szLine[64];
    while (fgets(szLine, sizeof szLine, fp)) {
        std::string text(szLine);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        if (isAddressWithPrefix(text))
            list.append(text);
    }
    fclose(fp);
}

static int prefixLength(const struct sockaddr *mask)
{
    if (!mask)
        return 32;
    uint32_t bits = ntohl(((const struct sockaddr_in *)mask)->sin_addr.s_addr);
    int len = 0;
    while (len < 32 && (bits & (0x80000000u >> len)))
        ++len;
    return len;
}

static void addressesFromSystem(const char *szIfName, Json::Value &list)
{
    struct ifaddrs *all = NULL;
    if (getifaddrs(&all) != 0) {
        ORV_LOG("Cannot list the addresses of %s", szIfName);
        return;
    }
    for (struct ifaddrs *a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || strcmp(a->ifa_name, szIfName))
            continue;
        char szAddr[INET_ADDRSTRLEN];
        const struct in_addr &in = ((const struct sockaddr_in *)a->ifa_addr)->sin_addr;
        if (!inet_ntop(AF_INET, &in, szAddr, sizeof szAddr))
            continue;
        list.append(std::string(szAddr) + "/" + std::to_string(prefixLength(a->ifa_netmask)));
    }
    freeifaddrs(all);
}

Json::Value interfaceAddresses(const char *szIfName)
{
    Json::Value list(Json::arrayValue);
    if (orvRoot()[0])
        addressesFromFile(szIfName, list);
    else
        addressesFromSystem(szIfName, list);
    return list;
}


/* ---- their IPv6 addresses ---- */

/* "address/length" with an IPv6 address and a length of 1 to 128, the
 * address and the length apart. */
static bool splitAddress6(const std::string &text, unsigned char (&bytes)[16], int &length)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos || slash + 1 >= text.size() || text.size() - slash > 4)
        return false;
    std::string digits = text.substr(slash + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    length = atoi(digits.c_str());
    return length >= 1 && length <= 128 && parseIpv6(text.substr(0, slash).c_str(), bytes);
}

/* A global address: neither link-local nor multicast nor loopback. */
static bool globalAddress6(const unsigned char (&b)[16])
{
    static const unsigned char loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return b[0] != 0xff && !(b[0] == 0xfe && (b[1] & 0xc0) == 0x80) && memcmp(b, loopback, 16) != 0;
}

bool insideIpv6Prefixes(const char *szIp, const std::vector<std::string> &addresses)
{
    unsigned char ip[16];
    if (!parseIpv6(szIp, ip))
        return false;
    for (const std::string &address : addresses) {
        unsigned char b[16];
        int length = 0;
        if (!splitAddress6(address, b, length))
            continue;
        bool same = true;
        for (int bit = 0; same && bit < length; ++bit)
            same = ((ip[bit / 8] ^ b[bit / 8]) & (0x80 >> (bit % 8))) == 0;
        if (same)
            return true;
    }
    return false;
}

std::string ipv6Prefix(const std::string &addressWithLength)
{
    unsigned char b[16];
    int length = 0;
    if (!splitAddress6(addressWithLength, b, length))
        return std::string();
    for (int bit = length; bit < 128; ++bit)
        b[bit / 8] &= (unsigned char)~(0x80 >> (bit % 8));
    char szAddr[INET6_ADDRSTRLEN];
    if (!inet_ntop(AF_INET6, b, szAddr, sizeof szAddr))
        return std::string();
    return std::string(szAddr) + "/" + std::to_string(length);
}

static void addresses6FromFile(const char *szIfName, std::vector<std::string> &list)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, "/sys/class/net/%s/orvath_addrs6", szIfName))
        return;
    FILE *fp = fopen(szPath, "r");
    if (!fp)
        return;
    char szLine[80];
    while (fgets(szLine, sizeof szLine, fp)) {
        std::string text(szLine);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        unsigned char b[16];
        int length = 0;
        if (splitAddress6(text, b, length) && globalAddress6(b))
            list.push_back(text);
    }
    fclose(fp);
}

static int prefixLength6(const struct sockaddr *mask)
{
    if (!mask)
        return 128;
    const unsigned char *b = ((const struct sockaddr_in6 *)mask)->sin6_addr.s6_addr;
    int len = 0;
    while (len < 128 && (b[len / 8] & (0x80 >> (len % 8))))
        ++len;
    return len;
}

static void addresses6FromSystem(const char *szIfName, std::vector<std::string> &list)
{
    struct ifaddrs *all = NULL;
    if (getifaddrs(&all) != 0) {
        ORV_LOG("Cannot list the addresses of %s", szIfName);
        return;
    }
    for (struct ifaddrs *a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET6 || strcmp(a->ifa_name, szIfName))
            continue;
        unsigned char b[16];
        memcpy(b, ((const struct sockaddr_in6 *)a->ifa_addr)->sin6_addr.s6_addr, 16);
        char szAddr[INET6_ADDRSTRLEN];
        if (!globalAddress6(b) || !inet_ntop(AF_INET6, b, szAddr, sizeof szAddr))
            continue;
        list.push_back(std::string(szAddr) + "/" + std::to_string(prefixLength6(a->ifa_netmask)));
    }
    freeifaddrs(all);
}

std::vector<std::string> interfaceAddresses6(const char *szIfName)
{
    std::vector<std::string> list;
    if (orvRoot()[0])
        addresses6FromFile(szIfName, list);
    else
        addresses6FromSystem(szIfName, list);
    return list;
}
