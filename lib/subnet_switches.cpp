/*
 * The subnets' own switches (see subnet_switches.h).
 */
#include "subnet_switches.h"

#include <string.h>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"
#include "save.h"
#include "subnet_store.h"
#include "text.h"
#include "vorl.h"

static int switchesPath(char *szPath, size_t cbPath, const char *szIfName)
{
    if (!szIfName || quomoNameFault(szIfName))
        return 0;
    return orvPath(szPath, cbPath, QUOMO_SWITCHES_FORMAT, szIfName);
}

int quomoSaveSwitches(const char *szIfName, const char *szRows, int pxe)
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
    return quomoMakeDhcpdDir() && quomoReplace(szPath, szText, strlen(szText));
}

int quomoReadSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe)
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

int quomoForgetSwitches(const char *szIfName)
{
    char szPath[QUOMO_PATH_LEN];
    if (!switchesPath(szPath, sizeof szPath, szIfName))
        return 0;
    return quomoRemoveFile(szPath);
}

bool quomoSwitchesVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    const char *name = quomoDhcpdName(szRelPath);
    std::string ifName = name ? std::string(name + 7, strlen(name) - 7 - 9) : "";
    char szRows[QUOMO_SWITCHES_LEN];
    int pxe = 0;
    if (name && quomoReadSwitches(ifName.c_str(), szRows, sizeof szRows, &pxe) &&
        content == std::string("rows=") + szRows + "\npxe=" + (pxe ? "y" : "n") + "\n")
        return true;
    orvCopy(szWhy, cbWhy, "not switches as this system writes them");
    return false;
}

bool quomoSwitchesOwns(const char *szRelPath)
{
    std::string ifName;
    return quomoParseListName(szRelPath, "switches", ifName);
}
