/*
 * orvath: global settings and the subnet table of an interface ("applydata",
 * "loadGlobal", "disableServer", "getIfData").
 */
#include <limits.h>

#include <algorithm>
#include <vector>

#include "host_list.h"
#include "orvath.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "service.h"
#include "subnet_files.h"

/* ------------------------------------------------------------------------ */
/* Global settings                                                           */
/* ------------------------------------------------------------------------ */

/* A text field takes a given text, cut to its width. */
template <size_t N> static void copyGiven(char (&field)[N], const Text &text)
{
    if (text)
        orvCopy(field, N, text->c_str());
}

/* Applies the global members of "dataArray" to the record; members that are
 * absent, null or of another type than expected leave their field alone. */
bool parseGlobalSettings(DhcpHandler &handler, const ApplyDataRequest &request)
{
    const GlobalSettings &settings = request.settings;
    if (!settings.given)
        return true; /* absent or not JSON: logged by the parser */
    if (!settings.isObject) {
        ORV_LOG("Global settings are not an object; nothing applied");
        return true;
    }
    DhcpServerConf &conf = handler.globalConf;
    if (settings.hasEnable)
        conf.isEnabled = settings.enable ? 1 : 0;
    copyGiven(conf.szPrimaryDns, settings.primaryDns);
    copyGiven(conf.szSecondaryDns, settings.secondaryDns);
    if (settings.hasLeaseTime)
        conf.leaseTime = settings.leaseSeconds;
    copyGiven(conf.szDomain, settings.domain);
    copyGiven(conf.szIfName, settings.ifName);
    return true;
}

bool loadGlobalSettings(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(handler, szIfName); /* an empty name finds no file */

    DhcpServerConf conf = {};
    char szTag[QUOMO_TAG_LEN];
    bool read = ordinaryTag(szTag, szIfName, 0) &&
                QUOMODHCPGetDhcpServerConf(szTag, szIfName, &conf) != 0;
    /* An interface whose only subnet is the PXE subnet keeps its global
     * settings there; its settings file has the same form. */
    if (!read)
        read = QUOMODHCPGetDhcpServerConf(QUOMO_PXE_TAG, szIfName, &conf) != 0;
    if (!read) {
        ORV_LOG("Cannot read Global setting on %s%d or %s", szIfName, 0, QUOMO_PXE_TAG);
        return false;
    }

    answer["enable"] = isDHCPDActivate(szIfName) == 0;
    answer["leasetime"] = Json::Value(conf.leaseTime / 60);
    answer["pdns"] = conf.szPrimaryDns;
    answer["sdns"] = conf.szSecondaryDns;
    answer["domain"] = conf.szDomain;
    return true;
}

bool disableServerConfigs(DhcpHandler &handler, Json::Value &answer)
{
    const std::string ifName = readDisableServer(requestParams(handler));
    ValidationError err;
    if (!validateInterfaceParam("iftype", ifName.c_str(), err))
        return refuseRequest(answer, err);
    char szIfName[QUOMO_IFNAME_LEN];
    orvCopy(szIfName, sizeof szIfName, ifName.c_str()); /* checked: it fits */
    if (!szIfName[0])
        ORV_LOG("WRONG interface name!"); /* an empty name finds no file */
    rememberSwitches(szIfName, NULL);

    char szTag[QUOMO_TAG_LEN];
    for (int n = 0; n < INT_MAX && ordinarySubnetReadable(szTag, szIfName, n); ++n) {
        DhcpServerConf conf = {};
        if (!readSubnet(szIfName, szTag, conf))
            return false;
        if (!QUOMODHCPSetDhcpServerConfigFiles(&conf, 0))
            return false;
    }

    if (!subnetFileReadable(szIfName, QUOMO_PXE_TAG, "conf"))
        return true;
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(szIfName, pxe))
        return false;
    if (pxe.isEnabled == 1 && !QUOMODHCPSetPxeEnable(0))
        return false;
    return QUOMONetSetDhcpPXEServerConfigFiles(&pxe, 0) != 0;
}

/* ------------------------------------------------------------------------ */
/* Subnet table                                                              */
/* ------------------------------------------------------------------------ */

bool checkApSubnets(const std::vector<SubnetRow> &rows)
{
    AccessPoint ap;
    readAccessPoint(ap);
    for (const SubnetRow &row : rows) {
        const char *mask = textOrNull(row.netmask);
        if (touchesAccessPoint(ap, textOrNull(row.gateway), mask) ||
            touchesAccessPoint(ap, textOrNull(row.startIp), mask) ||
            touchesAccessPoint(ap, textOrNull(row.endIp), mask))
            return false;
    }
    return true;
}

/* The PXE row: the stored PXE subnet takes the request's global settings and
 * the row's on/off; its range, router and boot file stay. */
