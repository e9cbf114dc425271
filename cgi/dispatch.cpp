/*
 * orvath: the dispatcher. The one action table, and the one pipeline every
 * request goes through: authorization and the origin rules, the request
 * lock, the changing request read once into its typed request and checked,
 * the conflict with a newer revision, the handler, the change committed as
 * one transaction, the restart, and the answer with "success".
 */
#include "dispatch.h"

#include <errno.h>
#include <string.h>
#include <sys/file.h>

#include "handlers.h"
#include "history.h"
#include "orvath_common.h"
#include "request_origin.h"
#include "service_status.h"
#include "validate.h"

static const char kContentType[] = "text/plain; charset=\"UTF-8\"";
/* How long a request waits for another one to finish. */
static const unsigned kLockWaitMs = 30000;

/* ------------------------------------------------------------------------ */
/* The action table                                                          */
/* ------------------------------------------------------------------------ */

typedef bool (*ActionHandler)(RequestContext &);
/* A parameter this long is released once read into the typed request. */
static const size_t kLargeParam = 64 * 1024;

typedef bool (*RequestReader)(const ParamLookup &, ActionRequest &, ValidationError &);

/* How an action may be requested: an action that writes comes by POST only
 * (request_origin.h). */
enum ActionMethod { kAnyMethod, kPostOnly };

/* Each action's traits, once. */
struct ActionEntry {
    const char *szAction;
    ActionMethod method;
    /* The interface name parameter of a reading action, checked before its
     * handler runs (a changing action's reader reads its own). */
    const char *szIfParam;
    /* A change of the configuration: read and checked before anything else,
     * refused when made from an older revision, one transaction, recorded
     * in the history. */
    bool changes;
    bool restarts;         /* the service is restarted afterwards, whatever the result */
    bool answersRevision;  /* a reading the page loads a form from: "revision" */
    bool readsHistory;     /* the handler is handed the history store */
    RequestReader read;    /* the typed request's reader; NULL: a reading action */
    ActionHandler run;
};

static const ActionEntry kActions[] = {
    /* action                 method      ifParam    changes restarts revision history reader */
    {"applydata",             kPostOnly,  NULL,      true,  true,  false, false, readApplyData, applyData},
    {"disableServer",         kPostOnly,  NULL,      true,  true,  false, false, readDisableServer, disableServerConfigs},
    {"applypxesubnet",        kPostOnly,  NULL,      true,  true,  false, false, readPxeRequest, applyPxeSubnet},
    {"applyOptions",          kPostOnly,  NULL,      true,  true,  false, false, readOptionsRequest, applyOptions},
    {"revertTo",              kPostOnly,  NULL,      true,  true,  false, true,  readRevertRequest, revertTo},
    {"releaseLease",          kPostOnly,  NULL,      false, false, false, false, readReleaseRequest, releaseLease},
    {"loadGlobal",            kAnyMethod, "iftype",  false, false, true,  false, NULL, loadGlobalSettings},
    {"getIfData",             kAnyMethod, "iftype",  false, false, true,  false, NULL, getInterfaceSubnets},
    {"loadStatic",            kAnyMethod, NULL,      false, false, true,  false, NULL, loadStaticSettings},
    {"checkReservations",     kAnyMethod, NULL,      false, false, false, false, NULL, checkReservations},
    {"loadClientList",        kAnyMethod, "iftype",  false, false, false, false, NULL, loadClientList},
    {"loadpxesubnet",         kAnyMethod, "if_name", false, false, true,  false, NULL, loadPxeSubnet},
    {"enumIF",                kAnyMethod, NULL,      false, false, false, false, NULL, enumInterfaces},
    {"getEnablePXEConfig",    kAnyMethod, NULL,      false, false, false, false, NULL, getEnablePxeConfig},
    {"getServiceStatus",      kAnyMethod, NULL,      false, false, false, false, NULL, getServiceStatus},
    {"listHistory",           kAnyMethod, NULL,      false, false, false, true,  NULL, listHistory},
    {"showRevision",          kAnyMethod, NULL,      false, false, false, true,  NULL, showRevision},
    {"loadOptions",           kAnyMethod, "iftype",  false, false, true,  false, NULL, loadOptions},
    /* Starting the service again without a change (nothing recorded). */
    {"restartService",        kPostOnly,  NULL,      false, true,  false, false, NULL, askServiceRestart},
    /* devices: keeping them off, waking them */
    {"loadAccess",            kAnyMethod, "iftype",  false, false, true,  false, NULL, loadAccess},
    {"applyAccess",           kPostOnly,  NULL,      true,  true,  false, false, readAccessRequest, applyAccess},
    {"wakeClient",            kPostOnly,  NULL,      false, false, false, false, readWakeRequest, wakeClient},
    /* IPv6 on the LAN */
    {"loadIPv6",              kAnyMethod, "iftype",  false, false, true,  false, NULL, loadIpv6},
    {"applyIPv6",             kPostOnly,  NULL,      true,  true,  false, false, readIpv6Request, applyIpv6},
};

