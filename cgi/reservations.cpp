/*
 * orvath: the static reservations ("staticData" of "applydata", "loadStatic",
 * "checkReservations").
 */
#include <ctype.h>
#include <string.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "host_list.h"
#include "handlers.h"
#include "interfaces.h"
#include "validate.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "subnet_files.h"

/* The reservations' IPv6 addresses in list order, by MAC address. */
static std::vector<std::pair<std::string, std::string>> readReservations6(void)
{
    std::vector<std::pair<std::string, std::string>> list;
    QUOMODHCPListReservations6([](const char *szMac, const char *szIp, const char *, void *pContext) {
        static_cast<std::vector<std::pair<std::string, std::string>> *>(pContext)->push_back({szMac, szIp});
    }, &list);
    return list;
}

bool loadStaticSettings(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    /* Each row takes the next IPv6 address kept for its MAC address: they
     * were written in the order of the rows. */
    std::vector<std::pair<std::string, std::string>> v6 = readReservations6();
    size_t next = 0;
    /* Written as the answer's text, members in name order as the writer
     * puts them: thousands of rows are no value each. */
    struct Context {
        std::vector<std::pair<std::string, std::string>> &v6;
        size_t &next;
        JsonPieces list;
        int count;
    } c{v6, next, JsonPieces(), 0};
    c.list.tail() += '[';
    int listed = QUOMODHCPListReservations(
        [](const char *szMac, const char *szIp, const char *szHostname, void *pContext) {
            Context &c = *static_cast<Context *>(pContext);
            std::string &out = c.list.tail();
            out += c.count++ ? ",{\"hostname\":" : "{\"hostname\":";
            Webvard::AppendString(out, szHostname, strlen(szHostname));
            out += ",\"ip\":";
            Webvard::AppendString(out, szIp, strlen(szIp));
            if (c.next < c.v6.size() && c.v6[c.next].first == szMac) {
                const std::string &ipv6 = c.v6[c.next++].second;
                out += ",\"ipv6\":";
                Webvard::AppendString(out, ipv6.data(), ipv6.size());
            }
            out += ",\"mac\":";
            Webvard::AppendString(out, szMac, strlen(szMac));
            out += '}';
        },
        &c);
    if (!listed) {
        ORV_LOG("Can not open DHCP static file");
        return false;
    }
    c.list.tail() += ']';
    answer["itemCount"] = Json::Value(c.count);
    answer["staticData"] = Webvard::Verbatim(std::move(c.list));
    return true;
}


bool readReservations(std::vector<KnownHost> &hosts)
{
    return QUOMODHCPListReservations(
               [](const char *szMac, const char *szIp, const char *, void *pContext) {
                   KnownHost host;
                   host.mac = szMac;
                   host.ip = szIp;
                   host.hasAddr = parseIpv4(szIp, &host.addr);
                   static_cast<std::vector<KnownHost> *>(pContext)->push_back(std::move(host));
               },
               &hosts) != 0;
}

/* ---- "checkReservations" ---- */

/* A subnet of an interface as the reservations are checked against it. */
struct CheckedSubnet {
    std::string name; /* "eth0, Subnet 1", "eth0, PXE subnet" */
    uint32_t network, broadcast, first, last, gateway;
    bool hasGateway;
};

/* The subnet a listed row stands for; false when its addresses are not
 * usable (such a row serves nothing). */
static bool checkedSubnet(const char *szIfName, const ListedSubnet &row, int number,
                          CheckedSubnet &subnet)
{
    uint32_t mask;
    if (!parseIpv4(row.conf.szStartIp, &subnet.first) ||
        !parseIpv4(row.conf.szEndIp, &subnet.last) || !parseIpv4(row.conf.szNetmask, &mask))
        return false;
    subnet.name = std::string(szIfName) + ", " +
                  (row.pxe ? std::string("PXE subnet") : "Subnet " + std::to_string(number));
    subnet.network = subnet.first & mask;
    subnet.broadcast = subnet.network | ~mask;
    subnet.hasGateway = parseIpv4(row.conf.szGateway, &subnet.gateway);
    return true;
}

/* The subnets of every interface that serves DHCP. */
static void readAllSubnets(std::vector<CheckedSubnet> &subnets)
{
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    for (int i = 0; i < count; ++i) {
        char szIfName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szIfName);
        std::vector<ListedSubnet> rows;
        if (!listedInterfaceType(SDK::Network::GetIfType(szIfName, NULL)) ||
            !readInterfaceSubnets(szIfName, rows))
            continue;
        int number = 0;
        for (const ListedSubnet &row : rows) {
            CheckedSubnet subnet;
            if (!row.pxe)
                ++number;
            if (checkedSubnet(szIfName, row, number, subnet))
                subnets.push_back(std::move(subnet));
        }
    }
}

