/*
 * orvath: the configuration history as the requests see it. Every changing
 * action that changed the configuration records one revision (the store is
 * the library's, quomodhcp.h); the readings the page loads from carry the
 * newest revision's number, and a change made from an older one is refused
 * as a conflict. Three actions: listHistory, showRevision, revertTo.
 */
#ifndef ORVATH_HISTORY_H
#define ORVATH_HISTORY_H

#include <json/json.h>

#include "orvath.h"

/* The history's part in one request, from inside its hold of the request
 * lock until before its restart. */
class HistoryHook {
public:
    /* changes: the action may change the configuration. */
    HistoryHook(DhcpHandler &handler, const char *szAction, bool changes);
    ~HistoryHook();
    HistoryHook(const HistoryHook &) = delete;
    HistoryHook &operator=(const HistoryHook &) = delete;

    /* Before the handler. False, with "conflict" and "error", when the
     * request's "baseRevision" is not the newest revision: the request then
     * writes nothing. Otherwise opens the request's change. */
    bool before(Json::Value &answer);
    /* After the handler of a changing action: commits its change when the
     * handler succeeded ("revision" and the audit line, or "historyError"
     * when it could not be recorded), drops it otherwise. The result. */
    bool commit(bool result, Json::Value &answer);
    /* Gives the readings the page loads from "revision", also when they
     * found nothing stored, so that the first save of an interface is
     * checked as well. */
    void after(Json::Value &answer);

private:
    bool conflicts(Json::Value &answer);

    DhcpHandler &handler_;
    const char *szAction_;
    bool changes_;
    bool begun_ = false;
};

/* "listHistory": "limit" (default 50, at most 500); "revisions", newest
 * first. */
bool listHistory(DhcpHandler &handler, Json::Value &answer);
/* "showRevision": "id"; the revision's members and "files": the files that
 * differ from the revision before it, with a unified diff each. */
bool showRevision(DhcpHandler &handler, Json::Value &answer);
/* "revertTo": "id"; puts that revision's configuration back as one change
 * and answers "revertOf". */
bool revertTo(DhcpHandler &handler, Json::Value &answer);

#endif /* ORVATH_HISTORY_H */
