/*
 * orvath: global settings and the subnet table of an interface ("applydata",
 * "loadGlobal", "disableServer", "getIfData"). "applydata" works from its
 * typed request alone and goes straight to the library.
 */
#include <limits.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "handlers.h"
#include "host_list.h"
#include "interfaces.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "subnet_files.h"
#include "validate.h"

/* ------------------------------------------------------------------------ */
/* Global settings                                                           */
/* ------------------------------------------------------------------------ */

/* A text field takes a given text, cut to its width. */
template <size_t N> static void copyGiven(char (&field)[N], const Text &text)
{
    if (text)
        orvCopy(field, N, text->c_str());
}

/* The global members of "dataArray" as a record; members that are absent,
 * null or of another type than expected leave their field zero. */
static DhcpServerConf globalRecord(const GlobalSettings &settings)
{
    DhcpServerConf conf = DhcpServerConf();
    if (!settings.given)
        return conf; /* absent or not JSON: logged by the reader */
    if (!settings.isObject) {
        ORV_LOG("Global settings are not an object; nothing applied");
        return conf;
    }
    if (settings.hasEnable)
        conf.isEnabled = settings.enable ? 1 : 0;
    copyGiven(conf.szPrimaryDns, settings.primaryDns);
    copyGiven(conf.szSecondaryDns, settings.secondaryDns);
    if (settings.hasLeaseTime)
        conf.leaseTime = settings.leaseSeconds;
    copyGiven(conf.szDomain, settings.domain);
    copyGiven(conf.szIfName, settings.ifName);
    return conf;
}

/* ---- the subnets' own switches while an interface's service is off ---- */

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

/* Switching an interface's service off keeps which subnets were switched on:
 * the ordinary rows of the table when it is given (else the settings files),
 * and the PXE subnet. */
static void rememberSwitches(const char *szIfName, const std::vector<SubnetRow> *table)
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

/* Switching it on forgets them. */
static void forgetSwitches(const char *szIfName)
{
    if (szIfName && szIfName[0])
        QUOMODHCPForgetSwitches(szIfName);
}

/* Gives each row of a "subnetList" its own switch, "rowActive": while the
 * service is off, the kept one; otherwise the same as "activated". */
static void putRowSwitches(const char *szIfName, Json::Value &subnets)
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

