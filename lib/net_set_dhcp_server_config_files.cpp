#include "quomodhcp.h"

#include <errno.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

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
    /* A disabled subnet keeps the fragment of its last enabled write. */
    std::string fragment;
    if (enable)
        quomoAppendSubnetLines(fragment, v);
    return quomoWriteSubnet(v, enable ? &fragment : NULL, enable);
}

int QUOMODHCPSetDhcpServerSubnets(const DhcpServerConf *pConfs, int count)
{
    if (count < 0 || (count > 0 && !pConfs)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    std::vector<QuomoPending> pending;
    for (int i = 0; i < count; ++i) {
        const DhcpServerConf &conf = pConfs[i];
        if (!quomoCheckSubnetRecord(conf)) {
            quomoAbandonPending(pending);
            return 0;
        }
        QuomoSubnetView v = quomoSubnetView(conf);
        std::string fragment;
        quomoAppendSubnetLines(fragment, v);
        if (!quomoPrepareSubnet(v, &fragment, conf.isEnabled ? 1 : 0, pending)) {
            quomoAbandonPending(pending);
            return 0;
        }
    }
    return quomoCommitPending(pending);
}

/* Removes the numbered files of szIfName with the extension ext from
 * firstIndex upward, up to the first that does not exist. -1 when one
 * cannot be removed (logged and noted; a directory in its place stays). */
static int removeNumbered(const char *szIfName, int firstIndex, const char *ext)
{
    /* Empty, or no interface's name: its paths could leave the directory. */
    if (quomoNameFault(szIfName))
        return -1;
    char szPath[QUOMO_PATH_LEN];
    for (int n = firstIndex;; ++n) {
        if (!quomoNumberedPath(szPath, sizeof szPath, szIfName, n, ext))
            break;
        if (unlink(szPath) != 0) {
            if (errno == ENOENT)
                break;
            int err = errno;
            ORV_LOG("Failed to remove [%s]: %s", szPath, strerror(err));
            orvNoteFailure(szPath, err);
            return -1;
        }
        if (n == INT_MAX)
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
