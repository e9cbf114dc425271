/*
 * orvath: the service as the page shows it (see service.h).
 */
#include "service_status.h"

#include "handlers.h"
#include "interfaces.h"

#include <string.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "subnet_files.h"
#include "vorl.h"

void restartService(Json::Value &answer)
{
    char szReason[QUOMO_REASON_LEN];
    int result = QUOMODHCPRestartWithOutcome(szReason, sizeof szReason);
    answer["serviceRestarted"] = result == 0;
    if (result != 0)
        answer["serviceError"] = szReason;
}

static Json::Value lastRestart()
{
    QuomoRestartOutcome outcome;
    if (!QUOMODHCPLastRestart(&outcome))
        return Json::Value(Json::nullValue);
    Json::Value last(Json::objectValue);
    last["time"] = Json::Value((Json::Int64)outcome.time);
    last["restarted"] = outcome.status == 0;
    if (outcome.status != 0)
        last["serviceError"] = outcome.szReason;
    return last;
}

/* The access point's subnet, "<gateway>/<netmask>", which no subnet may
 * touch; null when the appliance has none. */
static Json::Value apSubnet()
{
    AccessPoint ap;
    readAccessPoint(ap);
    if (ap.state != AccessPoint::kRead)
        return Json::Value(Json::nullValue);
    return Json::Value(std::string(ap.conf.szGateway) + "/" + ap.conf.szNetmask);
}

bool getServiceStatus(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    answer["running"] = QUOMODHCPServiceRunning() == 1;
    answer["dnsOnly"] = QUOMODHCPDnsOnly() == 1;
    Json::Value enabled(Json::objectValue);
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    for (int i = 0; i < count; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (szName[0] && listedInterfaceType(SDK::Network::GetIfType(szName, NULL)))
            enabled[szName] = QUOMODHCPCountEnabled(szName);
    }
    answer["enabledSubnets"] = enabled;
    answer["lastRestart"] = lastRestart();
    answer["apSubnet"] = apSubnet();
    return true;
}

/* ---- the subnets' own switches ---- */

/* "y"/"n" per ordinary row of the table. */
static std::string switchesOfTable(const std::vector<SubnetRow> &table)
{
    std::string rows;
    for (const SubnetRow &row : table) {
        if (!row.pxe)
            rows += row.activated ? 'y' : 'n';
    }
    return rows;
}

void rememberSwitches(const char *szIfName, const std::vector<SubnetRow> *table)
{
    if (!szIfName || !szIfName[0])
        return;
    char szOld[QUOMO_SWITCHES_LEN] = "";
    int oldPxe = 0;
    bool kept = QUOMODHCPReadSwitches(szIfName, szOld, sizeof szOld, &oldPxe) == 1;
    char szFiles[QUOMO_SWITCHES_LEN] = "";
    int filePxe = 0;
    QUOMODHCPSubnetSwitches(szIfName, szFiles, sizeof szFiles, &filePxe);
    std::string rows;
    if (table && !table->empty())
        rows = switchesOfTable(*table);
    else if (kept)
        rows = szOld; /* already off: the files say "n" everywhere */
    else
        rows = szFiles;
    /* The PXE subnet is switched in its own section: it keeps its state. */
    int pxe = filePxe ? 1 : (kept ? oldPxe : 0);
    if (!QUOMODHCPSaveSwitches(szIfName, rows.c_str(), pxe))
        ORV_LOG("Cannot keep the subnet switches of %s", szIfName);
}

void forgetSwitches(const char *szIfName)
{
    if (szIfName && szIfName[0])
        QUOMODHCPForgetSwitches(szIfName);
}

void putRowSwitches(const char *szIfName, Json::Value &subnets)
{
    char szRows[QUOMO_SWITCHES_LEN] = "";
    int pxe = 0;
    bool off = QUOMODHCPReadSwitches(szIfName, szRows, sizeof szRows, &pxe) == 1;
    size_t n = 0;
    for (Json::ArrayIndex i = 0; i < subnets.size(); ++i) {
        Json::Value &row = subnets[i];
        bool own = row["activated"].asBool();
        if (off)
            own = row["pxe"].asBool() ? pxe != 0 : (n < strlen(szRows) && szRows[n] == 'y');
        if (!row["pxe"].asBool())
            ++n;
        row["rowActive"] = own;
    }
}
