/*
 * orvath: the clients of an interface ("loadClientList", "releaseLease").
 */
#include <string.h>

#include <functional>
#include <vector>

#include "host_list.h"
#include "handlers.h"
#include "interfaces.h"
#include "orvath_common.h"
#include "subnet_files.h"
#include "validate.h"

/* The client list's records through toEntry, which returns false to leave
 * one out; the entries go into the answer member listName and their number
 * into "itemCount". 1 listed, 0 the log cannot be read, -1 busy (see
 * QUOMODHCPListClients). */
typedef std::function<bool(const QuomoClient &, Json::Value &)> ClientEntryFn;
static int listClients(Json::Value &answer, const char *listName, const char *szIfName,
                       const ClientEntryFn &toEntry)
{
    struct Context {
        const ClientEntryFn &toEntry;
        Json::Value entries;
    } context{toEntry, Json::Value(Json::arrayValue)};
    int listed = QUOMODHCPListClients(szIfName, [](const QuomoClient *client, void *pContext) {
        Context &c = *static_cast<Context *>(pContext);
        Json::Value entry(Json::objectValue);
        if (c.toEntry(*client, entry))
            c.entries.append(std::move(entry));
    }, &context);
    if (listed > 0) {
        answer["itemCount"] = Json::Value((int)context.entries.size());
        answer[listName] = std::move(context.entries);
    }
    return listed;
}

int readCurrentLeases(std::vector<KnownHost> &leases)
{
    Json::Value unused;
    return listClients(unused, "leases", NULL, [&leases](const QuomoClient &c, Json::Value &) {
        if (!c.szIfName[0] || strcmp(c.szExpire, "expired") == 0)
            return false;
        KnownHost host;
        host.mac = c.szMac;
        host.ip = c.szIp;
        host.hasAddr = parseIpv4(c.szIp, &host.addr);
        leases.push_back(std::move(host));
        return false;
    });
}

bool readAddressList(int (*read)(uint32_t *, int), AddressList &list)
{
    /* Room for a large network's list, left unwritten until used; the file
     * is read a second time only when it holds more. */
    int room = 16384;
    list.addrs.reset(new uint32_t[room]);
    int count = read(list.addrs.get(), room);
    if (count > room) {
        room = count;
        list.addrs.reset(new uint32_t[room]);
        count = read(list.addrs.get(), room);
    }
    list.count = count > 0 && count <= room ? (size_t)count : 0;
    return count >= 0;
}

/* The name the interface's DNS answers for the client: "<host>.<domain>"
 * with the domain of the subnet its address lies in, "<host>" where that
 * has none; "" without a host name, or with no DNS served (pSubnets NULL). */
static std::string dnsNameOf(const std::vector<ListedSubnet> *pSubnets, const char *szIp, const char *szHost)
{
    uint32_t addr, start, mask;
    if (!pSubnets || !szHost[0] || !parseIpv4(szIp, &addr))
        return "";
    for (const ListedSubnet &s : *pSubnets) {
        if (!s.pxe && parseIpv4(s.conf.szStartIp, &start) && parseIpv4(s.conf.szNetmask, &mask) &&
            (addr & mask) == (start & mask))
            return s.conf.szDomain[0] ? std::string(szHost) + "." + s.conf.szDomain : szHost;
    }
    return szHost;
}

/* The interface's DHCPv6 leases: those inside one of its prefixes, as
 * dnsmasq's lease file names no interface. */
static bool listClients6(Json::Value &answer, const char *szIfName)
{
    struct Context {
        std::vector<std::string> addresses;
        Json::Value entries;
    } context{interfaceAddresses6(szIfName), Json::Value(Json::arrayValue)};
    int listed = QUOMODHCPListClients6([](const QuomoClient6 *c, void *pContext) {
        Context &ctx = *static_cast<Context *>(pContext);
        if (!insideIpv6Prefixes(c->szIp, ctx.addresses))
            return;
        Json::Value entry(Json::objectValue);
        entry["ip"] = c->szIp;
        entry["duid"] = c->szDuid;
        entry["iaid"] = Json::Value((Json::UInt)c->iaid);
        entry["hostname"] = c->szHostname;
        if (c->szMac[0])
            entry["mac"] = c->szMac;
        entry["expire"] = c->szExpire;
        ctx.entries.append(std::move(entry));
    }, &context);
    answer["clientList6"] = std::move(context.entries);
    return listed == 1;
}

