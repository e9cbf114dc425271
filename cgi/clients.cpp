/*
 * orvath: the clients of an interface ("loadClientList", "releaseLease").
 */
#include <string.h>

#include <functional>
#include <vector>

#include "host_list.h"
#include "orvath.h"
#include "orvath_common.h"

/* The client list's records through fn, in log order (see
 * QUOMODHCPListClients): 1 listed, 0 the log cannot be read, -1 busy. */
typedef std::function<void(const QuomoClient &)> ClientFn;
static int visitClients(const char *szIfName, const ClientFn &fn)
{
    return QUOMODHCPListClients(
        szIfName,
        [](const QuomoClient *client, void *pContext) {
            (*static_cast<const ClientFn *>(pContext))(*client);
        },
        const_cast<ClientFn *>(&fn));
}

int readCurrentLeases(std::vector<KnownHost> &leases)
{
    return visitClients(NULL, [&leases](const QuomoClient &c) {
        if (!c.szIfName[0] || strcmp(c.szExpire, "expired") == 0)
            return;
        KnownHost host;
        orvCopy(host.mac, sizeof host.mac, c.szMac);
        orvCopy(host.ip, sizeof host.ip, c.szIp);
        host.hasAddr = parseIpv4(c.szIp, &host.addr);
        leases.push_back(host);
    });
}

bool readLeasedAddresses(std::vector<uint32_t> &addrs)
{
    /* Room for a lease file of some size at once; a larger one is asked
     * again. */
    addrs.resize(4096);
    int count = QUOMODHCPCurrentLeaseAddresses(addrs.data(), (int)addrs.size());
    if (count > (int)addrs.size()) {
        addrs.resize((size_t)count);
        count = QUOMODHCPCurrentLeaseAddresses(addrs.data(), count);
    }
    addrs.resize(count > 0 && (size_t)count <= addrs.size() ? (size_t)count : 0);
    return count >= 0;
}

bool loadClientList(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(handler, szIfName))
        return false;

    /* Those of other interfaces are left out. */
    JsonPieces list;
    list.tail() += '[';
    int count = 0;
    int listed = visitClients(szIfName, [&](const QuomoClient &c) {
        if (strcmp(c.szIfName, szIfName) != 0)
            return;
        std::string &out = list.tail();
        out += count++ ? ",{\"expire\":" : "{\"expire\":";
        Webvard::AppendString(out, c.szExpire, strlen(c.szExpire));
        out += ',';
        appendHostMembers(out, c.szMac, c.szIp, c.szHostname);
        out += '}';
    });
    if (listed > 0) {
        list.tail() += ']';
        answer["itemCount"] = Json::Value(count);
        answer["clientList"] = Webvard::Verbatim(std::move(list));
    }
    if (listed < 0)
        answer["error"] = "busy: another process is writing the lease log";
    return listed > 0;
}

bool releaseLease(DhcpHandler &handler, Json::Value &answer)
{
    ReleaseRequest request;
    readReleaseRequest(requestParams(handler), request);
    ValidationError err;
    if (!validateReleaseLease(request, err))
        return refuseRequest(answer, err);
    char szReason[QUOMO_REASON_LEN];
    int result = QUOMODHCPReleaseLease(request.ifName.c_str(), request.mac.c_str(),
                                       request.ip.c_str(), szReason, sizeof szReason);
    answer["released"] = result == 0;
    if (result != 0)
        answer["releaseError"] = szReason;
    return result == 0;
}

