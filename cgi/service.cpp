/*
 * orvath: the service as the page shows it (see service.h).
 */
#include "service.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "validate.h"
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
    char szConf[QUOMO_PATH_LEN];
    DhcpServerConf ap = {};
    if (!orvPath(szConf, sizeof szConf, "/etc/dhcpd/dhcpd-lbr0-lbr0.conf") ||
        access(szConf, R_OK) != 0 || !QUOMODHCPGetDhcpServerConf("lbr0", "lbr0", &ap))
        return Json::Value(Json::nullValue);
    return Json::Value(std::string(ap.szGateway) + "/" + ap.szNetmask);
}

bool getServiceStatus(DhcpHandler &, Json::Value &answer)
{
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

/* ---- releasing a lease ---- */

bool releaseLease(DhcpHandler &handler, Json::Value &answer)
{
    ValidationError err;
    auto param = [&handler](const char *name) { return handler.webvard.In(name, NULL); };
    if (!validateReleaseLease(param, err)) {
        ORV_LOG("Invalid parameter %s", err.where.c_str());
        answer["error"] = err.text();
        return false;
    }
    char szReason[QUOMO_REASON_LEN];
    int result = QUOMODHCPReleaseLease(param("iftype"), param("mac"), param("ip"), szReason,
                                       sizeof szReason);
    answer["released"] = result == 0;
    if (result != 0)
        answer["releaseError"] = szReason;
    return result == 0;
}

/* ---- the interfaces' own addresses ---- */

/* "a.b.c.d/prefix" with a valid address and a prefix of 0 to 32. */
static bool isAddressWithPrefix(const std::string &text)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos || slash + 1 >= text.size() || text.size() - slash > 3)
        return false;
    std::string prefix = text.substr(slash + 1);
    if (prefix.find_first_not_of("0123456789") != std::string::npos || atoi(prefix.c_str()) > 32)
        return false;
    return checkIpv4(text.substr(0, slash).c_str()) == NULL;
}

static void addressesFromFile(const char *szIfName, Json::Value &list)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, "/sys/class/net/%s/orvath_addrs", szIfName))
        return;
    FILE *fp = fopen(szPath, "r");
    if (!fp)
        return;
    char szLine[64];
    while (fgets(szLine, sizeof szLine, fp)) {
        std::string text(szLine);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        if (isAddressWithPrefix(text))
            list.append(text);
    }
    fclose(fp);
}

static int prefixLength(const struct sockaddr *mask)
{
    if (!mask)
        return 32;
    uint32_t bits = ntohl(((const struct sockaddr_in *)mask)->sin_addr.s_addr);
    int len = 0;
    while (len < 32 && (bits & (0x80000000u >> len)))
        ++len;
    return len;
}

static void addressesFromSystem(const char *szIfName, Json::Value &list)
{
    struct ifaddrs *all = NULL;
    if (getifaddrs(&all) != 0) {
        ORV_LOG("Cannot list the addresses of %s", szIfName);
        return;
    }
    for (struct ifaddrs *a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || strcmp(a->ifa_name, szIfName))
            continue;
        char szAddr[INET_ADDRSTRLEN];
        const struct in_addr &in = ((const struct sockaddr_in *)a->ifa_addr)->sin_addr;
        if (!inet_ntop(AF_INET, &in, szAddr, sizeof szAddr))
            continue;
        list.append(std::string(szAddr) + "/" + std::to_string(prefixLength(a->ifa_netmask)));
    }
    freeifaddrs(all);
}

Json::Value interfaceAddresses(const char *szIfName)
{
    Json::Value list(Json::arrayValue);
    if (orvRoot()[0])
        addressesFromFile(szIfName, list);
    else
        addressesFromSystem(szIfName, list);
    return list;
}

/* ---- the subnets' own switches ---- */

static bool rowIsPxe(const Json::Value &row)
{
    bool pxe = false;
    return memberFlag(row, "pxe", &pxe) && pxe;
}

/* "y"/"n" per ordinary row of the table. */
static std::string switchesOfTable(const Json::Value &table)
{
    std::string rows;
    for (Json::ArrayIndex i = 0; i < table.size(); ++i) {
        if (rowIsPxe(table[i]))
            continue;
        bool activated = false;
        memberFlag(table[i], "activated", &activated);
        rows += activated ? 'y' : 'n';
    }
    return rows;
}

void rememberSwitches(const char *szIfName, const Json::Value *table)
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
    if (table && table->isArray() && table->size() > 0)
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