static bool applyPxeRow(const DhcpServerConf &global, bool activated)
{
    DhcpPxeConf pxe = {};
    if (!QUOMONetGetDhcpPXEServerConf(QUOMO_PXE_TAG, global.szIfName, &pxe)) {
        ORV_LOG("Cannot read pxe setting on %s", global.szIfName);
        return false;
    }
    pxe.leaseTime = global.leaseTime;
    orvCopy(pxe.szPrimaryDns, sizeof pxe.szPrimaryDns, global.szPrimaryDns);
    orvCopy(pxe.szSecondaryDns, sizeof pxe.szSecondaryDns, global.szSecondaryDns);
    orvCopy(pxe.szDomain, sizeof pxe.szDomain, global.szDomain);
    return writePxeSubnet(pxe, activated);
}

/* An ordinary row as subnet n of the interface; false (logged) when its tag
 * does not fit. */
static bool ordinaryRowSubnet(const DhcpServerConf &global, const SubnetRow &row, int n,
                              DhcpServerConf &conf)
{
    conf = DhcpServerConf();
    conf.isEnabled = row.activated ? 1 : 0;
    conf.leaseTime = global.leaseTime;
    orvCopy(conf.szStartIp, sizeof conf.szStartIp, textOrNull(row.startIp));
    orvCopy(conf.szEndIp, sizeof conf.szEndIp, textOrNull(row.endIp));
    orvCopy(conf.szIfName, sizeof conf.szIfName, global.szIfName);
    orvCopy(conf.szDomain, sizeof conf.szDomain, global.szDomain);
    orvCopy(conf.szPrimaryDns, sizeof conf.szPrimaryDns, global.szPrimaryDns);
    orvCopy(conf.szSecondaryDns, sizeof conf.szSecondaryDns, global.szSecondaryDns);
    orvCopy(conf.szNetmask, sizeof conf.szNetmask, textOrNull(row.netmask));
    orvCopy(conf.szGateway, sizeof conf.szGateway, textOrNull(row.gateway));
    if (!ordinaryTag(conf.szTag, global.szIfName, n)) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
}

/* Removes the subnets of the interface from firstIndex on: they go last, each
 * switched off before its fragment goes. An unnamed interface has none. */
static bool removeStaleSubnets(const char *szIfName, int firstIndex)
{
    if (!szIfName[0])
        return true;
    return removeUnusedInfo(szIfName, firstIndex) == 0 &&
           removeUnusedConf(szIfName, firstIndex) == 0;
}

bool applySubnetSettings(DhcpHandler &handler, const ApplyDataRequest &request)
{
    if (!request.tableGiven)
        return false; /* absent or not JSON: logged by the parser */
    if (!request.tableUsable) {
        ORV_LOG("Subnet table is not an array of rows with four addresses");
        return false;
    }
    if (!checkApSubnets(request.rows))
        return false;

    const DhcpServerConf &global = handler.globalConf;
    /* Ordinary rows are numbered afresh from 0 and written together, so the
     * table changes at once. */
    std::vector<DhcpServerConf> subnets;
    bool ok = true;
    for (size_t i = 0; ok && i < request.rows.size(); ++i) {
        const SubnetRow &row = request.rows[i];
        if (row.pxe) {
            ok = applyPxeRow(global, row.activated);
            continue;
        }
        subnets.emplace_back();
        ok = ordinaryRowSubnet(global, row, (int)subnets.size() - 1, subnets.back());
        if (!ok)
            subnets.pop_back();
    }
    /* The rows before one that failed are still written; nothing is removed. */
    if (!writeOrdinarySubnets(subnets) || !ok)
        return false;
    /* The DNS-only pair follows the name server, not the rows: once is
     * enough. */
    if (!subnets.empty() && !QUOMODHCPDecideDisableDNS())
        return false;
    return removeStaleSubnets(global.szIfName, (int)subnets.size());
}

bool readInterfaceSubnets(const char *szIfName, std::vector<ListedSubnet> &subnets)
{
    ListedSubnet row = {};
    /* The ordinary subnets end at the first index without a readable file. */
    for (int n = 0; n < INT_MAX && ordinarySubnetReadable(row.szTag, szIfName, n); ++n) {
        if (!readSubnet(szIfName, row.szTag, row.conf))
            return false;
        subnets.push_back(row);
    }
    if (subnetFileReadable(szIfName, QUOMO_PXE_TAG, "conf")) {
        row.pxe = true;
        orvCopy(row.szTag, sizeof row.szTag, QUOMO_PXE_TAG);
        if (!readSubnet(szIfName, QUOMO_PXE_TAG, row.conf))
            return false;
        subnets.push_back(row);
    }
    return true;
}

