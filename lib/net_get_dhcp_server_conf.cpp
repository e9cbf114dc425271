#include "quomodhcp.h"

#include <string.h>

#include "orvath_common.h"
#include "quomodhcp_guard.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

/* Copies the last comma field of the first line of szConf that contains szKey
 * into szValue. A fragment without domain lines is fine: the domain is
 * optional, so "option:domain-search" not found is success with szValue
 * unchanged. */
static int getDhcpOptionValue(const char *szConf, const char *szKey, char *szValue, int cbValue)
{
    const char *szFailed = NULL;
    if (NULL == szConf)
        szFailed = "((void *)0) != szConf";
    else if (NULL == szKey)
        szFailed = "((void *)0) != szKey";
    else if (NULL == szValue)
        szFailed = "((void *)0) != szValue";
    else if (!(0 < cbValue))
        szFailed = "0 < cbValue";
    if (szFailed) {
        ORV_LOG("Invaild Argument (%s)=[%d]\n", szFailed, 0);
        VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
        return 0;
    }

    QuomoList list;
    if (!list.ok())
        return 0;
    char szLine[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetLine(szConf, szKey, szLine, sizeof szLine, QUOMO_VALUE_LEN) > 0) {
        /* Empty fields are kept, so that an empty value reads back empty
         * rather than as the option's name. */
        int count = VORLCStrSep(szLine, ",", list.out());
        if (count <= 0)
            return 0;
        orvCopy(szValue, (size_t)cbValue, list.get(count - 1));
        return 1;
    }
    if (strcmp(szKey, "option:domain-search") == 0)
        return 1;
    ORV_LOG("Failed to get key %s", "dhcp-option");
    return 0;
}

/* Range, mask and lease time from the value of "dhcp-range":
 * set:<tag>,<start>,<end>,<netmask>,<lease time>. */
static int readRange(const char *szConf, DhcpServerConf *pConf, PVORL_SZLIST *ppList)
{
    char szValue[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetKeyValue(szConf, "dhcp-range", szValue, sizeof szValue, 0) <= 0) {
        ORV_LOG("Failed to get key %s", "dhcp-range");
        return 0;
    }
    int count = VORLCStrTok(szValue, ",", ppList);
    if (count <= 0)
        return 0;
    if (count < 5) {
        ORV_LOG("Failed to get key %s", "dhcp-range");
        return 0;
    }
    orvCopy(pConf->szStartIp, sizeof pConf->szStartIp, VORLCSzListGet(*ppList, 1));
    orvCopy(pConf->szEndIp, sizeof pConf->szEndIp, VORLCSzListGet(*ppList, 2));
    orvCopy(pConf->szNetmask, sizeof pConf->szNetmask, VORLCSzListGet(*ppList, 3));
    pConf->leaseTime = quomoParseInt32(VORLCSzListGet(*ppList, 4));
    return 1;
}

/* The DNS servers: fields 2 and 3 of the "option:dns-server" line. */
static int readDnsServers(const char *szConf, DhcpServerConf *pConf, PVORL_SZLIST *ppList)
{
    char szLine[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetLine(szConf, "option:dns-server", szLine, sizeof szLine, QUOMO_VALUE_LEN) <=
        0) {
        ORV_LOG("Failed to get key %s", "dhcp-option");
        return 0;
    }
    int count = VORLCStrSep(szLine, ",", ppList);
    if (count <= 0)
        return 0;
    /* Any other count leaves both empty. */
    if (count == 3 || count == 4)
        orvCopy(pConf->szPrimaryDns, sizeof pConf->szPrimaryDns, VORLCSzListGet(*ppList, 2));
    if (count == 4)
        orvCopy(pConf->szSecondaryDns, sizeof pConf->szSecondaryDns, VORLCSzListGet(*ppList, 3));
    return 1;
}

/* One step of the reader that needs a string list of its own. */
static int withList(int (*step)(const char *, DhcpServerConf *, PVORL_SZLIST *),
                    const char *szConf, DhcpServerConf *pConf)
{
    QuomoList list;
    return list.ok() && step(szConf, pConf, list.out());
}

int QUOMODHCPGetDhcpServerConf(const char *szTag, const char *szIfName, DhcpServerConf *pConf)
{
    if (!pConf || !szIfName || !szTag)
        return 0;

    char szConf[QUOMO_PATH_LEN];
    if (!quomoExistingFragment(szConf, szIfName, szTag))
        return 0;
    memset(pConf, 0, sizeof *pConf);

    if (!withList(readRange, szConf, pConf) || !withList(readDnsServers, szConf, pConf))
        return 0;
    if (!getDhcpOptionValue(szConf, "option:router", pConf->szGateway,
                            (int)sizeof pConf->szGateway))
        return 0;

    char szValue[QUOMO_VALUE_LEN] = "";
    if (VORLCFileGetKeyValue(szConf, "interface", szValue, sizeof szValue, 0) <= 0) {
        ORV_LOG("Failed to get key %s in %s", "interface", szConf);
        return 0;
    }
    orvCopy(pConf->szIfName, sizeof pConf->szIfName, szValue);

    char szInfo[QUOMO_PATH_LEN];
    if (QUOMODHCPSubnetPath(szInfo, sizeof szInfo, szIfName, szTag, "info") &&
        quomoInfoEnabled(szInfo))
        pConf->isEnabled = 1;

    /* At most 254 characters of the domain are read. */
    getDhcpOptionValue(szConf, "option:domain-search", pConf->szDomain, 255);

    orvCopy(pConf->szTag, sizeof pConf->szTag, szTag);
    return 1;
}
