/*
 * What a handler is handed: the request as its reader read it (a reading
 * action's plain parameters through param()), the history store when the
 * action reads it, and the answer. The answer's convention: a refusal or
 * failure has "error" ("<where>: <why>", or "<path>: <reason>"), "errorAt"
 * (the request's place or the file, when there is one) and "errorKind",
 * one of "invalid" (a value the checks refuse), "conflict" (changed since
 * the page was loaded), "busy" (another request or process holds what this
 * one needs), "apSubnet" (touches the access point's subnet), "io" (a file
 * could not be read or written) and "history" (the history cannot answer).
 */
#ifndef ORVATH_REQUEST_CONTEXT_H
#define ORVATH_REQUEST_CONTEXT_H

#include <json/json.h>

#include <string>

#include "quomodhcp.h"
#include "requests.h"
#include "webvard.h"

struct RequestContext {
    Webvard &cgi;
    const ActionRequest &request;
    /* The history store, opened for reading, for the actions that read it;
     * NULL when it is empty (or the action does not read it). */
    QuomoHistory *history;
    Json::Value &answer;

    /* A reading action's plain parameter; absent counts as empty. */
    const char *param(const char *name) const
    {
        const char *text = cgi.In(name, NULL);
        return text ? text : "";
    }
    /* The changing action's request, of the kind the action table gave it. */
    template <class R> const R &as() const { return std::get<R>(request); }
};

/* Answers a refusal or failure: "error", "errorAt" (when at is not empty)
 * and "errorKind". Always false. */
bool answerError(Json::Value &answer, const char *kind, const std::string &error,
                 const std::string &at = std::string());
/* A request value the checks refuse: "<where>: <why>" at where, "invalid";
 * the place goes into the log. Always false. */
bool refuseRequest(Json::Value &answer, const ValidationError &err);
/* The request's first noted failure ("<path>: <reason>", orvFailure) as
 * "io" at that path, unless the answer tells another error already. */
void answerNotedFailure(Json::Value &answer);

/* The "iftype" parameter of a reading action, kept to the interface
 * buffer's width. False, and logged, when it is empty or absent. */
bool readIfType(const RequestContext &ctx, char (&szIfName)[QUOMO_IFNAME_LEN]);

#endif /* ORVATH_REQUEST_CONTEXT_H */