static const ActionEntry *findAction(const char *szAction)
{
    if (!szAction)
        return NULL;
    for (const ActionEntry &entry : kActions) {
        if (strcmp(entry.szAction, szAction) == 0)
            return &entry;
    }
    return NULL;
}

/* ------------------------------------------------------------------------ */
/* The answer                                                                */
/* ------------------------------------------------------------------------ */

bool answerError(Json::Value &answer, const char *kind, const std::string &error,
                 const std::string &at)
{
    answer["error"] = error;
    answer["errorKind"] = kind;
    if (!at.empty())
        answer["errorAt"] = at;
    return false;
}

bool refuseRequest(Json::Value &answer, const ValidationError &err)
{
    ORV_LOG("Invalid parameter %s", err.where.c_str());
    return answerError(answer, "invalid", err.text(), err.where);
}

void answerNotedFailure(Json::Value &answer)
{
    const char *failure = orvFailure();
    if (!failure[0] || answer.isMember("error"))
        return;
    const char *colon = strstr(failure, ": ");
    answerError(answer, "io", failure, colon ? std::string(failure, colon) : std::string());
}

bool readIfType(const RequestContext &ctx, char (&szIfName)[QUOMO_IFNAME_LEN])
{
    orvCopy(szIfName, sizeof szIfName, ctx.param("iftype"));
    if (szIfName[0])
        return true;
    ORV_LOG("WRONG interface name!");
    return false;
}

/* ------------------------------------------------------------------------ */
/* The pipeline                                                              */
/* ------------------------------------------------------------------------ */

/* A request's hold on the service's files: the request lock, exclusive for a
 * writing action from before its first read until its restart has returned
 * (the hold goes with the object), shared for a listing. A change that a
 * killed request left is finished first, whatever the request. A writing
 * action first removes what a killed one left behind. */
class RequestHold {
public:
    explicit RequestHold(bool writes) : writes_(writes) {}
    ~RequestHold() { orvUnlockFile(lock_); }
    RequestHold(const RequestHold &) = delete;
    RequestHold &operator=(const RequestHold &) = delete;

    /* False, with "error", when the request cannot have the lock: it then
     * neither reads, writes nor restarts. */
    bool take(Json::Value &answer)
    {
        orvClearFailure();
        if (!lock(writes_, answer))
            return false;
        if (QUOMODHCPChangeInterrupted() && !finishInterrupted(answer))
            return false;
        if (writes_)
            QUOMODHCPRemoveStaleTemporaries();
        return true;
    }

private:
    bool lock(bool exclusive, Json::Value &answer)
    {
        lock_ = orvLockRequest(exclusive, kLockWaitMs);
        if (lock_ < 0 && errno == EWOULDBLOCK)
            return answerError(answer, "busy", "busy: another request is changing the DHCP settings");
        if (lock_ < 0) {
            int err = errno;
            answerNotedFailure(answer);
            return answer.isMember("error") ? false : answerError(answer, "io", strerror(err));
        }
        return true;
    }
    /* Rolls forward the change a killed request left, under the lock held
     * exclusively for it (a listing's is taken again, then shared). */
    bool finishInterrupted(Json::Value &answer)
    {
        if (!writes_) {
            orvUnlockFile(lock_);
            lock_ = -1;
            if (!lock(true, answer))
                return false;
        }
        char szHistoryError[QUOMO_PATH_LEN + 128];
        bool ok = QUOMODHCPChangeFinishInterrupted(szHistoryError, sizeof szHistoryError) >= 0;
        if (!ok)
            answerNotedFailure(answer);
        if (!writes_)
            flock(lock_, LOCK_SH);
        return ok;
    }

