/*
 * The DNS-only pair (see dns_only.h). It exists exactly when the last
 * decision saw "named" running and wrote it completely: it is written
 * fragment first and removed settings file first, so a switched-on settings
 * file always has its whole fragment.
 */
#include "dns_only.h"

#include <string>

#include "orvath_common.h"
#include "subnet_store.h"

int quomoDecideDnsOnly(void)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    if (!quomoFixedPair(szConf, szInfo, "dns"))
        return 0;

    if (VORLCIsProcAlive("named") != 1)
        return quomoStageRemove(szInfo) && quomoStageRemove(szConf);

    std::string text = "port=0\n";
    quomoAppendLoopbackSubnet(text, "dns");
    if (!quomoStagePair(szConf, text.data(), text.size(), szInfo, 1, NULL)) {
        ORV_LOG("Disable dnsmasq DNS SERVER failed %s(%d)", "QUOMODHCPDecideDisableDNS", __LINE__);
        return 0;
    }
    return 1;
}

bool quomoDnsOnly(void) { return quomoTagEnabled("dns", "dns"); }
