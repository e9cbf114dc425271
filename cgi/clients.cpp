/*
 * orvath: the clients of an interface ("loadClientList", "releaseLease").
 */
#include <string.h>

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

bool loadClientList(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(handler, szIfName))
        return false;

    char szLog[QUOMO_PATH_LEN];
    bool havePath = chooseLeaseLog(szLog, sizeof szLog);
    QUOMODHCPRefreshLeaseLog();
    /* Read once for the whole list; NULL leaves every expiry text empty. */
    QuomoReserved *pReserved = QUOMODHCPReservedLoad();

    /* One record of the log as an entry of "clientList"; those of other
     * interfaces are left out. A record that cannot be read leaves the
     * buffers empty, so it names no interface and is left out too; one whose
     * expiry text could not be formed (the reservation list unreadable) is
     * still listed. */
    auto clientEntry = [&szIfName, pReserved](const char *line, Json::Value &entry) {
        char szMac[QUOMO_IP_LEN] = "";
        char szIp[QUOMO_IP_LEN] = "";
        char szHostname[QUOMO_HOSTNAME_LEN] = "";
        char szExpire[QUOMO_EXPIRE_LEN] = "";
        char szLeaseIf[QUOMO_IFNAME_LEN] = "";
        readClientListWith(pReserved, szMac, szIp, szHostname, szExpire, szLeaseIf, line);
        if (strcmp(szLeaseIf, szIfName) != 0)
            return false;
        putHost(entry, szMac, szIp, szHostname);
        entry[Json::StaticString("expire")] = szExpire;
        return true;
    };
    bool listed = havePath && listFileLines(szLog, answer, "clientList", clientEntry);
    QUOMODHCPReservedFree(pReserved);
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

