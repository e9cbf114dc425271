/*
 * orvath: the configuration history as the requests see it. Every changing
 * action's change is one transaction that records one revision (the store
 * is the library's, quomodhcp.h); the readings the page loads from carry
 * the newest revision's number, and a change made from an older one is
 * refused as a conflict. The actions that list, show and revert revisions
 * are handlers (handlers.h).
 */
#ifndef ORVATH_HISTORY_H
#define ORVATH_HISTORY_H

#include <json/json.h>

#include "quomodhcp.h"
#include "requests.h"

/* The history's part in one request, from inside its hold of the request
 * lock until before its restart. */
class HistoryHook {
public:
    /* changes: the action changes the configuration; readsHistory: its
     * handler reads the store. */
    HistoryHook(const char *szAction, bool changes, bool readsHistory);
    ~HistoryHook();
    HistoryHook(const HistoryHook &) = delete;
    HistoryHook &operator=(const HistoryHook &) = delete;

    /* Before the handler. False, with "conflict" and "error", when the
     * request's "baseRevision" is not the newest revision, or with "error"
     * when a store the handler reads cannot be read: nothing is written.
     * Otherwise opens the request's change. */
    bool before(const BaseRevision &base, Json::Value &answer);
    /* The store for a handler that reads it; NULL while it is empty. */
    QuomoHistory *store() const { return store_; }
    /* After the handler of a changing action: commits its change when the
     * handler succeeded ("revision" and the audit line, or "historyError"
     * when it could not be recorded), drops it otherwise. The result. */
    bool commit(bool result, const ActionRequest &request, Json::Value &answer);
    /* "revision": the newest revision's number, 0 while the history is
     * empty, for a reading the page loads a form from. */
    void answerRevision(Json::Value &answer);

private:
    bool conflicts(const BaseRevision &base, Json::Value &answer);

    const char *szAction_;
    bool changes_;
    bool readsHistory_;
    bool begun_ = false;
    QuomoHistory *store_ = NULL;
};

#endif /* ORVATH_HISTORY_H */
