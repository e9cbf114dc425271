/*
 * orvath: the subnets of an interface (see subnet_files.h).
 */
#include "subnet_files.h"

#include <unistd.h>

#include "orvath_common.h"

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
