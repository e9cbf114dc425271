/*
 * orvath: the configuration history: the revision each change records, the
 * conflict between two pages, and the actions that list, show and revert
 * revisions.
 */
#include "history.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <dtl/dtl.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "json_members.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"

static const int kDefaultListLimit = 50;
static const int kMaxListLimit = 500;

/* The readings the page loads a form from: they carry the revision the
 * page's later save is based on. */
static const char *const kRevisionReadings[] = {"loadGlobal", "getIfData", "loadStatic",
                                                "loadpxesubnet", "loadOptions"};

/* ---- values ---- */

/* A request's text as the log and the store keep it: control characters
 * become '?'. */
template <size_t N> static void cleanCopy(char (&buf)[N], const char *szText)
{
    orvCopy(buf, N, szText);
    for (char *c = buf; *c; ++c) {
        if ((unsigned char)*c < 0x20 || *c == 0x7f)
            *c = '?';
    }
}

/* A revision id: digits only, at least 1. */
static bool parseId(const char *szText, int64_t &id)
{
    if (!szText || !szText[0] || strspn(szText, "0123456789") != strlen(szText) ||
        strlen(szText) > 18)
        return false;
    id = strtoll(szText, NULL, 10);
    return id > 0;
}

static Json::Value revisionJson(const QuomoRevision &rev)
{
    Json::Value item(Json::objectValue);
    item["id"] = (Json::Int64)rev.id;
    item["time"] = (Json::Int64)rev.time;
    item["user"] = rev.szUser;
    item["addr"] = rev.szAddr;
    item["action"] = rev.szAction;
    item["iftype"] = rev.szIfName;
    item["summary"] = rev.szSummary;
    if (rev.revertOf)
        item["revertOf"] = (Json::Int64)rev.revertOf;
    return item;
}

/* The interface the request names: its "iftype", the PXE form's interface,
 * or the interface of "applydata"'s global settings. */
static std::string requestedInterface(DhcpHandler &handler)
{
    for (const char *name : {"iftype", "pxe_interface", "if_name"}) {
        const char *value = paramText(handler, name);
        if (value[0])
            return value;
    }
    Json::Value settings;
    if (handler.webvard.In("dataArray", NULL) && parseJsonParam(handler, "dataArray", settings) && settings.isObject() &&
        settings["iftype"].isString())
        return settings["iftype"].asString();
    return "";
}

static void fillIntent(DhcpHandler &handler, const char *szAction, QuomoRevision &intent)
{
    intent = QuomoRevision();
    intent.time = orvNow();
    const char *user = getenv("REMOTE_USER"), *addr = getenv("REMOTE_ADDR");
    cleanCopy(intent.szUser, user ? user : "");
    cleanCopy(intent.szAddr, addr ? addr : "");
    cleanCopy(intent.szAction, szAction);
    cleanCopy(intent.szIfName, requestedInterface(handler).c_str());
    int64_t id = 0;
    if (strcmp(szAction, "revertTo") == 0 && parseId(paramText(handler, "id"), id))
        intent.revertOf = id;
}

static std::string utcText(int64_t when)
{
    time_t t = (time_t)when;
    struct tm tm;
    char buf[64];
    if (!gmtime_r(&t, &tm) || !strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm))
        return std::to_string(when);
    return buf;
}

/* ---- the hook ---- */

HistoryHook::HistoryHook(DhcpHandler &handler, const char *szAction, bool changes)
    : handler_(handler), szAction_(szAction), changes_(changes)
{
}

HistoryHook::~HistoryHook()
{
    if (begun_)
        QUOMODHCPChangeAbandon();
}

/* The request's "baseRevision" (absent or empty: no check) is not the
 * newest revision: a conflict, or a refusal when it is no number. */
bool HistoryHook::conflicts(Json::Value &answer)
{
    const char *base = handler_.webvard.In("baseRevision", NULL);
    if (!base || !base[0])
        return false;
    int64_t baseId = 0;
    if (strcmp(base, "0") != 0 && !parseId(base, baseId)) {
        answer["error"] = "baseRevision: not a revision number";
        return true;
    }
    char szError[QUOMO_PATH_LEN + 128];
    QuomoHistory *history = QUOMODHCPHistoryOpen(0, szError, sizeof szError);
    if (!history)
        return false; /* nothing recorded yet, or a store the change will put aside */
    QuomoRevision top;
    int have = QUOMODHCPHistoryNewest(history, &top);
    QUOMODHCPHistoryClose(history);
    if (have < 0 || (have == 0 && baseId == 0) || (have > 0 && top.id == baseId))
        return false;
    answer["conflict"] = true;
    if (have == 0)
        answer["error"] = "the history was started anew since this page was loaded";
    else
        answer["error"] = std::string("changed by ") + top.szUser + " from " + top.szAddr +
                          " at " + utcText(top.time) + " since this page was loaded";
    return true;
}

