/*
 * orvath: network boot ("loadpxesubnet", "applypxesubnet",
 * "getEnablePXEConfig"). PXE is served by one interface at a time, from its
 * subnet tagged "pxe".
 */
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "handlers.h"
#include "validate.h"
#include "interfaces.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "subnet_files.h"

/* Lease time of a new PXE subnet on an interface without ordinary subnets. */
static const int32_t kDefaultPxeLeaseTime = 36000;

/* The PXE range members: start, end, netmask, router and DNS server. */
static void putPxeRange(Json::Value &target, const DhcpPxeConf &pxe, const char *const names[5])
{
    target[names[0]] = pxe.szStartIp;
    target[names[1]] = pxe.szEndIp;
    target[names[2]] = pxe.szNetmask;
    target[names[3]] = pxe.szGateway;
    target[names[4]] = pxe.szPrimaryDns;
}

/* The boot settings beyond "pxe_bootloader", as "applypxesubnet" takes them. */
static void putPxeBoot(Json::Value &data, const DhcpPxeBoot &boot)
{
    data["pxe_bootloader_efi64"] = boot.szBootEfi64;
    data["pxe_bootloader_efi32"] = boot.szBootEfi32;
    data["pxe_bootloader_arm64"] = boot.szBootArm64;
    data["pxe_ipxe"] = boot.szIpxe;
    data["pxe_tftp_server"] = boot.szTftpServer;
    data["pxe_range_only"] = boot.rangeOnly != 0;
}

/* The request's boot settings; the checks refused any that do not fit. */
static void requestedBoot(const PxeRequest &request, DhcpPxeBoot &boot)
{
    orvCopy(boot.szBootEfi64, sizeof boot.szBootEfi64, request.bootEfi64.c_str());
    orvCopy(boot.szBootEfi32, sizeof boot.szBootEfi32, request.bootEfi32.c_str());
    orvCopy(boot.szBootArm64, sizeof boot.szBootArm64, request.bootArm64.c_str());
    orvCopy(boot.szIpxe, sizeof boot.szIpxe, request.ipxe.c_str());
    orvCopy(boot.szTftpServer, sizeof boot.szTftpServer, request.tftpServer.c_str());
    boot.rangeOnly = request.rangeOnly == "true" ? 1 : 0;
}

bool loadPxeSubnet(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    const char *szParam = ctx.param("if_name");
    char szIfName[QUOMO_IFNAME_LEN];
    orvCopy(szIfName, sizeof szIfName, szParam);
    if (!szIfName[0] || strcmp(szIfName, "--") == 0) {
        ORV_LOG("WRONG interface name!");
        return false;
    }

    Json::Value data(Json::objectValue);
    if (!subnetFileReadable(szIfName, QUOMO_PXE_TAG, "conf")) {
        /* No PXE subnet yet: the page starts from an empty form. */
        data["pxe_interface"] = szParam;
        answer["data"] = data;
        return true;
    }
    DhcpPxeConf pxe = {};
    DhcpPxeBoot boot = {};
    if (!QUOMONetGetDhcpPXEBootConf(QUOMO_PXE_TAG, szIfName, &pxe, &boot)) {
        ORV_LOG("Cannot get dhcp server config on interface:%s", szIfName);
        return false;
    }
    static const char *const kMembers[] = {"pxe_start_ip", "pxe_end_ip", "pxe_netmask",
                                           "pxe_gateway", "pxe_dns"};
    putPxeRange(data, pxe, kMembers);
    data["pxe_bootloader"] = pxe.szBootFile;
    putPxeBoot(data, boot);
    answer["data"] = data;
    return true;
}

/* Settings a new PXE subnet takes over from the interface's first ordinary
 * subnet: secondary DNS server, domain and lease time. */
