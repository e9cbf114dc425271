/*
 * The configuration as a whole: the union of the files the stores declare,
 * how they lie on disk, and a revision put back as one change.
 */
#include "config_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "access_store.h"
#include "name_store.h"
#include "ipv6_store.h"
#include "option_store.h"
#include "orvath_common.h"
#include "pxe_store.h"
#include "quomodhcp_paths.h"
#include "reservation_store.h"
#include "save.h"
#include "subnet_store.h"
#include "subnet_switches.h"
#include "text.h"
#include "vorl.h"

bool quomoConfigOwns(const char *szRelPath)
{
    return szRelPath && (quomoSubnetStoreOwns(szRelPath) || quomoPxeStoreOwns(szRelPath) ||
                         quomoOptionStoreOwns(szRelPath) || quomoReservationStoreOwns(szRelPath) ||
                         quomoSwitchesOwns(szRelPath) || quomoAccessStoreOwns(szRelPath) ||
                         quomoNameStoreOwns(szRelPath) || quomoIpv6StoreOwns(szRelPath));
}

void quomoConfigSort(QuomoConfig &config)
{
    std::sort(config.files.begin(), config.files.end());
}

/* ---- the disk ---- */

static std::string dhcpdRelPath(const char *szName)
{
    return std::string(&QUOMO_DHCPD_DIR[1]) + "/" + szName;
}

static void fillStamp(QuomoFileStamp &stamp, const std::string &path, const struct stat &st)
{
    stamp.path = path;
    stamp.size = (int64_t)st.st_size;
    stamp.mtime = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ino = (int64_t)st.st_ino;
}

bool quomoConfigStampOf(const std::string &path, QuomoFileStamp &stamp)
{
    char szPath[QUOMO_PATH_LEN];
    struct stat st;
    if (!orvPath(szPath, sizeof szPath, "/%s", path.c_str()) || lstat(szPath, &st) != 0 ||
        !S_ISREG(st.st_mode))
        return false;
    fillStamp(stamp, path, st);
    return true;
}

bool quomoConfigStamps(std::vector<QuomoFileStamp> &stamps)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, QUOMO_DHCPD_DIR))
        return false;
    DIR *dir = opendir(szDir);
    if (!dir)
        return errno == ENOENT; /* nothing written yet */
    while (struct dirent *entry = readdir(dir)) {
        std::string path = dhcpdRelPath(entry->d_name);
        struct stat st;
        if (entry->d_name[0] == '.' || !quomoConfigOwns(path.c_str()) ||
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        stamps.emplace_back();
        fillStamp(stamps.back(), path, st);
    }
    closedir(dir);
    std::sort(stamps.begin(), stamps.end(),
              [](const QuomoFileStamp &a, const QuomoFileStamp &b) { return a.path < b.path; });
    return true;
}

bool quomoConfigPxeKey(std::string &value)
{
    char szPath[QUOMO_PATH_LEN];
    std::string text;
    /* The disk's, not a change's: what someone else may have set. */
    if (!orvPath(szPath, sizeof szPath, QUOMO_APPLIANCE_CONF) || orvReadFile(szPath, text) <= 0)
        return false;
    std::string line = std::string("\n") + QUOMO_HISTORY_PXE_KEY + "=";
    if (("\n" + text).find(line) == std::string::npos)
        return false;
    value = quomoKeyValue(text, QUOMO_HISTORY_PXE_KEY);
    return true;
}

QuomoConfig *quomoConfigRead(void)
{
    std::vector<QuomoFileStamp> stamps;
    if (!quomoConfigStamps(stamps))
        return NULL;
    QuomoConfig *config = new QuomoConfig;
    for (const QuomoFileStamp &stamp : stamps) {
        char szPath[QUOMO_PATH_LEN];
        std::string content;
        if (!orvPath(szPath, sizeof szPath, "/%s", stamp.path.c_str()))
            continue;
        if (orvReadFile(szPath, content) < 0) {
            ORV_LOG("Cannot read %s: %s", szPath, strerror(errno));
            orvNoteFailure(szPath, errno);
            delete config;
            return NULL;
        }
        config->files.emplace_back(stamp.path, content);
    }
    std::string value;
    if (quomoConfigPxeKey(value))
        config->files.emplace_back(QUOMO_HISTORY_PXE_PATH, value);
    quomoConfigSort(*config);
    return config;
}

void quomoConfigFree(QuomoConfig *pConfig)
{
    delete pConfig;
}

int quomoConfigCount(const QuomoConfig *pConfig)
{
    return pConfig ? (int)pConfig->files.size() : 0;
}

int quomoConfigFile(const QuomoConfig *pConfig, int i, const char **pszPath,
                        const char **ppData, size_t *pLen)
{
    if (!pConfig || i < 0 || (size_t)i >= pConfig->files.size())
        return 0;
    const auto &file = pConfig->files[i];
    *pszPath = file.first.c_str();
    *ppData = file.second.data();
    *pLen = file.second.size();
    return 1;
}

