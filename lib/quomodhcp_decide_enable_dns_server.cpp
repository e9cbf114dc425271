#include "quomodhcp.h"

#include <string>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* While a name server ("named") runs on the appliance, dnsmasq must not
 * answer DNS itself: the DNS-only pair dhcpd-dns-dns.conf/.info sets its DNS
 * port to 0. The pair exists exactly when the last call saw "named" running
 * and wrote it completely: it is written fragment first and removed settings
 * file first, so a switched-on settings file always has its whole fragment. */
int QUOMODHCPDecideDisableDNS(void)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    /* A cut name would be another file, which must not be removed. */
    if (!QUOMODHCPSubnetPath(szConf, sizeof szConf, "dns", "dns", "conf") ||
        !QUOMODHCPSubnetPath(szInfo, sizeof szInfo, "dns", "dns", "info")) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }

    if (VORLCIsProcAlive("named") != 1)
        return quomoRemoveFile(szInfo) && quomoRemoveFile(szConf);

    std::string text = "port=0\n";
    quomoAppendLoopbackSubnet(text, "dns");
    if (!quomoWritePair(szConf, text.data(), text.size(), szInfo, 1, NULL)) {
        ORV_LOG("Disable dnsmasq DNS SERVER failed %s(%d)", "QUOMODHCPDecideDisableDNS", __LINE__);
        return 0;
    }
    return 1;
}
