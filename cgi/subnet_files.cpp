/*
 * orvath: the subnets of an interface (see subnet_files.h).
 */
#include "subnet_files.h"

#include <limits.h>
#include <unistd.h>

#include "orvath_common.h"
#include "vorl.h"

bool subnetFileReadable(const char *szIfName, const char *szTag, const char *szExt)
{
    char szPath[QUOMO_PATH_LEN];
    if (!QUOMODHCPSubnetPath(szPath, sizeof szPath, szIfName, szTag, szExt))
        return false;
    return access(szPath, R_OK) == 0;
}

bool ordinaryTag(char (&szTag)[QUOMO_TAG_LEN], const char *szIfName, int n)
{
    return orvFormat(szTag, sizeof szTag, QUOMO_ORDINARY_TAG_FORMAT, szIfName, n);
}

bool ordinarySubnetReadable(char (&szTag)[QUOMO_TAG_LEN], const char *szIfName, int n)
{
    return ordinaryTag(szTag, szIfName, n) && subnetFileReadable(szIfName, szTag, "conf");
}

bool readSubnet(const char *szIfName, const char *szTag, DhcpServerConf &conf)
{
    if (!QUOMODHCPGetDhcpServerConf(szTag, szIfName, &conf)) {
        ORV_LOG("Cannot get dhcp server config on interface:%s", szIfName);
        return false;
    }
    return true;
}

bool readPxeSubnet(const char *szIfName, DhcpPxeConf &pxe)
{
    if (!QUOMONetGetDhcpPXEServerConf(QUOMO_PXE_TAG, szIfName, &pxe)) {
        ORV_LOG("Cannot get dhcp server config on interface:%s", szIfName);
        return false;
    }
    return true;
}

bool writePxeSubnet(DhcpPxeConf &pxe, bool enabled)
{
    pxe.isEnabled = enabled ? 1 : 0;
    if (!QUOMONetSetDhcpPXEServerConfigFiles(&pxe, pxe.isEnabled)) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
}

bool writeOrdinarySubnets(const std::vector<DhcpServerConf> &subnets)
{
    if (!QUOMODHCPSetDhcpServerSubnets(subnets.data(), (int)subnets.size())) {
        ORV_LOG("Write DHCP Server Config Files failed!");
        return false;
    }
    return true;
}

void readAccessPoint(AccessPoint &ap)
{
    ap.conf = DhcpServerConf();
    if (!subnetFileReadable(QUOMO_AP_IFNAME, QUOMO_AP_IFNAME, "conf"))
        ap.state = AccessPoint::kNone;
    else if (!QUOMODHCPGetDhcpServerConf(QUOMO_AP_IFNAME, QUOMO_AP_IFNAME, &ap.conf))
        ap.state = AccessPoint::kUnreadable;
    else
        ap.state = AccessPoint::kRead;
}

bool touchesAccessPoint(const AccessPoint &ap, const char *szIp, const char *szNetmask)
{
    if (ap.state != AccessPoint::kRead)
        return ap.state == AccessPoint::kUnreadable;
    const char *ip = szIp ? szIp : "";
    /* QUOMONetIsSameSubnet answers -1 for a text that is no address. */
    return QUOMONetIsSameSubnet(ip, ap.conf.szGateway, szNetmask ? szNetmask : "") != 0 ||
           QUOMONetIsSameSubnet(ip, ap.conf.szGateway, ap.conf.szNetmask) != 0;
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