static bool inheritPxeSettings(const char *szIfName, DhcpPxeConf &pxe)
{
    char szTag[QUOMO_TAG_LEN];
    if (!ordinarySubnetReadable(szTag, szIfName, 0)) {
        pxe.szSecondaryDns[0] = '\0';
        pxe.szDomain[0] = '\0';
        pxe.leaseTime = kDefaultPxeLeaseTime;
        return true;
    }
    DhcpServerConf first = {};
    if (!QUOMODHCPGetDhcpServerConf(szTag, szIfName, &first)) {
        ORV_LOG("Cannot read Global setting on %s %s", szIfName, szTag);
        return false;
    }
    orvCopy(pxe.szSecondaryDns, sizeof pxe.szSecondaryDns, first.szSecondaryDns);
    orvCopy(pxe.szDomain, sizeof pxe.szDomain, first.szDomain);
    pxe.leaseTime = first.leaseTime;
    return true;
}

/* Every ordinary subnet of the interface takes the PXE subnet's DNS server and
 * keeps its own on/off. */
static bool shareDnsWithSubnets(const char *szIfName, const char *szDns)
{
    char szTag[QUOMO_TAG_LEN];
    std::vector<DhcpServerConf> subnets;
    for (int n = 0; n < INT_MAX && ordinarySubnetReadable(szTag, szIfName, n); ++n) {
        subnets.emplace_back();
        DhcpServerConf &conf = subnets.back();
        if (!readSubnet(szIfName, szTag, conf))
            return false;
        orvCopy(conf.szPrimaryDns, sizeof conf.szPrimaryDns, szDns);
    }
    return writeOrdinarySubnets(subnets);
}

/* The PXE field whose address touches the access point's subnet (under the
 * range's netmask or the access point's own); NULL when none does. */
static const char *fieldTouchingAccessPoint(const PxeRequest &request)
{
    const char *mask = request.netmask.c_str();
    if (isSameApSubnet(request.gateway.c_str(), mask) != 0)
        return "pxe_gateway";
    if (isSameApSubnet(request.startIp.c_str(), mask) != 0)
        return "pxe_start_ip";
    if (isSameApSubnet(request.endIp.c_str(), mask) != 0)
        return "pxe_end_ip";
    return NULL;
}

static bool enablePxe(const PxeRequest &request, Json::Value &answer)
{
    const char *collision = fieldTouchingAccessPoint(request);
    answer["isSameApSubnet"] = collision != NULL;
    if (collision) {
        answer["errorKind"] = "apSubnet";
        answer["errorAt"] = collision;
        return false;
    }
    /* The checks refused a name that is missing or does not fit. */
    const char *szIfName = request.interface.c_str();

    DhcpPxeConf pxe = {};
    if (!inheritPxeSettings(szIfName, pxe))
        return false;
    orvCopy(pxe.szBootFile, sizeof pxe.szBootFile, request.bootFile.c_str());
    orvCopy(pxe.szIfName, sizeof pxe.szIfName, szIfName);
    orvCopy(pxe.szStartIp, sizeof pxe.szStartIp, request.startIp.c_str());
    orvCopy(pxe.szEndIp, sizeof pxe.szEndIp, request.endIp.c_str());
    orvCopy(pxe.szNetmask, sizeof pxe.szNetmask, request.netmask.c_str());
    orvCopy(pxe.szGateway, sizeof pxe.szGateway, request.gateway.c_str());
    orvCopy(pxe.szTag, sizeof pxe.szTag, QUOMO_PXE_TAG);
    orvCopy(pxe.szPrimaryDns, sizeof pxe.szPrimaryDns, request.dns.c_str());
    pxe.isEnabled = 1;
    DhcpPxeBoot boot = {};
    requestedBoot(request, boot);
    if (!QUOMONetSetDhcpPXEBootConfigFiles(&pxe, &boot, 1)) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return shareDnsWithSubnets(szIfName, request.dns.c_str());
}

/* Switches the interface's PXE subnet off, keeping its settings on disk
 * (the boot settings too: the writer keeps those it does not know). */
static bool disablePxe(const PxeRequest &request)
{
    const char *szIfName = request.interface.c_str(); /* checked: it fits */
    if (!subnetFileReadable(szIfName, QUOMO_PXE_TAG, "conf"))
        return true;
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(szIfName, pxe))
        return false;
    return writePxeSubnet(pxe, false);
}

