/*
 * The reserved MAC addresses: the second field of each line of the
 * reservation list ("dhcp-host=<mac>,<hostname>,<ip>,infinite"), kept in
 * lower case and sorted, so that a client list looks each client up once
 * instead of searching the list for it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp_internal.h"
#include "quomodhcp_lease_log.h"
#include "vorl.h"

struct QuomoReserved {
    std::vector<std::string> macs; /* lower case, sorted */
};

/* The MAC field of a reservation line: between its first and second "=" or
 * ","; false when the line has no such field. */
static bool reservedMac(const char *line, size_t len, std::string &mac)
{
    size_t start = strcspn(line, "=,");
    if (start >= len)
        return false;
    ++start;
    size_t end = start;
    while (end < len && line[end] != '=' && line[end] != ',')
        ++end;
    mac = quomoMacKey(line + start, end - start);
    return true;
}

QuomoReserved *QUOMODHCPReservedLoad(void)
{
    char szPath[QUOMO_PATH_LEN];
    if (!quomoStaticListPath(szPath))
        return NULL;
    /* Created when missing, so that it exists from the first listing on. */
    FILE *fp = VORLCFileTouch(szPath) == 0 ? fopen(szPath, "r") : NULL;
    if (!fp) {
        ORV_LOG("Can not read the reservation list [%s]", szPath);
        return NULL;
    }
    QuomoReserved *pReserved = new QuomoReserved;
    char *line = NULL;
    size_t cap = 0;
    ssize_t len;
    std::string mac;
    while ((len = getline(&line, &cap, fp)) > 0) {
        size_t textLen = strnlen(line, (size_t)len);
        if (textLen > 0 && line[textLen - 1] == '\n')
            line[--textLen] = '\0';
        if (reservedMac(line, textLen, mac) && !mac.empty())
            pReserved->macs.push_back(mac);
    }
    bool failed = ferror(fp) != 0;
    free(line);
    fclose(fp);
    if (failed) {
        ORV_LOG("Can not read the reservation list [%s]", szPath);
        delete pReserved;
        return NULL;
    }
    std::sort(pReserved->macs.begin(), pReserved->macs.end());
    return pReserved;
}

void QUOMODHCPReservedFree(QuomoReserved *pReserved) { delete pReserved; }

int quomoIsReserved(const QuomoReserved *pReserved, const char *szMac)
{
    if (!pReserved || !szMac || szMac[0] == '\0')
        return 0;
    std::string key = quomoMacKey(szMac, strlen(szMac));
    return std::binary_search(pReserved->macs.begin(), pReserved->macs.end(), key) ? 1 : 0;
}
