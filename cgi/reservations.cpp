/*
 * orvath: the static reservations ("staticData" of "applydata", "loadStatic",
 * "checkReservations").
 */
#include <ctype.h>

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host_list.h"
#include "orvath.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "subnet_files.h"

bool applyStaticSettings(const ApplyDataRequest &request)
{
    if (request.setAction == kSetKept)
        return true;
    /* A member that is missing or not text goes on as absent; the store
     * refuses the entry and writes no line for it. */
    std::vector<QuomoStaticHost> hosts;
    hosts.reserve(request.set.size());
    for (const Reservation &host : request.set)
        hosts.push_back({textOrNull(host.mac), textOrNull(host.ip), textOrNull(host.hostname)});
    return QUOMODHCPSetStaticHosts(hosts.data(), (int)hosts.size()) == 1;
}

/* The reservation list through fn(mac, ip, hostname), one call per
 * reservation in list order. False when the list cannot be read. */
typedef std::function<void(const char *, const char *, const char *)> ReservationFn;
static bool visitReservations(const ReservationFn &fn)
{
    return QUOMODHCPListReservations(
               [](const char *szMac, const char *szIp, const char *szHostname, void *pContext) {
                   (*static_cast<const ReservationFn *>(pContext))(szMac, szIp, szHostname);
               },
               const_cast<ReservationFn *>(&fn)) != 0;
}

bool loadStaticSettings(DhcpHandler &, Json::Value &answer)
{
    JsonPieces list;
    list.tail() += '[';
    int count = 0;
    bool listed = visitReservations([&](const char *szMac, const char *szIp, const char *szHostname) {
        std::string &out = list.tail();
        out += count++ ? ",{" : "{";
        appendHostMembers(out, szMac, szIp, szHostname);
        out += '}';
    });
    if (!listed) {
        ORV_LOG("Can not open DHCP static file");
        return false;
    }
    list.tail() += ']';
    answer["itemCount"] = Json::Value(count);
    answer["staticData"] = Webvard::Verbatim(std::move(list));
    return true;
}

bool readReservedAddresses(std::vector<uint32_t> &addrs)
{
    return visitReservations([&addrs](const char *, const char *szIp, const char *) {
        uint32_t addr;
        if (parseIpv4(szIp, &addr))
            addrs.push_back(addr);
    });
}

bool readReservations(std::vector<KnownHost> &hosts)
{
    return visitReservations([&hosts](const char *szMac, const char *szIp, const char *) {
        KnownHost host;
        orvCopy(host.mac, sizeof host.mac, szMac);
        orvCopy(host.ip, sizeof host.ip, szIp);
        host.hasAddr = parseIpv4(szIp, &host.addr);
        hosts.push_back(host);
    });
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
 * "reason"} (members in name order). */
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
    Webvard::AppendString(out, host.ip, strlen(host.ip));
    out += ",\"mac\":";
    Webvard::AppendString(out, host.mac, strlen(host.mac));
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

/* A current lease by its address. */
struct LeaseAt {
    uint32_t addr;
    const KnownHost *lease;
};

/* What the reservations are checked against besides the subnets, each read
 * once: the current leases by address (of one address the lease read last
 * first), and the first reservation of each MAC address. */
struct ClashIndex {
    std::vector<LeaseAt> leases;
    std::unordered_map<std::string, size_t> firstOfMac;
};

static void indexLeases(ClashIndex &clash, const std::vector<KnownHost> &leases)
{
    for (size_t i = leases.size(); i-- > 0;) {
        if (leases[i].hasAddr)
            clash.leases.push_back({leases[i].addr, &leases[i]});
    }
    std::stable_sort(clash.leases.begin(), clash.leases.end(),
                     [](const LeaseAt &a, const LeaseAt &b) { return a.addr < b.addr; });
}

/* Another client's current lease on the address, and an earlier reservation
 * of the same MAC address. */
static void warnClash(Warnings &warnings, size_t index, const KnownHost &host, ClashIndex &clash)
{
    const std::string key = macKey(host.mac);
    auto at = std::lower_bound(clash.leases.begin(), clash.leases.end(), host.addr,
                               [](const LeaseAt &l, uint32_t addr) { return l.addr < addr; });
    for (; at != clash.leases.end() && at->addr == host.addr; ++at) {
        if (macKey(at->lease->mac) != key) {
            warn(warnings, index, host,
                 "leased right now to another client (" + std::string(at->lease->mac) + ")");
            break;
        }
    }
    auto first = clash.firstOfMac.emplace(key, index);
    if (!first.second)
        warn(warnings, index, host,
             "same MAC address as reservation " + std::to_string(first.first->second + 1));
}

bool checkReservations(DhcpHandler &, Json::Value &answer)
{
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
    indexLeases(clash, leases);
    Warnings warnings;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (!hosts[i].hasAddr)
            continue; /* the save refuses such an address */
        warnPlace(warnings, i, hosts[i], subnets);
        warnClash(warnings, i, hosts[i], clash);
    }
    warnings.text.tail() += warnings.any ? "]" : "[]";
    answer["warnings"] = Webvard::Verbatim(std::move(warnings.text));
    return true;
}
