#include "quomodhcp.h"

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* While a name server ("named") runs on the appliance, dnsmasq must not
 * answer DNS itself: the DNS-only pair dhcpd-dns-dns.conf/.info sets its DNS
 * port to 0. The pair is removed first, so it exists exactly when the last
 * call saw "named" running and wrote it completely. */
int QUOMODHCPDecideDisableDNS(void)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    /* A cut name would be another file, which must not be removed. */
    if (!quomoSubnetPath(szConf, sizeof szConf, "dns", "dns", "conf") ||
        !quomoSubnetPath(szInfo, sizeof szInfo, "dns", "dns", "info")) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }

    VORLCSysUnlink(szConf);
    VORLCSysUnlink(szInfo);

    if (VORLCIsProcAlive("named") != 1)
        return 1;

    if (!quomoTouchPair(szConf, szInfo))
        return 0;

    /* Each step must succeed; the first that does not names its line. */
    int line = 0;
    if (VORLCFileSetKeyValue(szConf, "port", "0", NULL) != 1)
        line = __LINE__;
    else if (VORLCFileSetKeyValue(szInfo, "enable", "yes", QUOMO_INFO_FORMAT) != 1)
        line = __LINE__;
    else if (!quomoWriteLoopbackSubnet(szConf, "dns"))
        line = __LINE__;
    if (line) {
        ORV_LOG("Disable dnsmasq DNS SERVER failed %s(%d)", "QUOMODHCPDecideDisableDNS", line);
        return 0;
    }
    return 1;
}