/* The warnings as the answer's text: an array of {"index", "ip", "mac",
 * "reason"} (members in name order, as the writer puts them). */
struct Warnings {
    JsonPieces text;
    bool any = false;
};

static void warn(Warnings &warnings, size_t index, const KnownHost &host, const std::string &reason)
{
    std::string &out = warnings.text.tail();
    out += warnings.any ? ",{\"index\":" : "[{\"index\":";
    warnings.any = true;
    out += std::to_string(index);
    out += ",\"ip\":";
    Webvard::AppendString(out, host.ip.data(), host.ip.size());
    out += ",\"mac\":";
    Webvard::AppendString(out, host.mac.data(), host.mac.size());
    out += ",\"reason\":";
    Webvard::AppendString(out, reason.data(), reason.size());
    out += '}';
}

/* The page's words for a reservation that no client can use. */
static const char kUnusable[] = ": no client can use it";

/* Where the address stands among the subnets: none, or inside one's network
 * on a special address or inside its range. */
static void warnPlace(Warnings &warnings, size_t index, const KnownHost &host,
                      const std::vector<CheckedSubnet> &subnets)
{
    bool inSubnet = false;
    for (const CheckedSubnet &s : subnets) {
        if (!hostWithin(host, s.network, s.broadcast))
            continue;
        inSubnet = true;
        if (host.addr == s.network)
            warn(warnings, index, host, "the network address of " + s.name + kUnusable);
        else if (host.addr == s.broadcast)
            warn(warnings, index, host, "the broadcast address of " + s.name + kUnusable);
        else if (s.hasGateway && host.addr == s.gateway)
            warn(warnings, index, host, "the gateway of " + s.name + kUnusable);
        else if (hostWithin(host, s.first, s.last))
            warn(warnings, index, host,
                 "inside the address range of " + s.name +
                     ": still served, but the range has one address fewer to lend");
    }
    if (!inSubnet)
        warn(warnings, index, host, std::string("in no subnet of any interface") + kUnusable);
}

/* A lower-case MAC address, for comparing. */
static std::string macKey(const std::string &mac)
{
    std::string key(mac);
    for (char &c : key)
        c = (char)tolower((unsigned char)c);
    return key;
}

/* What the reservations are checked against besides the subnets, each read
 * once: the current leases by address, and the first reservation of each MAC
 * address. */
struct ClashIndex {
    std::unordered_multimap<uint32_t, const KnownHost *> leases;
    std::unordered_map<std::string, size_t> lastOfMac;
};

/* Another client's current lease on the address; and of two reservations of
 * one MAC address, the earlier one, which dnsmasq does not use (it gives the
 * later line's address). */
static void warnClash(Warnings &warnings, size_t index, const std::vector<KnownHost> &hosts,
                      ClashIndex &clash)
{
    const KnownHost &host = hosts[index];
    const std::string key = macKey(host.mac);
    auto range = clash.leases.equal_range(host.addr);
    for (auto it = range.first; it != range.second; ++it) {
        if (macKey(it->second->mac) != key) {
            warn(warnings, index, host, "leased right now to another client (" + it->second->mac + ")");
            break;
        }
    }
    auto last = clash.lastOfMac.emplace(key, index);
    if (!last.second) {
        warn(warnings, last.first->second, hosts[last.first->second],
             "not used: reservation " + std::to_string(index + 1) +
                 " has the same MAC address, and dnsmasq gives the client that one's address");
        last.first->second = index;
    }
}

bool checkReservations(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    std::vector<KnownHost> hosts;
    if (!readReservations(hosts))
        hosts.clear(); /* no list: nothing to warn about */
    std::vector<KnownHost> leases;
    /* An unreadable log holds no lease; a log another process holds for
     * the whole wait is answered as busy. */
    if (!hosts.empty() && readCurrentLeases(leases) < 0) {
        answer["error"] = "busy: another process is writing the lease log";
        return false;
    }
    std::vector<CheckedSubnet> subnets;
    if (!hosts.empty())
        readAllSubnets(subnets);

    ClashIndex clash;
    for (const KnownHost &lease : leases) {
        if (lease.hasAddr)
            clash.leases.emplace(lease.addr, &lease);
    }
    Warnings warnings;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (!hosts[i].hasAddr)
            continue; /* the save refuses such an address */
        warnPlace(warnings, i, hosts[i], subnets);
        warnClash(warnings, i, hosts, clash);
    }
    warnings.text.tail() += warnings.any ? "]" : "[]";
    answer["warnings"] = Webvard::Verbatim(std::move(warnings.text));
    return true;
}