/* PXE is served by one interface: the one it leaves is switched off. */
static bool leaveOrigInterface(const PxeRequest &request)
{
    const char *szOrig = request.origInterface.c_str();
    if (!szOrig[0] || request.origInterface == request.interface)
        return true;
    DhcpPxeConf pxe = {};
    if (!QUOMONetGetDhcpPXEServerConf(QUOMO_PXE_TAG, szOrig, &pxe)) {
        ORV_LOG("Cannot read pxe setting on %s", szOrig);
        return false;
    }
    return writePxeSubnet(pxe, false);
}

/* The PXE range shares an address with an ordinary subnet of its interface
 * (a table that then could never be saved): err names the first. */
static bool rangeClearOfSubnets(const PxeRequest &request, ValidationError &err)
{
    uint32_t first = 0, last = 0;
    std::vector<ListedSubnet> subnets;
    if (!parseIpv4(request.startIp.c_str(), &first) || !parseIpv4(request.endIp.c_str(), &last))
        return true;
    if (!readInterfaceSubnets(request.interface.c_str(), subnets))
        return true; /* told when the PXE subnet takes their settings */
    int number = 0;
    for (const ListedSubnet &s : subnets) {
        if (s.pxe)
            continue;
        ++number;
        uint32_t start = 0, end = 0;
        if (parseIpv4(s.conf.szStartIp, &start) && parseIpv4(s.conf.szEndIp, &end) && start <= last &&
            first <= end)
            return failAt(err, "pxe_start_ip", "overlaps subnet " + std::to_string(number));
    }
    return true;
}

bool applyPxeSubnet(RequestContext &ctx)
{
    const PxeRequest &request = ctx.as<PxeRequest>();
    Json::Value &answer = ctx.answer;
    ValidationError err;
    if (request.enable && !rangeClearOfSubnets(request, err))
        return refuseRequest(answer, err);
    bool ok = request.enable ? enablePxe(request, answer) : disablePxe(request);
    if (!ok)
        return false;
    return leaveOrigInterface(request);
}

/* The PXE subnet of the interface is switched on: its settings file is
 * readable and says enable="yes". */
static bool pxeEnabledOn(const char *szIfName)
{
    return subnetFileReadable(szIfName, QUOMO_PXE_TAG, "info") && isIfTagEnable(szIfName, QUOMO_PXE_TAG) == 0;
}

bool getEnablePxeConfig(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    VORL_NETIF ifs[kMaxInterfaces];
    int count = listInterfaces(ifs);
    if (count <= 0)
        return false;

    char szIfName[QUOMO_IFNAME_LEN] = "";
    for (int i = 0; i < count && !szIfName[0]; ++i) {
        char szName[QUOMO_IFNAME_LEN];
        interfaceName(ifs[i], szName);
        if (szName[0] && pxeEnabledOn(szName))
            orvCopy(szIfName, sizeof szIfName, szName);
    }

    static const char *const kRangeMembers[] = {"pxe_startip", "pxe_endip", "pxe_netmask",
                                                "pxe_gateway", "pxe_dns"};
    if (!szIfName[0]) {
        answer["pxe_enabled"] = false;
        answer["pxe_interface"] = "";
        for (const char *name : kRangeMembers)
            answer[name] = "";
        answer["pxe_interface_id"] = "";
        return true;
    }

    std::string display;
    SDK::Network::GetIfName(szIfName, display);
    answer["pxe_enabled"] = true;
    answer["pxe_interface"] = display;
    answer["pxe_interface_id"] = szIfName;
    if (!subnetFileReadable(szIfName, QUOMO_PXE_TAG, "conf")) {
        ORV_LOG("Cannot get pxe dhcp server config on interface:%s", szIfName);
        return false;
    }
    DhcpPxeConf pxe = {};
    if (!readPxeSubnet(szIfName, pxe))
        return false;
    putPxeRange(answer, pxe, kRangeMembers);
    return true;
}
