/*
 * The PXE store (see pxe_store.h).
 */
#include "pxe_store.h"

#include <string.h>

#include <string>

#include "orvath_common.h"
#include "subnet_store.h"

int quomoSetPxe(const DhcpPxeConf *conf, int enable)
{
    if (!conf) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    if (!quomoCheckSubnetRecord(*conf) ||
        !quomoCheckText("szBootFile", conf->szBootFile, sizeof conf->szBootFile))
        return 0;

    QuomoSubnetView v = quomoSubnetView(*conf);
    /* Unlike an ordinary subnet, a disabled PXE subnet keeps a complete
     * fragment: it is rewritten whatever the enable flag. */
    std::string fragment;
    quomoAppendSubnetLines(fragment, v);
    if (conf->szBootFile[0] != '\0') {
        fragment += std::string("dhcp-boot=tag:") + conf->szTag + "," + conf->szBootFile + "\n";
        /* Every client announcing the vendor class PXEClient is tagged pxe. */
        fragment += "dhcp-vendorclass=set:pxe,PXEClient\n";
    }
    return quomoWriteSubnet(v, &fragment, enable);
}

/* Copies the DhcpServerConf fields into the same leading fields of a
 * DhcpPxeConf. */
static void copyToPxe(DhcpPxeConf *dst, const DhcpServerConf *src)
{
    static_assert(offsetof(DhcpPxeConf, szBootFile) == sizeof(DhcpServerConf),
                  "a PXE record begins with a subnet record");
    memcpy(dst, src, sizeof *src);
}

int quomoGetPxe(const char *szTag, const char *szIfName, DhcpPxeConf *pConf)
{
    if (!pConf || !szIfName || !szTag)
        return 0;

    char szConf[QUOMO_PATH_LEN];
    if (!quomoExistingFragment(szConf, szIfName, szTag))
        return 0;

    DhcpServerConf subnet;
    memset(&subnet, 0, sizeof subnet);
    int ok = quomoGetSubnet(szTag, szIfName, &subnet);
    copyToPxe(pConf, &subnet);
    if (!ok)
        return 0;

    memset(pConf->szBootFile, 0, sizeof pConf->szBootFile);
    QuomoList list;
    if (!list.ok())
        return 0;
    char szValue[QUOMO_VALUE_LEN] = "";
    /* dhcp-boot=tag:<tag>,<boot file>; without the line there is no boot file. */
    if (VORLCFileGetKeyValue(szConf, "dhcp-boot", szValue, sizeof szValue, 0) <= 0)
        return 1;
    int count = VORLCStrTok(szValue, ",", list.out());
    if (count <= 0)
        return 0;
    if (count >= 2)
        orvCopy(pConf->szBootFile, sizeof pConf->szBootFile, list.get(1));
    return 1;
}