bool loadGlobalSettings(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(ctx, szIfName); /* an empty name finds no file */

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

bool disableServerConfigs(RequestContext &ctx)
{
    char szIfName[QUOMO_IFNAME_LEN];
    orvCopy(szIfName, sizeof szIfName, ctx.as<DisableRequest>().ifName.c_str()); /* checked: it fits */
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

/* The address shares a subnet with the access point's router, under the
 * row's netmask or under the access point's own (an address that cannot be
 * compared, or an access point whose settings cannot be read, counts). */
static bool touchesAccessPoint(const Text &ip, const Text &netmask)
{
    return isSameApSubnet(ip ? ip->c_str() : "", netmask ? netmask->c_str() : "") != 0;
}

/* The first row that touches the access point's subnet; -1 when none. */
static int rowTouchingAccessPoint(const std::vector<SubnetRow> &rows)
{
    for (size_t i = 0; i < rows.size(); ++i) {
        const SubnetRow &row = rows[i];
        if (touchesAccessPoint(row.gateway, row.netmask) || touchesAccessPoint(row.startIp, row.netmask) ||
            touchesAccessPoint(row.endIp, row.netmask))
            return (int)i;
    }
    return -1;
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
    pxe.isEnabled = activated ? 1 : 0;
    if (!QUOMONetSetDhcpPXEServerConfigFiles(&pxe, pxe.isEnabled)) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
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
    if (!orvFormat(conf.szTag, sizeof conf.szTag, QUOMO_ORDINARY_TAG_FORMAT, global.szIfName, n)) {
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

/* The subnet table: false (nothing written) when it is missing, unusable or
 * touches the access point's subnet (*pApRow, its first such row); false
 * also when a row, the DNS-only pair or the removal of stale subnets failed
 * (the first failed write in orvFailure). */
static bool applySubnetTable(const ApplyDataRequest &request, const DhcpServerConf &global,
                             int *pApRow)
{
    *pApRow = -1;
    if (!request.tableGiven)
        return false; /* absent or not JSON: logged by the reader */
    if (!request.tableUsable) {
        ORV_LOG("Subnet table is not an array of rows with four addresses");
        return false;
    }
    if ((*pApRow = rowTouchingAccessPoint(request.rows)) >= 0)
        return false;
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
    if (!QUOMODHCPSetDhcpServerSubnets(subnets.data(), (int)subnets.size())) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    if (!ok)
        return false;
    /* The DNS-only pair follows the name server, not the rows: once is
     * enough. */
    if (!subnets.empty() && !QUOMODHCPDecideDisableDNS())
        return false;
    return removeStaleSubnets(global.szIfName, (int)subnets.size());
}

/* "staticData": a missing document, or one that is an object, changes
 * nothing; an array replaces the stored set, a scalar clears it. A member
 * that is missing or not text goes on as absent; the store refuses the
 * entry and writes no line for it. */
static bool applyReservations(const ApplyDataRequest &request)
{
    if (request.setAction == kSetKept)
        return true;
    std::vector<QuomoStaticHost> hosts, hosts6;
    hosts.reserve(request.set.size());
    for (const Reservation &host : request.set) {
        hosts.push_back({textOrNull(host.mac), textOrNull(host.ip), textOrNull(host.hostname)});
        /* Only what the IPv4 list keeps gets its IPv6 address. */
        if (host.mac && host.ip && host.hostname && host.ipv6 && !host.ipv6->empty())
            hosts6.push_back({host.mac->c_str(), host.ipv6->c_str(), host.hostname->c_str()});
    }
    return QUOMODHCPSetStaticHosts(hosts.data(), (int)hosts.size()) == 1 &&
           QUOMODHCPSetStaticHosts6(hosts6.data(), (int)hosts6.size()) == 1;
}

/* How full a row's range is: its addresses, the current dynamic leases of
 * the interface inside it (those at a reservation's address are the
 * reserved clients') and the reservations inside it. Both lists are sorted.
 * A range that cannot be read has no address. */
static void putUsage(Json::Value &entry, const DhcpServerConf &conf,
                     const AddressList &leased, const AddressList &reserved)
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

bool getInterfaceSubnets(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    char szIfName[QUOMO_IFNAME_LEN];
    readIfType(ctx, szIfName); /* an empty name finds no file */

    std::vector<ListedSubnet> rows;
    if (!readInterfaceSubnets(szIfName, rows))
        return false;
    /* Each file is read once for all the rows; one that cannot be read
     * counts nothing. */
    AddressList leased, reserved;
    if (!rows.empty()) {
        readAddressList(QUOMODHCPCurrentLeaseAddresses, leased);
        readAddressList(QUOMODHCPReservedAddresses, reserved);
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

/* "applydata": the dispatcher read its three parameters once and checked
 * every value they hold, so an invalid one wrote nothing at all. Then global
 * settings, subnet table, reservations; then, when the request switched the
 * interface off, every subnet of it goes off. A step that fails to write a
 * file fails the request: the file and the reason are the request's first
 * noted failure, which the dispatcher answers as "error". */
/* The names each interface's DNS answers follow its subnets and the
 * reservations, which serve every interface. */
static bool refreshNames(void)
{
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    char names[kMaxInterfaces][QUOMO_IFNAME_LEN];
    const char *served[kMaxInterfaces];
    int nServed = 0;
    for (int i = 0; i < count; ++i) {
        interfaceName(ifs[i], names[i]);
        if (strcmp(names[i], QUOMO_AP_IFNAME) != 0 && isSystemInterface(names[i]))
            served[nServed++] = names[i];
    }
    return QUOMODHCPSetNamesOf(served, nServed) == 1;
}

bool applyData(RequestContext &ctx)
{
    const ApplyDataRequest &request = ctx.as<ApplyDataRequest>();
    const DhcpServerConf global = globalRecord(request.settings);
    int apRow = -1;
    bool subnetsOk = applySubnetTable(request, global, &apRow);
    ctx.answer["isSameApSubnet"] = !subnetsOk;
    if (apRow >= 0) {
        ctx.answer["errorKind"] = "apSubnet";
        ctx.answer["errorAt"] = "subnetData[" + std::to_string(apRow) + "]";
    }
    /* A table that is not applied (it touches the access point's subnet or
     * cannot be used) fails its step without a reason and is answered
     * through "isSameApSubnet" alone, as specified. The subnet step is the
     * first that writes, so a failure noted now is its own. */
    bool subnetsWritten = subnetsOk || !orvFailure()[0];
    bool ok = applyReservations(request) && subnetsWritten;
    if (global.isEnabled == 1)
        forgetSwitches(global.szIfName);
    if (global.isEnabled == 0) {
        rememberSwitches(global.szIfName, subnetsOk ? &request.rows : NULL);
        /* 1: settings files switched off; -1: no interface name. Both keep
         * the result; 0 (nothing found to switch off) fails it. */
        int disabled = disableDHCPServer(global.szIfName);
        ok = ok && (disabled == 1 || disabled == -1);
    }
    return refreshNames() && ok;
}
