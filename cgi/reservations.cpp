/*
 * orvath: the static reservations ("staticData" of "applydata", "loadStatic").
 */
#include <vector>

#include "host_list.h"
#include "orvath.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"

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

/* One line of the reservation list as an entry of "staticData"; a line that
 * cannot be split is left out. */
static bool reservationEntry(const char *line, Json::Value &entry)
{
    char szMac[QUOMO_IP_LEN] = "";
    char szIp[QUOMO_IP_LEN] = "";
    char szHostname[QUOMO_HOSTNAME_LEN] = "";
    if (readStaticConf(szMac, szIp, szHostname, line) <= 0)
        return false;
    putHost(entry, szMac, szIp, szHostname);
    return true;
}

bool loadStaticSettings(DhcpHandler &, Json::Value &answer)
{
    char szList[QUOMO_PATH_LEN];
    bool listed = orvPath(szList, sizeof szList, QUOMO_STATIC_LIST) &&
                  listFileLines(szList, answer, "staticData", reservationEntry);
    if (!listed)
        ORV_LOG("Can not open DHCP static file");
    return listed;
}