    bool writes_;
    int lock_ = -1;
};

/* The reading action's interface name parameter, when it has one, is
 * absent, empty (the handler's own handling) or a valid interface name. */
static bool checkIfParam(Webvard &cgi, const ActionEntry &entry, Json::Value &answer)
{
    if (!entry.szIfParam)
        return true;
    ValidationError err;
    const char *value = cgi.In(entry.szIfParam, NULL);
    return validateInterfaceParam(entry.szIfParam, value, err) || refuseRequest(answer, err);
}

/* A changing request read once into its typed request and checked, and its
 * "baseRevision"; false, with the refusal answered, otherwise. */
static bool readRequest(Webvard &cgi, const ActionEntry &entry, ActionRequest &request,
                        BaseRevision &base, Json::Value &answer)
{
    if (!entry.read)
        return checkIfParam(cgi, entry, answer);
    ParamLookup param = [&cgi](const char *name) { return cgi.In(name, NULL); };
    ValidationError err;
    if (!entry.read(param, request, err) || !validateRequest(request, err) ||
        (entry.changes && !readBaseRevision(param, base, err)))
        return refuseRequest(answer, err);
    /* The request's large documents (thousands of reservations) now live in
     * the typed request alone. */
    cgi.ReleaseLargeParams(kLargeParam);
    return true;
}

/* Runs the action once the request may run: its lock, its request, its
 * change and its restart. */
static bool runAction(Webvard &cgi, const ActionEntry &entry, Json::Value &answer)
{
    RequestHold hold(entry.method == kPostOnly);
    if (!hold.take(answer))
        return false;
    ActionRequest request;
    BaseRevision base;
    bool result = false;
    if (readRequest(cgi, entry, request, base, answer)) {
        HistoryHook history(entry.szAction, entry.changes, entry.readsHistory);
        /* A change made from an older revision writes and restarts nothing. */
        if (!history.before(base, answer))
            return false;
        RequestContext ctx{cgi, request, history.store(), answer};
        result = entry.run(ctx);
        result = history.commit(result, request, answer);
        if (!result)
            answerNotedFailure(answer);
        if (entry.answersRevision)
            history.answerRevision(answer);
    }
    if (entry.restarts)
        restartService(answer);
    return result;
}

bool dispatchRequest(Webvard &cgi)
{
    Json::Value answer;
    if (!cgi.IsAuthorized(NULL, 1, CGI_POSITION_ADMIN))
        return false;

    bool result = false;
    const ActionEntry *entry = findAction(cgi.In("action", NULL));
    /* Requests that arrive as a JSON document are not served (nor judged);
     * a refused request runs nothing. */
    if (!cgi.In() && requestAccepted(cgi, entry && entry->method == kPostOnly, answer)) {
        /* A body that was not read leaves the request without its
         * parameters: it is refused with the reason. */
        if (cgi.BodyError()[0]) {
            ORV_LOG("Request refused: %s", cgi.BodyError());
            answerError(answer, "invalid", std::string("request: ") + cgi.BodyError());
        } else if (!entry)
            ORV_LOG("Wrong CGI handler: No such action mapping");
        else
            result = runAction(cgi, *entry, answer);
    }
    if (answer.isMember("error") && !answer.isMember("errorKind"))
        answer["errorKind"] = "invalid";

    answer["success"] = result;
    cgi.WriteHeader(kContentType);
    cgi.WriteBody(answer);
    return result;
}