bool HistoryHook::before(Json::Value &answer)
{
    if (!changes_)
        return true;
    if (conflicts(answer))
        return false;
    begun_ = QUOMODHCPChangeBegin() != 0;
    return true;
}

bool HistoryHook::commit(bool result, Json::Value &answer)
{
    if (!begun_)
        return result;
    begun_ = false;
    if (!result) {
        QUOMODHCPChangeAbandon();
        return false;
    }
    QuomoRevision intent;
    fillIntent(handler_, szAction_, intent);
    int64_t id = 0;
    char szHistoryError[QUOMO_PATH_LEN + 128];
    if (!QUOMODHCPChangeCommit(&intent, &id, szHistoryError, sizeof szHistoryError))
        return false;
    if (szHistoryError[0])
        answer["historyError"] = szHistoryError;
    if (id > 0) {
        answer["revision"] = (Json::Int64)id;
        ORV_LOG("Configuration changed by %s from %s: %s%s%s, revision %lld", intent.szUser,
                intent.szAddr, intent.szAction, intent.szIfName[0] ? " " : "", intent.szIfName,
                (long long)id);
    }
    return true;
}

static bool isRevisionReading(const char *szAction)
{
    for (const char *reading : kRevisionReadings) {
        if (strcmp(reading, szAction) == 0)
            return true;
    }
    return false;
}

void HistoryHook::after(Json::Value &answer)
{
    if (changes_ || !isRevisionReading(szAction_))
        return;
    char szError[QUOMO_PATH_LEN + 128];
    QuomoHistory *history = QUOMODHCPHistoryOpen(0, szError, sizeof szError);
    QuomoRevision top;
    int have = history ? QUOMODHCPHistoryNewest(history, &top) : 0;
    QUOMODHCPHistoryClose(history);
    answer["revision"] = (Json::Int64)(have > 0 ? top.id : 0);
}

/* ---- listHistory ---- */

static bool readLimit(DhcpHandler &handler, int &limit, Json::Value &answer)
{
    const char *text = handler.webvard.In("limit", NULL);
    int64_t value = kDefaultListLimit;
    if (text && !parseId(text, value)) {
        answer["error"] = "limit: not a whole number of at least 1";
        return false;
    }
    limit = value > kMaxListLimit ? kMaxListLimit : (int)value;
    return true;
}

/* Opens the store for a reading action; false, with "error", when it is
 * damaged. An absent store is an empty history (true, NULL). */
static bool openForReading(QuomoHistory *&history, Json::Value &answer)
{
    char szError[QUOMO_PATH_LEN + 128];
    history = QUOMODHCPHistoryOpen(0, szError, sizeof szError);
    if (history || !szError[0])
        return true;
    answer["error"] = szError;
    return false;
}

bool listHistory(DhcpHandler &handler, Json::Value &answer)
{
    int limit = 0;
    QuomoHistory *history = NULL;
    if (!readLimit(handler, limit, answer) || !openForReading(history, answer))
        return false;
    std::vector<QuomoRevision> revs(limit);
    int n = history ? QUOMODHCPHistoryList(history, revs.data(), limit) : 0;
    QUOMODHCPHistoryClose(history);
    if (n < 0) {
        answer["error"] = "history: cannot be read";
        return false;
    }
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < n; ++i)
        list.append(revisionJson(revs[i]));
    answer["revisions"] = list;
    return true;
}

/* ---- showRevision ---- */

static std::vector<std::string> splitLines(const char *data, size_t len)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < len;) {
        const char *end = (const char *)memchr(data + at, '\n', len - at);
        size_t stop = end ? (size_t)(end - data) : len;
        lines.emplace_back(data + at, stop - at);
        at = stop + 1;
    }
    return lines;
}

/* The unified diff of a file from its content before to its content after
 * (NULL: absent). */