static const std::string *findFile(const QuomoConfig &config, const std::string &path)
{
    auto it = std::lower_bound(
        config.files.begin(), config.files.end(), path,
        [](const std::pair<std::string, std::string> &file, const std::string &p) { return file.first < p; });
    return it != config.files.end() && it->first == path ? &it->second : NULL;
}

int quomoConfigFind(const QuomoConfig *pConfig, const char *szPath, const char **ppData,
                        size_t *pLen)
{
    const std::string *content = pConfig && szPath ? findFile(*pConfig, szPath) : NULL;
    if (!content)
        return 0;
    *ppData = content->data();
    *pLen = content->size();
    return 1;
}

int quomoConfigEqual(const QuomoConfig *pA, const QuomoConfig *pB)
{
    return pA && pB && pA->files == pB->files;
}

/* ---- summary ---- */

/* An ordinary subnet's settings file of szIfName or, when it is empty, of
 * any interface. */
static bool isOrdinarySubnet(const std::string &path, const char *szIfName)
{
    std::string ifName;
    return path.size() > 5 && path.compare(path.size() - 5, 5, ".info") == 0 &&
           quomoParsePairName(path.c_str(), &ifName, NULL) && (!szIfName[0] || ifName == szIfName);
}

static int countLines(const std::string *text)
{
    int lines = 0;
    for (size_t at = 0; text && at < text->size();) {
        size_t end = text->find('\n', at);
        if (end == std::string::npos)
            end = text->size();
        lines += end > at;
        at = end + 1;
    }
    return lines;
}

static bool pxeServed(const QuomoConfig &config, const char *szIfName)
{
    if (!szIfName[0]) {
        const std::string *key = findFile(config, QUOMO_HISTORY_PXE_PATH);
        return key && *key == "yes";
    }
    char szPath[QUOMO_PATH_LEN];
    orvFormat(szPath, sizeof szPath, QUOMO_SUBNET_FILE_FORMAT, szIfName, QUOMO_PXE_TAG, "info");
    const std::string *info = findFile(config, szPath + 1);
    return info && info->find("enable=\"yes\"") != std::string::npos;
}

void quomoConfigSummary(const QuomoConfig *pConfig, const char *szIfName, char *szBuf,
                            size_t cbBuf)
{
    if (!pConfig || !szBuf || !cbBuf)
        return;
    const char *ifName = szIfName ? szIfName : "";
    int subnets = 0;
    for (const auto &file : pConfig->files)
        subnets += isOrdinarySubnet(file.first, ifName);
    int reservations = countLines(findFile(*pConfig, &QUOMO_STATIC_LIST[1]));
    orvFormat(szBuf, cbBuf, "%s%s%d subnet%s, %d reservation%s, PXE %s", ifName,
              ifName[0] ? ": " : "", subnets, subnets == 1 ? "" : "s", reservations,
              reservations == 1 ? "" : "s", pxeServed(*pConfig, ifName) ? "on" : "off");
}

/* ---- restore ---- */

/* The interface a file of the configuration belongs to; "" for the shared
 * files (the reservations, the "pxeenable" switch). */
static std::string interfaceOf(const std::string &path)
{
    std::string ifName;
    if (quomoParsePairName(path.c_str(), &ifName, NULL) ||
        quomoParsePairName(path.c_str(), &ifName, QUOMO_PXE_TAG) ||
        quomoParsePairName(path.c_str(), &ifName, QUOMO_OPTIONS_TAG))
        return ifName;
    const char *name = quomoDhcpdName(path.c_str());
    if (name && strncmp(name, "orvath-", 7) == 0) {
        const char *dot = strrchr(name, '.');
        return std::string(name + 7, dot ? (size_t)(dot - name - 7) : strlen(name + 7));
    }
    return "";
}

static bool inScope(const std::string &path, const char *szIfName)
{
    return !szIfName || !szIfName[0] || interfaceOf(path) == szIfName;
}

/* A root of its own where a revision's files are laid out for the stores'
 * readers; removed with everything in it when it goes. */
