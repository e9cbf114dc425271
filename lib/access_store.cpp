/*
 * The access store (see access_store.h).
 */
#include "access_store.h"

#include <string.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "save.h"
#include "subnet_store.h"
#include "text.h"

static int listPath(char (&szPath)[QUOMO_PATH_LEN], const char *szIfName)
{
    return !quomoNameFault(szIfName) && orvPath(szPath, sizeof szPath, QUOMO_ACCESS_FORMAT, szIfName);
}

/* ---- the records ---- */

/* Six pairs of hex digits, ":" between them, as the list keeps it. */
static bool storedMac(const char *szMac)
{
    if (strlen(szMac) != 17)
        return false;
    for (int i = 0; i < 17; ++i) {
        bool colon = i % 3 == 2;
        char c = szMac[i];
        if (colon ? c != ':' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

static bool printableNote(const char *szNote)
{
    for (const unsigned char *p = (const unsigned char *)szNote; *p; ++p)
        if (*p < ' ' || *p == 0x7f)
            return false;
    return true;
}

static bool recordsUsable(const QuomoBlocked *pBlocked, int count)
{
    for (int i = 0; i < count; ++i) {
        const QuomoBlocked &b = pBlocked[i];
        if (!quomoCheckText("szMac", b.szMac, sizeof b.szMac) ||
            !quomoCheckText("szNote", b.szNote, sizeof b.szNote) || !storedMac(b.szMac) ||
            !printableNote(b.szNote))
            return false;
    }
    return true;
}

/* ---- the texts ---- */

/* Every blocked client shares one tag per interface; one ignore line
 * covers them all. A blocked client is tagged by its MAC address, which
 * does not make it "known" the way a dhcp-host line would. */
static std::string accessLines(const char *szIfName, int ignoreUnknown, const QuomoBlocked *pBlocked,
                               int count)
{
    std::string lines, ifName = szIfName;
    if (ignoreUnknown)
        lines += "dhcp-ignore=tag:!known,tag:" + ifName + "\n";
    std::string tag = "blocked-" + ifName;
    for (int i = 0; i < count; ++i)
        lines += "dhcp-mac=set:" + tag + "," + pBlocked[i].szMac + "\n";
    if (count)
        lines += "dhcp-ignore=tag:" + tag + ",tag:" + ifName + "\n";
    return lines;
}

static std::string listText(int ignoreUnknown, const QuomoBlocked *pBlocked, int count)
{
    std::string text = ignoreUnknown ? "unknown=ignore\n" : "";
    for (int i = 0; i < count; ++i)
        text += std::string("block=") + pBlocked[i].szMac + "," + pBlocked[i].szNote + "\n";
    return text;
}

static bool pairPaths(const char *szIfName, char (&szConf)[QUOMO_PATH_LEN], char (&szInfo)[QUOMO_PATH_LEN])
{
    return quomoSubnetPath(szConf, sizeof szConf, szIfName, QUOMO_ACCESS_TAG, "conf") &&
           quomoSubnetPath(szInfo, sizeof szInfo, szIfName, QUOMO_ACCESS_TAG, "info");
}

int quomoSetAccess(const char *szIfName, int ignoreUnknown, const QuomoBlocked *pBlocked, int count)
{
    char szList[QUOMO_PATH_LEN], szConf[QUOMO_PATH_LEN], szInfo[QUOMO_PATH_LEN];
    if (count < 0 || count > QUOMO_MAX_BLOCKED || (count && !pBlocked) || !szIfName ||
        !listPath(szList, szIfName) || !pairPaths(szIfName, szConf, szInfo) ||
        !recordsUsable(pBlocked, count)) {
        ORV_LOG("Bad parameters.");
        return 0;
    }
    if (!quomoMakeDhcpdDir())
        return 0;
    QuomoChangeScope scope;
    /* The defaults: no files, the settings file going first. */
    if (!ignoreUnknown && count == 0)
        return scope.commit(quomoStageRemove(szInfo) && quomoStageRemove(szConf) &&
                            quomoStageRemove(szList));
    std::string list = listText(ignoreUnknown, pBlocked, count);
    std::string lines = accessLines(szIfName, ignoreUnknown, pBlocked, count);
    return scope.commit(quomoStageFile(szList, list.data(), list.size()) &&
                        quomoStagePair(szConf, lines.data(), lines.size(), szInfo, 1, szIfName));
}

/* "block=<mac>,<note>": the note may hold commas. */
static bool readBlocked(const std::string &value, QuomoBlocked &b)
{
    size_t comma = value.find(',');
    if (comma == std::string::npos)
        return false;
    memset(&b, 0, sizeof b);
    return orvCopy(b.szMac, sizeof b.szMac, value.substr(0, comma).c_str()) &&
           orvCopy(b.szNote, sizeof b.szNote, value.c_str() + comma + 1);
}

int quomoGetAccess(const char *szIfName, int *pIgnoreUnknown, QuomoBlocked *pBlocked, int max,
                   int *pCount)
{
    char szList[QUOMO_PATH_LEN];
    if (!pIgnoreUnknown || !pCount || !szIfName || !listPath(szList, szIfName) ||
        (max > 0 && !pBlocked))
        return 0;
    *pIgnoreUnknown = 0;
    *pCount = 0;
    std::string text;
    if (quomoStagedRead(szList, text) < 0) {
        ORV_LOG("Can not read [%s]", szList);
        return 0;
    }
    quomoEachLine(text, [&](const std::string &line) {
        if (line == "unknown=ignore")
            *pIgnoreUnknown = 1;
        else if (line.compare(0, 6, "block=") == 0 && *pCount < max &&
                 readBlocked(line.substr(6), pBlocked[*pCount]))
            ++*pCount;
    });
    return 1;
}

bool quomoAccessStoreOwns(const char *szRelPath)
{
    std::string ifName;
    return quomoListStoreFile(szRelPath, QUOMO_ACCESS_TAG, QUOMO_ACCESS_TAG, ifName) != QUOMO_STORE_NONE;
}

bool quomoAccessVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy)
{
    std::string ifName;
    QuomoStoreFile file = quomoListStoreFile(szRelPath, QUOMO_ACCESS_TAG, QUOMO_ACCESS_TAG, ifName);
    if (file == QUOMO_STORE_NONE) {
        orvCopy(szWhy, cbWhy, "not a file of the access rules");
        return false;
    }
    if (file == QUOMO_STORE_INFO)
        return quomoInfoVerify(content, szWhy, cbWhy);
    bool list = file == QUOMO_STORE_LIST;
    std::vector<QuomoBlocked> blocked(QUOMO_MAX_BLOCKED);
    int ignoreUnknown = 0, count = 0;
    if (quomoGetAccess(ifName.c_str(), &ignoreUnknown, blocked.data(), QUOMO_MAX_BLOCKED, &count) &&
        recordsUsable(blocked.data(), count) &&
        content == (list ? listText(ignoreUnknown, blocked.data(), count)
                         : accessLines(ifName.c_str(), ignoreUnknown, blocked.data(), count)))
        return true;
    orvCopy(szWhy, cbWhy, "not access rules as this system writes them");
    return false;
}