static std::string unifiedDiff(const std::string &path, const std::string *before,
                               const std::string *after)
{
    std::vector<std::string> a = before ? splitLines(before->data(), before->size())
                                        : std::vector<std::string>();
    std::vector<std::string> b = after ? splitLines(after->data(), after->size())
                                       : std::vector<std::string>();
    dtl::Diff<std::string, std::vector<std::string>> diff(a, b);
    diff.onHuge();
    diff.compose();
    diff.composeUnifiedHunks();
    std::ostringstream text;
    text << "--- " << (before ? "a/" + path : std::string("/dev/null")) << "\n";
    text << "+++ " << (after ? "b/" + path : std::string("/dev/null")) << "\n";
    diff.printUnifiedFormat(text);
    return text.str();
}

typedef std::vector<std::pair<std::string, std::string>> FileList;

static FileList filesOf(const QuomoConfig *config)
{
    FileList files;
    const char *path, *data;
    size_t len;
    for (int i = 0; QUOMODHCPConfigFile(config, i, &path, &data, &len); ++i)
        files.emplace_back(path, std::string(data, len));
    return files;
}

static Json::Value fileChange(const std::string &path, const std::string *before,
                              const std::string *after)
{
    Json::Value file(Json::objectValue);
    file["path"] = path;
    file["change"] = !before ? "added" : !after ? "removed" : "changed";
    file["diff"] = unifiedDiff(path, before, after);
    return file;
}

/* The files that differ between two configurations, in path order. */
static Json::Value changedFiles(const QuomoConfig *before, const QuomoConfig *after)
{
    FileList a = filesOf(before), b = filesOf(after);
    Json::Value files(Json::arrayValue);
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i].first < b[j].first)) {
            files.append(fileChange(a[i].first, &a[i].second, NULL));
            ++i;
        } else if (i == a.size() || b[j].first < a[i].first) {
            files.append(fileChange(b[j].first, NULL, &b[j].second));
            ++j;
        } else {
            if (a[i].second != b[j].second)
                files.append(fileChange(a[i].first, &a[i].second, &b[j].second));
            ++i;
            ++j;
        }
    }
    return files;
}

/* The revision the request's "id" names, with its configuration; false,
 * with "error", when there is none. */
static bool findRevision(DhcpHandler &handler, QuomoHistory *history, QuomoRevision &rev,
                         QuomoConfig *&config, Json::Value &answer)
{
    int64_t id = 0;
    const char *text = paramText(handler, "id");
    if (!parseId(text, id)) {
        answer["error"] = "id: not a revision number";
        return false;
    }
    int found = history ? QUOMODHCPHistoryGet(history, id, &rev, &config) : 0;
    if (found < 0)
        answer["error"] = "history: cannot be read";
    else if (found == 0)
        answer["error"] = std::string("no revision ") + text + " in the history";
    return found > 0;
}

static bool showWith(DhcpHandler &handler, QuomoHistory *history, Json::Value &answer)
{
    QuomoRevision rev, previous;
    QuomoConfig *config = NULL, *before = NULL;
    if (!findRevision(handler, history, rev, config, answer))
        return false;
    bool ok = QUOMODHCPHistoryPrevious(history, rev.id, &previous, &before) >= 0;
    if (ok) {
        Json::Value item = revisionJson(rev);
        for (const std::string &name : item.getMemberNames())
            answer[name] = item[name];
        answer["files"] = changedFiles(before, config);
    } else {
        answer["error"] = "history: cannot be read";
    }
    QUOMODHCPConfigFree(before);
    QUOMODHCPConfigFree(config);
    return ok;
}

bool showRevision(DhcpHandler &handler, Json::Value &answer)
{
    QuomoHistory *history = NULL;
    if (!openForReading(history, answer))
        return false;
    bool ok = showWith(handler, history, answer);
    QUOMODHCPHistoryClose(history);
    return ok;
}

/* ---- revertTo ---- */

bool revertTo(DhcpHandler &handler, Json::Value &answer)
{
    QuomoHistory *history = NULL;
    if (!openForReading(history, answer))
        return false;
    if (!history) {
        answer["error"] = "history: empty";
        return false;
    }
    QuomoRevision rev;
    QuomoConfig *config = NULL;
    bool ok = findRevision(handler, history, rev, config, answer);
    QUOMODHCPHistoryClose(history);
    if (!ok)
        return false;
    char szWhy[QUOMO_PATH_LEN + 256];
    ok = QUOMODHCPConfigRestore(config, NULL, szWhy, sizeof szWhy) != 0;
    QUOMODHCPConfigFree(config);
    if (!ok && szWhy[0])
        answer["error"] = szWhy;
    if (ok)
        answer["revertOf"] = (Json::Int64)rev.id;
    return ok;
}