/* How full a row's range is: its addresses, the current dynamic leases of
 * the interface inside it (those at a reservation's address are the
 * reserved clients') and the reservations inside it. Both lists are sorted.
 * A range that cannot be read has no address. */
static void putUsage(Json::Value &entry, const DhcpServerConf &conf,
                     const std::vector<uint32_t> &leased, const std::vector<uint32_t> &reserved)
{
    uint32_t first, last;
    bool range = parseIpv4(conf.szStartIp, &first) && parseIpv4(conf.szEndIp, &last) &&
                 first <= last;
    Json::UInt size = 0, dynamic = 0, reservedCount = 0;
    if (range) {
        size = (Json::UInt)(last - first) + 1;
        auto from = std::lower_bound(leased.begin(), leased.end(), first);
        auto to = std::upper_bound(leased.begin(), leased.end(), last);
        for (auto it = from; it != to; ++it)
            dynamic += !std::binary_search(reserved.begin(), reserved.end(), *it);
        reservedCount = (Json::UInt)(std::upper_bound(reserved.begin(), reserved.end(), last) -
                                     std::lower_bound(reserved.begin(), reserved.end(), first));
    }
    entry["size"] = size;
    entry["leased"] = dynamic;
    entry["reserved"] = reservedCount;
}

static Json::Value subnetEntry(const DhcpServerConf &conf, const char *szIfName,
                               const char *szTag, bool pxe)
{
    Json::Value entry(Json::objectValue);
    entry["activated"] = isIfTagEnable(szIfName, szTag) == 0;
    entry["startip"] = conf.szStartIp;
    entry["endip"] = conf.szEndIp;
    entry["netmask"] = conf.szNetmask;
    entry["gateway"] = conf.szGateway;
    entry["pxe"] = pxe;
    return entry;
}

bool getInterfaceSubnets(DhcpHandler &handler, Json::Value &answer)
{
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(handler, szIfName); /* an empty name finds no file */

    std::vector<ListedSubnet> rows;
    if (!readInterfaceSubnets(szIfName, rows))
        return false;
    /* Each file is read once for all the rows; one that cannot be read
     * counts nothing. */
    std::vector<uint32_t> leased, reserved;
    if (!rows.empty()) {
        readLeasedAddresses(leased);
        readReservedAddresses(reserved);
        std::sort(reserved.begin(), reserved.end());
    }
    Json::Value subnets(Json::arrayValue);
    unsigned count = 0;
    for (const ListedSubnet &row : rows) {
        Json::Value entry = subnetEntry(row.conf, szIfName, row.szTag, row.pxe);
        putUsage(entry, row.conf, leased, reserved);
        subnets.append(std::move(entry));
        count += !row.pxe;
    }
    putRowSwitches(szIfName, subnets);
    answer["subnetList"] = subnets;
    answer["itemCount"] = Json::Value(count);
    return true;
}

/* ------------------------------------------------------------------------ */
/* The action                                                                */
/* ------------------------------------------------------------------------ */

/* "applydata": its three parameters are read once, and every value they
 * hold is checked before any step runs, so an invalid one writes nothing at
 * all. Then global settings, subnet table, reservations; then, when the
 * request switched the interface off, every subnet of it goes off. A step
 * that fails to write a file fails the request: the file and the reason are
 * the request's first noted failure, which the dispatcher answers as
 * "error". */
bool applyData(DhcpHandler &handler, Json::Value &answer)
{
    ApplyDataRequest request;
    ValidationError err;
    if (!readApplyData(requestParams(handler), request, err) || !validateApplyData(request, err))
        return refuseRequest(answer, err);

    bool globalOk = parseGlobalSettings(handler, request);
    bool subnetsOk = applySubnetSettings(handler, request);
    answer["isSameApSubnet"] = !subnetsOk;
    /* A table that is not applied (it touches the access point's subnet or
     * cannot be used) fails its step without a reason and is answered
     * through "isSameApSubnet" alone, as specified. The subnet step is the
     * first that writes, so a failure noted now is its own. */
    bool subnetsWritten = subnetsOk || !orvFailure()[0];
    bool staticOk = applyStaticSettings(request);
    bool ok = staticOk && globalOk && subnetsWritten;
    if (handler.globalConf.isEnabled == 1)
        forgetSwitches(handler.globalConf.szIfName);
    if (handler.globalConf.isEnabled == 0) {
        rememberSwitches(handler.globalConf.szIfName, subnetsOk ? &request.rows : NULL);
        /* 1: settings files switched off; -1: no interface name. Both keep
         * the result; 0 (nothing found to switch off) fails it. */
        int disabled = disableDHCPServer(handler.globalConf.szIfName);
        ok = ok && (disabled == 1 || disabled == -1);
    }
    return ok;
}
