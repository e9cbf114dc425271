/*
 * The configuration as a whole: read from disk for the history, and put back
 * from a revision as one change.
 */
#include "config_files.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "vorl.h"

/* "etc/dhcpd/": the paths of the configuration are relative to the root. */
static const char *const kDhcpdPrefix = &QUOMO_DHCPD_DIR "/"[1];
static const size_t kDhcpdPrefixLen = sizeof QUOMO_DHCPD_DIR "/" - 2;

static bool hasPrefix(const char *szText, const char *szPrefix)
{
    return strncmp(szText, szPrefix, strlen(szPrefix)) == 0;
}

static bool hasSuffix(const char *szText, const char *szSuffix)
{
    size_t len = strlen(szText), suffixLen = strlen(szSuffix);
    return len >= suffixLen && strcmp(szText + len - suffixLen, szSuffix) == 0;
}

/* The names the system writes in /etc/dhcpd: subnet fragments and settings
 * files, the reservation list, the subnet switches and the appliance's
 * settings. Not the lease log, nor the temporaries ".<name>.XXXXXX". */
static bool isConfigName(const char *szName)
{
    if (szName[0] == '.' || strchr(szName, '/'))
        return false;
    if (strcmp(szName, orvBaseName(QUOMO_STATIC_LIST)) == 0 ||
        strcmp(szName, orvBaseName(QUOMO_APPLIANCE_INFO)) == 0)
        return true;
    if (hasPrefix(szName, "orvath-") && hasSuffix(szName, ".switches"))
        return true;
    return hasPrefix(szName, "dhcpd-") && (hasSuffix(szName, ".conf") || hasSuffix(szName, ".info"));
}

/* A path of the configuration that names a file of /etc/dhcpd (not the
 * pseudo-file): a store that was tampered with names nothing else. */
static bool isConfigFilePath(const std::string &path)
{
    return path.compare(0, kDhcpdPrefixLen, kDhcpdPrefix) == 0 &&
           isConfigName(path.c_str() + kDhcpdPrefixLen);
}

void quomoConfigSort(QuomoConfig &config)
{
    std::sort(config.files.begin(), config.files.end());
}

static bool readConfigFile(QuomoConfig &config, const char *szDir, const char *szName)
{
    char szPath[QUOMO_PATH_LEN];
    if (!orvFormat(szPath, sizeof szPath, "%s/%s", szDir, szName))
        return true; /* no file of the system has such a name */
    struct stat st;
    if (lstat(szPath, &st) != 0 || !S_ISREG(st.st_mode))
        return true;
    std::string content;
    int read = orvReadFile(szPath, content);
    if (read < 0) {
        ORV_LOG("Cannot read %s: %s", szPath, strerror(errno));
        orvNoteFailure(szPath, errno);
        return false;
    }
    if (read > 0)
        config.files.emplace_back(std::string(kDhcpdPrefix) + szName, content);
    return true;
}

static bool readConfigFiles(QuomoConfig &config)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, QUOMO_DHCPD_DIR))
        return false;
    DIR *dir = opendir(szDir);
    if (!dir)
        return errno == ENOENT; /* nothing written yet */
    bool ok = true;
    for (struct dirent *entry; ok && (entry = readdir(dir));) {
        if (isConfigName(entry->d_name))
            ok = readConfigFile(config, szDir, entry->d_name);
    }
    closedir(dir);
    return ok;
}

static void readPxeKey(QuomoConfig &config)
{
    char szPath[QUOMO_PATH_LEN], szValue[64];
    if (orvPath(szPath, sizeof szPath, QUOMO_APPLIANCE_CONF) &&
        VORLCFileGetKeyValue(szPath, QUOMO_HISTORY_PXE_KEY, szValue, sizeof szValue, 0) > 0)
        config.files.emplace_back(QUOMO_HISTORY_PXE_PATH, szValue);
}

