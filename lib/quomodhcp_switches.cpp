/*
 * The subnets' own switches while an interface's service is off. Switching
 * the service off turns every subnet of the interface off in its settings
 * file (that is what the start-up script reads); which of them the
 * administrator had switched on is kept here, so that switching the service
 * on again brings back exactly those.
 *
 * /etc/dhcpd/orvath-<ifName>.switches: "rows=<y or n per ordinary subnet, in
 * table order>" and "pxe=<y or n>", replaced whole.
 */
#include "quomodhcp.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

static int switchesPath(char *szPath, size_t cbPath, const char *szIfName)
{
    if (!szIfName || quomoNameFault(szIfName))
        return 0;
    return orvPath(szPath, cbPath, QUOMO_SWITCHES_FORMAT, szIfName);
}

int QUOMODHCPSaveSwitches(const char *szIfName, const char *szRows, int pxe)
{
    char szPath[QUOMO_PATH_LEN];
    if (!szRows || strspn(szRows, "yn") != strlen(szRows) ||
        !switchesPath(szPath, sizeof szPath, szIfName)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    char szText[QUOMO_SWITCHES_LEN + 32];
    if (!orvFormat(szText, sizeof szText, "rows=%s\npxe=%s\n", szRows, pxe ? "y" : "n")) {
        ORV_LOG("Too many subnets on %s", szIfName);
        return 0;
    }
    return quomoMakeDhcpdDir() && orvReplaceFile(szPath, szText, strlen(szText), 0644);
}

int QUOMODHCPReadSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe)
{
    char szPath[QUOMO_PATH_LEN];
    if (!szRows || cbRows == 0 || !pPxe || !switchesPath(szPath, sizeof szPath, szIfName))
        return 0;
    char szValue[QUOMO_SWITCHES_LEN];
    if (VORLCFileGetKeyValue(szPath, "rows", szValue, sizeof szValue, 0) <= 0)
        return 0;
    if (strspn(szValue, "yn") != strlen(szValue) || !orvCopy(szRows, cbRows, szValue))
        return 0;
    char szPxe[8] = "";
    VORLCFileGetKeyValue(szPath, "pxe", szPxe, sizeof szPxe, 0);
    *pPxe = strcmp(szPxe, "y") == 0;
    return 1;
}

int QUOMODHCPForgetSwitches(const char *szIfName)
{
    char szPath[QUOMO_PATH_LEN];
    if (!switchesPath(szPath, sizeof szPath, szIfName))
        return 0;
    return VORLCSysUnlink(szPath) == 0;
}
