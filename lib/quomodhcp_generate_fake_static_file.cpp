/*
 * The static fragment: dnsmasq reads the reservations from
 * /etc/dhcpd/dhcpd-static-static.conf, which puts them under a placeholder
 * subnet of one loopback address tagged "static", followed by every line of
 * the reservation list.
 */
#include "quomodhcp.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* Appends every line of pList to pOut, each ending in exactly one newline.
 * False on a read or write error. */
static int copyLines(FILE *pList, FILE *pOut)
{
    char *szLine = NULL;
    size_t cbLine = 0;
    ssize_t len;
    int ok = 1;
    while (ok && (len = getline(&szLine, &cbLine, pList)) > 0) {
        if (fwrite(szLine, 1, (size_t)len, pOut) != (size_t)len)
            ok = 0;
        else if (szLine[len - 1] != '\n' && fputc('\n', pOut) == EOF)
            ok = 0;
    }
    if (ferror(pList))
        ok = 0;
    free(szLine);
    return ok;
}

int QUOMODHCPGenFakeStaticFile(void)
{
    char szConf[QUOMO_PATH_LEN];
    char szInfo[QUOMO_PATH_LEN];
    char szList[QUOMO_PATH_LEN];
    if (!quomoSubnetPath(szConf, sizeof szConf, "static", "static", "conf") ||
        !quomoSubnetPath(szInfo, sizeof szInfo, "static", "static", "info") ||
        !orvPath(szList, sizeof szList, QUOMO_STATIC_LIST)) {
        ORV_LOG("Path too long [%s]", orvRoot());
        return 0;
    }

    /* The fragment is rebuilt from nothing; the settings file is kept. */
    if (!quomoMakeDhcpdDir())
        return 0;
    VORLCSysUnlink(szConf);
    if (!quomoTouchPair(szConf, szInfo))
        return 0;

    if (VORLCFileSetKeyValue(szInfo, "enable", "yes", QUOMO_INFO_FORMAT) != 1 ||
        !quomoWriteLoopbackSubnet(szConf, "static")) {
        ORV_LOG("Disable dnsmasq DNS SERVER failed %s(%d)", "QUOMODHCPGenFakeStaticFile", __LINE__);
        return 0;
    }

    /* No reservation list: the fragment holds the fixed lines only. */
    if (!VORLCFileExist(szList))
        return 1;
    FILE *pList = VORLCSysFopen(szList, "r", __FILE__, __LINE__);
    if (!pList) {
        ORV_LOG("Can not open DHCP static file [%s]", szList);
        return 0;
    }
    FILE *pConf = VORLCSysFopen(szConf, "a", __FILE__, __LINE__);
    if (!pConf) {
        fclose(pList);
        return 0;
    }
    int ok = copyLines(pList, pConf);
    fclose(pList);
    if (fclose(pConf) != 0)
        ok = 0;
    if (!ok) {
        ORV_LOG("Copying reservations into [%s] failed", szConf);
        return 0;
    }
    return 1;
}