QuomoConfig *quomoConfigRead(void)
{
    QuomoConfig *config = new QuomoConfig;
    if (!readConfigFiles(*config)) {
        delete config;
        return NULL;
    }
    readPxeKey(*config);
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

/* An ordinary subnet's settings file "etc/dhcpd/dhcpd-<if>-<if><n>.info",
 * of szIfName or, when it is empty, of any interface. */
static bool isOrdinarySubnet(const std::string &path, const char *szIfName)
{
    if (!isConfigFilePath(path) || !hasPrefix(path.c_str() + kDhcpdPrefixLen, "dhcpd-") ||
        !hasSuffix(path.c_str(), ".info"))
        return false;
    std::string name = path.substr(kDhcpdPrefixLen + strlen("dhcpd-"));
    name.resize(name.size() - strlen(".info"));
    size_t dash = name.rfind('-');
    if (dash == std::string::npos)
        return false;
    std::string ifName = name.substr(0, dash), tag = name.substr(dash + 1);
    if (szIfName[0] && ifName != szIfName)
        return false;
    return tag.size() > ifName.size() && tag.compare(0, ifName.size(), ifName) == 0 &&
           tag.find_first_not_of("0123456789", ifName.size()) == std::string::npos;
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

struct PreparedFile {
    std::string path, temp;
};

static void abandonAll(const std::vector<PreparedFile> &prepared)
{
    for (const PreparedFile &file : prepared)
        orvAbandonReplace(file.temp.c_str());
}

/* Writes every file of pTarget that differs from what is on disk to its
 * temporary; nothing is renamed yet. */
static bool prepareFiles(const QuomoConfig &target, const QuomoConfig &current,
                         std::vector<PreparedFile> &prepared)
{
    for (const auto &file : target.files) {
        if (file.first == QUOMO_HISTORY_PXE_PATH)
            continue;
        const std::string *now = findFile(current, file.first);
        if (now && *now == file.second)
            continue;
        char szPath[QUOMO_PATH_LEN], szTemp[QUOMO_PATH_LEN];
        if (!isConfigFilePath(file.first) ||
            !orvPath(szPath, sizeof szPath, "/%s", file.first.c_str())) {
            ORV_LOG("Refused to restore %s", file.first.c_str());
            orvNoteFailure(file.first.c_str(), EINVAL);
            return false;
        }
        if (!orvPrepareReplace(szPath, file.second.data(), file.second.size(), 0644, szTemp,
                               sizeof szTemp))
            return false;
        prepared.push_back({szPath, szTemp});
    }
    return true;
}

static bool commitFiles(const std::vector<PreparedFile> &prepared)
{
    bool ok = true;
    for (const PreparedFile &file : prepared)
        ok = orvCommitReplace(file.temp.c_str(), file.path.c_str()) && ok;
    return ok;
}

static bool restorePxeKey(const QuomoConfig &target, const QuomoConfig &current)
{
    const std::string *value = findFile(target, QUOMO_HISTORY_PXE_PATH);
    const std::string *now = findFile(current, QUOMO_HISTORY_PXE_PATH);
    if (!value || (now && *now == *value))
        return true;
    char szPath[QUOMO_PATH_LEN];
    if (orvPath(szPath, sizeof szPath, QUOMO_APPLIANCE_CONF) &&
        VORLCFileSetKeyValue(szPath, QUOMO_HISTORY_PXE_KEY, value->c_str(), QUOMO_INFO_FORMAT) > 0)
        return true;
    ORV_LOG("Failed to set %s of %s", QUOMO_HISTORY_PXE_KEY, QUOMO_APPLIANCE_CONF);
    orvNoteFailure(szPath, errno ? errno : EIO);
    return false;
}

/* Removes the files on disk that the target does not hold. */
static bool removeExtraFiles(const QuomoConfig &target, const QuomoConfig &current)
{
    bool ok = true;
    for (const auto &file : current.files) {
        if (file.first == QUOMO_HISTORY_PXE_PATH || findFile(target, file.first))
            continue;
        char szPath[QUOMO_PATH_LEN];
        if (orvPath(szPath, sizeof szPath, "/%s", file.first.c_str()) && unlink(szPath) != 0 &&
            errno != ENOENT) {
            ORV_LOG("Cannot remove %s: %s", szPath, strerror(errno));
            orvNoteFailure(szPath, errno);
            ok = false;
        }
    }
    return ok;
}

int quomoConfigRestore(const QuomoConfig *pTarget)
{
    QuomoConfig *current = quomoConfigRead();
    if (!pTarget || !current) {
        quomoConfigFree(current);
        return 0;
    }
    std::vector<PreparedFile> prepared;
    bool ok = prepareFiles(*pTarget, *current, prepared);
    if (!ok)
        abandonAll(prepared);
    if (ok) {
        /* Each step runs even when one before it failed: the first failure
         * is the one told. */
        ok = commitFiles(prepared);
        ok = restorePxeKey(*pTarget, *current) && ok;
        ok = removeExtraFiles(*pTarget, *current) && ok;
    }
    quomoConfigFree(current);
    return ok;
}
