/*
 * orvath: the service as the page shows it (see service.h).
 */
#include "service_status.h"

#include "handlers.h"
#include "interfaces.h"

#include <stdlib.h>
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

bool askServiceRestart(RequestContext &)
{
    // No revision names who restarted the service: the log does.
    const char *user = getenv("REMOTE_USER"), *addr = getenv("REMOTE_ADDR");
    ORV_LOG("Service restart asked by %s from %s", user && *user ? user : "-",
            addr && *addr ? addr : "-");
    return true;
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
