/*
 * The static fragment: dnsmasq reads the reservations from
 * /etc/dhcpd/dhcpd-static-static.conf, which puts them under a placeholder
 * subnet of one loopback address tagged "static", followed by every line of
 * the reservation list.
 */
#include "quomodhcp.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* Writes the fragment from the text of the reservation list, then switches
 * it on (the settings file keeps its other lines). */
static int writeStaticFragment(const std::string &list)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    if (!QUOMODHCPSubnetPath(szConf, sizeof szConf, "static", "static", "conf") ||
        !QUOMODHCPSubnetPath(szInfo, sizeof szInfo, "static", "static", "info")) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    if (!quomoMakeDhcpdDir())
        return 0;
    std::string text;
    quomoAppendLoopbackSubnet(text, "static");
    text += list;
    /* Every line ends in exactly one newline. */
    if (!list.empty() && list.back() != '\n')
        text += '\n';
    if (!quomoReplace(szConf, text.data(), text.size()) ||
        VORLCFileSetKeyValue(szInfo, "enable", "yes", QUOMO_INFO_FORMAT) != 1) {
        ORV_LOG("Disable dnsmasq DNS SERVER failed %s(%d)", "QUOMODHCPGenFakeStaticFile", __LINE__);
        return 0;
    }
    return 1;
}

/* The whole reservation list into text ("" when there is none). */
static int readStaticList(const char *szList, std::string &text)
{
    if (orvReadFile(szList, text) >= 0)
        return 1;
    ORV_LOG("Can not read DHCP static file [%s]", szList);
    return 0;
}

int QUOMODHCPGenFakeStaticFile(void)
{
    char szList[QUOMO_PATH_LEN];
    if (!orvPath(szList, sizeof szList, QUOMO_STATIC_LIST)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }
    std::string list;
    return readStaticList(szList, list) && writeStaticFragment(list);
}

int QUOMODHCPSetStaticHosts(const QuomoStaticHost *pHosts, int count)
{
    if (count < 0 || (count > 0 && !pHosts)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    std::string list;
    for (int i = 0; i < count; ++i)
        quomoStaticLine(list, pHosts[i].szMac, pHosts[i].szIp, pHosts[i].szHostname);
    char szList[QUOMO_PATH_LEN];
    if (!quomoStaticListPath(szList) || !quomoMakeDhcpdDir())
        return 0;
    /* The list first: it is what the page shows and the fragment is made
     * from. An empty set leaves no list at all. */
    int listed = list.empty() ? quomoRemoveFile(szList) : quomoReplace(szList, list.data(), list.size());
    if (!listed)
        return 0;
    return writeStaticFragment(list);
}
