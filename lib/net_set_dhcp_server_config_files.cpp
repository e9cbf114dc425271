#include "quomodhcp.h"

#include <limits.h>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "vorl.h"

int QUOMODHCPSetDhcpServerConfigFiles(const DhcpServerConf *conf, int enable)
{
    if (!conf) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    if (!quomoCheckSubnetRecord(*conf))
        return 0;

    QuomoSubnetView v = quomoSubnetView(*conf);
    QuomoSubnetWrite w;
    if (!quomoBeginSubnetWrite(&w, &v, enable))
        return 0;
    /* A disabled subnet keeps the fragment of its last enabled write. */
    int result = enable ? quomoWriteSubnetFragment(&w, &v) : 1;
    return quomoEndSubnetWrite(&w, result);
}

/* Removes the numbered files of szIfName with the extension ext from
 * firstIndex upward, stopping at the first that cannot be removed. */
static int removeNumbered(const char *szIfName, int firstIndex, const char *ext)
{
    /* Empty, or no interface's name: its paths could leave the directory. */
    if (quomoNameFault(szIfName))
        return -1;
    char szPath[QUOMO_WALK_PATH_LEN];
    for (int n = firstIndex;; ++n) {
        if (!quomoNumberedPath(szPath, sizeof szPath, szIfName, n, ext))
            break;
        if (VORLCSysRemove(szPath) != 0 || n == INT_MAX)
            break;
    }
    return 0;
}

int removeUnusedConf(const char *szIfName, int firstIndex)
{
    return removeNumbered(szIfName, firstIndex, "conf");
}

int removeUnusedInfo(const char *szIfName, int firstIndex)
{
    return removeNumbered(szIfName, firstIndex, "info");
}