class ScratchRoot {
public:
    ScratchRoot()
    {
        char szTemplate[QUOMO_PATH_LEN];
        saved_ = orvRoot();
        if (orvPath(szTemplate, sizeof szTemplate, QUOMO_PRIVATE_DIR "/revert.XXXXXX") &&
            orvMakeDirs(std::string(szTemplate).substr(0, strlen(szTemplate) - 14).c_str(), 0700) &&
            mkdtemp(szTemplate))
            dir_ = szTemplate;
    }
    ~ScratchRoot()
    {
        leave();
        if (!dir_.empty())
            nftw(dir_.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    }
    ScratchRoot(const ScratchRoot &) = delete;
    ScratchRoot &operator=(const ScratchRoot &) = delete;

    bool ok() const { return !dir_.empty(); }
    bool put(const std::string &path, const std::string &content) const
    {
        std::string full = dir_ + "/" + path;
        std::string dir = full.substr(0, full.rfind('/'));
        return orvMakeDirs(dir.c_str(), 0700) &&
               orvReplaceFile(full.c_str(), content.data(), content.size(), 0600);
    }
    void enter() { setenv("ORVATH_ROOT", dir_.c_str(), 1); }
    void leave()
    {
        if (saved_.empty())
            unsetenv("ORVATH_ROOT");
        else
            setenv("ORVATH_ROOT", saved_.c_str(), 1);
    }

private:
    static int removeEntry(const char *path, const struct stat *, int, struct FTW *)
    {
        return remove(path) == 0 ? 0 : 0;
    }
    std::string dir_;
    std::string saved_;
};

/* Checks every file the revert would write as a save would write it: each
 * store reads it back with its own reader, and the file must be exactly
 * what the store writes for what it read. */
static bool verifyFiles(const QuomoConfig &target, const std::vector<std::string> &paths,
                        char *szWhy, size_t cbWhy)
{
    ScratchRoot scratch;
    if (!scratch.ok()) {
        orvFormat(szWhy, cbWhy, "%s: cannot be checked", QUOMO_PRIVATE_DIR + 1);
        return false;
    }
    for (const auto &file : target.files) {
        std::string path = file.first == QUOMO_HISTORY_PXE_PATH ? &QUOMO_APPLIANCE_CONF[1] : file.first;
        std::string content = file.first == QUOMO_HISTORY_PXE_PATH
                                  ? std::string(QUOMO_HISTORY_PXE_KEY "=\"") + file.second + "\"\n"
                                  : file.second;
        if (!scratch.put(path, content)) {
            orvFormat(szWhy, cbWhy, "%s: cannot be checked", path.c_str());
            return false;
        }
    }
    scratch.enter();
    bool ok = true;
    for (size_t i = 0; ok && i < paths.size(); ++i) {
        const std::string *content = findFile(target, paths[i]);
        const char *path = paths[i].c_str();
        char szReason[256] = "";
        if (quomoSubnetStoreOwns(path))
            ok = quomoSubnetVerify(path, *content, szReason, sizeof szReason);
        else if (quomoPxeStoreOwns(path))
            ok = quomoPxeVerify(path, *content, szReason, sizeof szReason);
        else if (quomoOptionStoreOwns(path))
            ok = quomoOptionVerify(path, *content, szReason, sizeof szReason);
        else if (quomoReservationStoreOwns(path))
            ok = quomoReservationVerify(path, *content, szReason, sizeof szReason);
        else if (quomoSwitchesOwns(path))
            ok = quomoSwitchesVerify(path, *content, szReason, sizeof szReason);
        else if (quomoAccessStoreOwns(path))
            ok = quomoAccessVerify(path, *content, szReason, sizeof szReason);
        else if (quomoNameStoreOwns(path))
            ok = quomoNameVerify(path, *content, szReason, sizeof szReason);
        else if (quomoIpv6StoreOwns(path))
            ok = quomoIpv6Verify(path, *content, szReason, sizeof szReason);
        else
            ok = orvCopy(szReason, sizeof szReason, "not a file of this system") && false;
        if (!ok)
            orvFormat(szWhy, cbWhy, "%s: %s", path, szReason);
    }
    scratch.leave();
    return ok;
}

/* Stages the target's file: written, or removed when the target lacks it. */
static bool stageFile(const std::string &path, const std::string *content)
{
    if (path == QUOMO_HISTORY_PXE_PATH)
        return !content || quomoSetPxeEnableKey(*content == "yes");
    char szPath[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, "/%s", path.c_str())) {
        orvNoteFailure(szPath, ENAMETOOLONG);
        return false;
    }
    return content ? quomoMakeDhcpdDir() && quomoStageFile(szPath, content->data(), content->size())
                   : quomoStageRemove(szPath);
}

int quomoConfigRestore(const QuomoConfig *pTarget, const char *szIfName, char *szWhy, size_t cbWhy)
{
    orvCopy(szWhy, cbWhy, "");
    QuomoConfig *current = quomoConfigRead();
    if (!pTarget || !current) {
        quomoConfigFree(current);
        return 0;
    }
    /* What differs, of the files the system owns (a store that was tampered
     * with may name others: they are refused below). */
    std::vector<std::string> writes, removals;
    for (const auto &file : pTarget->files) {
        const std::string *now = findFile(*current, file.first);
        if (inScope(file.first, szIfName) && !(now && *now == file.second))
            writes.push_back(file.first);
    }
    for (const auto &file : current->files) {
        if (inScope(file.first, szIfName) && file.first != QUOMO_HISTORY_PXE_PATH &&
            !findFile(*pTarget, file.first))
            removals.push_back(file.first);
    }
    quomoConfigFree(current);
    for (const std::string &path : writes) {
        if (!quomoConfigOwns(path.c_str())) {
            orvFormat(szWhy, cbWhy, "%s: not a file of this system", path.c_str());
            return 0;
        }
    }
    if (!verifyFiles(*pTarget, writes, szWhy, cbWhy))
        return 0;
    QuomoChangeScope scope;
    bool ok = true;
    for (size_t i = 0; ok && i < writes.size(); ++i)
        ok = stageFile(writes[i], findFile(*pTarget, writes[i]));
    for (size_t i = 0; ok && i < removals.size(); ++i)
        ok = stageFile(removals[i], NULL);
    return scope.commit(ok);
}
