/*
 * orvath: the clients of an interface ("loadClientList", "releaseLease").
 */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <functional>
#include <vector>

#include "host_list.h"
#include "orvath.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"

/* Values read from key/value files. */
enum { kValueLen = 1024 };

/* The lease log to list: the package's own while the appliance's DHCP
 * settings file says enable="no", otherwise the appliance's. */
static bool chooseLeaseLog(char *szPath, size_t cbPath)
{
    char szInfo[QUOMO_PATH_LEN];
    char szEnable[kValueLen] = "";
    bool packageLog = orvPath(szInfo, sizeof szInfo, QUOMO_APPLIANCE_INFO) &&
                      VORLCFileGetKeyValue(szInfo, "enable", szEnable, sizeof szEnable, 0) > 0 &&
                      strcmp(szEnable, "no") == 0;
    if (packageLog)
        return orvPath(szPath, cbPath, QUOMO_LEASE_LOG_PATH);
    return orvPath(szPath, cbPath, QUOMO_APPLIANCE_LEASE_LOG);
}

/* The fields of one lease record, as the client list reads them. */
struct LeaseFields {
    char szMac[QUOMO_IP_LEN];
    char szIp[QUOMO_IP_LEN];
    char szHostname[QUOMO_HOSTNAME_LEN];
    char szExpire[QUOMO_EXPIRE_LEN];
    char szIfName[QUOMO_IFNAME_LEN];
};
typedef std::function<bool(const LeaseFields &, Json::Value &)> LeaseEntryFn;

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/* The line's last blank-separated field is szIfName: where a record names
 * its interface. Lets a listing of one interface skip the others' records
 * without reading them. */
static bool lastFieldIs(const char *line, const char *szIfName)
{
    size_t end = strlen(line);
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    size_t len = strlen(szIfName);
    return end > len && isBlank(line[end - len - 1]) && memcmp(line + end - len, szIfName, len) == 0;
}

/* Brings the package's log up to date and lists the chosen log through
 * toEntry (listFileLines); with szIfName, only the records that name that
 * interface. A record that cannot be read leaves the fields empty, so it
 * names no interface; one whose expiry text could not be formed (the
 * reservation list unreadable) has an empty one. */
static bool listLeaseLog(Json::Value &answer, const char *listName, const char *szIfName,
                         const LeaseEntryFn &toEntry)
{
    char szLog[QUOMO_PATH_LEN];
    bool havePath = chooseLeaseLog(szLog, sizeof szLog);
    QUOMODHCPRefreshLeaseLog();
    /* Read once for the whole log; NULL leaves every expiry text empty. */
    QuomoReserved *pReserved = QUOMODHCPReservedLoad();
    auto readRecord = [pReserved, szIfName, &toEntry](const char *line, Json::Value &entry) {
        if (szIfName && !lastFieldIs(line, szIfName))
            return false;
        LeaseFields f;
        f.szMac[0] = f.szIp[0] = f.szHostname[0] = f.szExpire[0] = f.szIfName[0] = '\0';
        readClientListWith(pReserved, f.szMac, f.szIp, f.szHostname, f.szExpire, f.szIfName, line);
        return toEntry(f, entry);
    };
    bool listed = havePath && listFileLines(szLog, answer, listName, readRecord);
    QUOMODHCPReservedFree(pReserved);
    return listed;
}

bool readCurrentLeases(std::vector<KnownHost> &leases)
{
    Json::Value unused;
    return listLeaseLog(unused, "leases", NULL, [&leases](const LeaseFields &f, Json::Value &) {
        if (!f.szIfName[0] || strcmp(f.szExpire, "expired") == 0)
            return false;
        KnownHost host;
        host.mac = f.szMac;
        host.ip = f.szIp;
        host.hasAddr = parseIpv4(f.szIp, &host.addr);
        leases.push_back(std::move(host));
        return false;
    });
}

bool readLeasedAddresses(const char *szIfName, std::vector<uint32_t> &addrs)
{
    char szLog[QUOMO_PATH_LEN];
    if (!chooseLeaseLog(szLog, sizeof szLog))
        return false;
    const unsigned long now = (unsigned long)orvNow();
    Json::Value unused;
    return listFileLines(szLog, unused, "leases", [szIfName, now, &addrs](const char *line, Json::Value &) {
        unsigned long expiry;
        char szIp[QUOMO_IP_LEN];
        uint32_t addr;
        /* "<expiry> <MAC> <IP> [<host name>] <interface>" */
        if (isdigit((unsigned char)line[0]) && lastFieldIs(line, szIfName) &&
            sscanf(line, "%lu %*s %19s", &expiry, szIp) == 2 &&
            expiry > now && parseIpv4(szIp, &addr))
            addrs.push_back(addr);
        return false;
    });
}

bool loadClientList(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(handler, szIfName))
        return false;

    /* Those of other interfaces are left out. */
    bool listed = listLeaseLog(answer, "clientList", szIfName, [&szIfName](const LeaseFields &f, Json::Value &entry) {
        if (strcmp(f.szIfName, szIfName) != 0)
            return false;
        putHost(entry, f.szMac, f.szIp, f.szHostname);
        entry[Json::StaticString("expire")] = f.szExpire;
        return true;
    });
    if (!listed)
        ORV_LOG("Can not open DHCP lease file");
    return listed;
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