bool loadClientList(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(ctx, szIfName))
        return false;

    QuomoVendors *pVendors = QUOMODHCPVendorsOpen();
    QuomoFirstSeen *pSeen = QUOMODHCPFirstSeenLoad();
    /* In the DNS-only mode another server answers names. */
    std::vector<ListedSubnet> subnets;
    const std::vector<ListedSubnet> *pSubnets =
        !QUOMODHCPDnsOnly() && readInterfaceSubnets(szIfName, subnets) ? &subnets : NULL;
    /* Those of other interfaces are left out. The list is written as the
     * answer's text, members in name order as the writer puts them:
     * thousands of entries are no value each. */
    struct Context {
        const char *szIfName;
        const QuomoVendors *pVendors;
        const QuomoFirstSeen *pSeen;
        const std::vector<ListedSubnet> *pSubnets;
        JsonPieces list;
        int count;
    } c{szIfName, pVendors, pSeen, pSubnets, JsonPieces(), 0};
    c.list.tail() += '[';
    int listed = QUOMODHCPListClients(szIfName, [](const QuomoClient *client, void *pContext) {
        Context &c = *static_cast<Context *>(pContext);
        if (strcmp(client->szIfName, c.szIfName) != 0)
            return;
        std::string &out = c.list.tail();
        const std::string dns = dnsNameOf(c.pSubnets, client->szIp, client->szHostname);
        out += c.count++ ? ",{\"dnsName\":" : "{\"dnsName\":";
        Webvard::AppendString(out, dns.data(), dns.size());
        out += ",\"expire\":";
        Webvard::AppendString(out, client->szExpire, strlen(client->szExpire));
        out += ",\"firstSeen\":" + std::to_string((long long)QUOMODHCPFirstSeenOf(c.pSeen, client->szMac));
        out += ",\"hostname\":";
        Webvard::AppendString(out, client->szHostname, strlen(client->szHostname));
        out += ",\"ip\":";
        Webvard::AppendString(out, client->szIp, strlen(client->szIp));
        out += ",\"mac\":";
        Webvard::AppendString(out, client->szMac, strlen(client->szMac));
        char szVendor[QUOMO_VENDOR_LEN];
        int found = QUOMODHCPVendorOf(c.pVendors, client->szMac, szVendor, sizeof szVendor);
        out += found == 2 ? ",\"randomMac\":true,\"vendor\":" : ",\"randomMac\":false,\"vendor\":";
        const char *vendor = found == 1 ? szVendor : "";
        Webvard::AppendString(out, vendor, strlen(vendor));
        out += '}';
    }, &c);
    if (listed > 0) {
        c.list.tail() += ']';
        answer["itemCount"] = Json::Value(c.count);
        answer["clientList"] = Webvard::Verbatim(std::move(c.list));
    }
    QUOMODHCPFirstSeenFree(pSeen);
    QUOMODHCPVendorsClose(pVendors);
    if (listed < 0)
        answer["error"] = "busy: another process is writing the lease log";
    return listed > 0 && listClients6(answer, szIfName);
}

bool releaseLease(RequestContext &ctx)
{
    const ReleaseRequest &request = ctx.as<ReleaseRequest>();
    Json::Value &answer = ctx.answer;
    char szReason[QUOMO_REASON_LEN];
    int result = QUOMODHCPReleaseLease(request.ifName.c_str(), request.mac.c_str(),
                                       request.ip.c_str(), szReason, sizeof szReason);
    answer["released"] = result == 0;
    if (result != 0)
        answer["releaseError"] = szReason;
    return result == 0;
}

