/*
 * orvath: the configuration history: the revision each change records, the
 * conflict between two pages, and the actions that list, show and revert
 * revisions.
 */
#include "history.h"

#include "handlers.h"

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

static void fillIntent(const char *szAction, const ActionRequest &request, QuomoRevision &intent)
{
    intent = QuomoRevision();
    intent.time = orvNow();
    const char *user = getenv("REMOTE_USER"), *addr = getenv("REMOTE_ADDR");
    cleanCopy(intent.szUser, user ? user : "");
    cleanCopy(intent.szAddr, addr ? addr : "");
    cleanCopy(intent.szAction, szAction);
    cleanCopy(intent.szIfName, requestInterface(request).c_str());
    if (const RevertRequest *revert = std::get_if<RevertRequest>(&request))
        intent.revertOf = revert->id;
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

HistoryHook::HistoryHook(const char *szAction, bool changes, bool readsHistory)
    : szAction_(szAction), changes_(changes), readsHistory_(readsHistory)
{
}

HistoryHook::~HistoryHook()
{
    if (begun_)
        QUOMODHCPChangeAbandon();
    QUOMODHCPHistoryClose(store_);
}

/* The request's "baseRevision" (not given: no check) is not the newest
 * revision: a conflict. */
bool HistoryHook::conflicts(const BaseRevision &base, Json::Value &answer)
{
    if (!base.given)
        return false;
    char szError[QUOMO_PATH_LEN + 128];
    int64_t id = 0;
    if (QUOMODHCPHistoryNewestId(&id, szError, sizeof szError) > 0 && id == base.id)
        return false;
    QuomoHistory *history = QUOMODHCPHistoryOpen(0, szError, sizeof szError);
    if (!history)
        return false; /* nothing recorded yet, or a store the change will put aside */
    QuomoRevision top;
    int have = QUOMODHCPHistoryNewest(history, &top);
    QUOMODHCPHistoryClose(history);
    if (have < 0 || (have == 0 && base.id == 0) || (have > 0 && top.id == base.id))
        return false;
    answer["conflict"] = true;
    answerError(answer, "conflict",
                have == 0 ? std::string("the history was started anew since this page was loaded")
                          : std::string("changed by ") + top.szUser + " from " + top.szAddr + " at " +
                                utcText(top.time) + " since this page was loaded");
    return true;
}

bool HistoryHook::before(const BaseRevision &base, Json::Value &answer)
{
    if (readsHistory_) {
        char szError[QUOMO_PATH_LEN + 128];
        store_ = QUOMODHCPHistoryOpen(0, szError, sizeof szError);
        if (!store_ && szError[0])
            return answerError(answer, "history", szError, &QUOMO_HISTORY_PATH[1]);
    }
    if (!changes_)
        return true;
    if (conflicts(base, answer))
        return false;
    begun_ = QUOMODHCPChangeBegin() != 0;
    return true;
}

bool HistoryHook::commit(bool result, const ActionRequest &request, Json::Value &answer)
{
    /* The change opens the store for writing: this reading of it ends. */
    QUOMODHCPHistoryClose(store_);
    store_ = NULL;
    if (!begun_)
        return result;
    begun_ = false;
    if (!result) {
        QUOMODHCPChangeAbandon();
        return false;
    }
    QuomoRevision intent;
    fillIntent(szAction_, request, intent);
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

void HistoryHook::answerRevision(Json::Value &answer)
{
    char szError[QUOMO_PATH_LEN + 128];
    int64_t id = 0;
    QUOMODHCPHistoryNewestId(&id, szError, sizeof szError);
    answer["revision"] = (Json::Int64)id;
}

/* ---- listHistory ---- */

static bool readLimit(const RequestContext &ctx, int &limit)
{
    const char *text = ctx.cgi.In("limit", NULL);
    int64_t value = kDefaultListLimit;
    if (text && !parseRevisionId(text, value))
        return answerError(ctx.answer, "invalid", "limit: not a whole number of at least 1", "limit");
    limit = value > kMaxListLimit ? kMaxListLimit : (int)value;
    return true;
}

static bool cannotRead(Json::Value &answer)
{
    return answerError(answer, "history", "history: cannot be read");
}

bool listHistory(RequestContext &ctx)
{
    int limit = 0;
    if (!readLimit(ctx, limit))
        return false;
    std::vector<QuomoRevision> revs(limit);
    int n = ctx.history ? QUOMODHCPHistoryList(ctx.history, revs.data(), limit) : 0;
    if (n < 0)
        return cannotRead(ctx.answer);
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < n; ++i)
        list.append(revisionJson(revs[i]));
    ctx.answer["revisions"] = list;
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

/* The revision id names, with its configuration; false, with "error", when
 * there is none. */
static bool findRevision(QuomoHistory *history, int64_t id, QuomoRevision &rev,
                         QuomoConfig *&config, Json::Value &answer)
{
    int found = history ? QUOMODHCPHistoryGet(history, id, &rev, &config) : 0;
    if (found < 0)
        return cannotRead(answer);
    if (found == 0)
        return answerError(answer, "history",
                           "no revision " + std::to_string((long long)id) + " in the history", "id");
    return true;
}

bool showRevision(RequestContext &ctx)
{
    int64_t id = 0;
    if (!parseRevisionId(ctx.param("id"), id))
        return answerError(ctx.answer, "invalid", "id: not a revision number", "id");
    QuomoRevision rev, previous;
    QuomoConfig *config = NULL, *before = NULL;
    if (!findRevision(ctx.history, id, rev, config, ctx.answer))
        return false;
    bool ok = QUOMODHCPHistoryPrevious(ctx.history, rev.id, &previous, &before) >= 0;
    if (ok) {
        Json::Value item = revisionJson(rev);
        for (const std::string &name : item.getMemberNames())
            ctx.answer[name] = item[name];
        ctx.answer["files"] = changedFiles(before, config);
    } else {
        cannotRead(ctx.answer);
    }
    QUOMODHCPConfigFree(before);
    QUOMODHCPConfigFree(config);
    return ok;
}

/* ---- revertTo ---- */

bool revertTo(RequestContext &ctx)
{
    const RevertRequest &request = ctx.as<RevertRequest>();
    if (!ctx.history)
        return answerError(ctx.answer, "history", "history: empty");
    QuomoRevision rev;
    QuomoConfig *config = NULL;
    if (!findRevision(ctx.history, request.id, rev, config, ctx.answer))
        return false;
    char szWhy[QUOMO_PATH_LEN + 256];
    const char *szIfName = request.ifName.empty() ? NULL : request.ifName.c_str();
    bool ok = QUOMODHCPConfigRestore(config, szIfName, szWhy, sizeof szWhy) != 0;
    QUOMODHCPConfigFree(config);
    if (!ok && szWhy[0]) {
        const char *colon = strstr(szWhy, ": ");
        return answerError(ctx.answer, "invalid", szWhy, colon ? std::string(szWhy, (size_t)(colon - szWhy)) : std::string());
    }
    if (ok)
        ctx.answer["revertOf"] = (Json::Int64)rev.id;
    return ok;
}
