/*
 * orvath: the static reservations ("staticData" of "applydata", "loadStatic").
 */
#include <vector>

#include "host_list.h"
#include "json_members.h"
#include "orvath.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"

bool applyStaticSettings(const Json::Value *document)
{
    /* Absent or not JSON (logged by the parser): the stored set stays. An
     * array replaces it; a scalar has no elements and clears it; an object is
     * no set of reservations at all and changes nothing. */
    if (!document)
        return true;
    const Json::Value &set = *document;
    if (set.isObject()) {
        ORV_LOG("Error: parsing error, reason = %s", "reservations are an object, not an array");
        return true;
    }
    /* A member that is missing or not text goes on as absent; the store
     * refuses the entry and writes no line for it. */
    std::vector<QuomoStaticHost> hosts;
    if (set.isArray()) {
        for (Json::ArrayIndex i = 0; i < set.size(); ++i) {
            const Json::Value &entry = set[i];
            hosts.push_back({memberText(entry, "mac"), memberText(entry, "ip"),
                             memberText(entry, "hostname")});
        }
    }
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
