/*
 * orvath: the dispatcher. The action table, the request's hold on the
 * service's files and the answer envelope; the request parameters as every
 * handler reads them.
 */
#include <errno.h>
#include <string.h>
#include <sys/file.h>

#include "history.h"
#include "json_members.h"
#include "orvath.h"
#include "orvath_common.h"
#include "request_origin.h"
#include "service.h"

static const char kContentType[] = "text/plain; charset=\"UTF-8\"";
/* How long a request waits for another one to finish. */
static const unsigned kLockWaitMs = 30000;

/* ------------------------------------------------------------------------ */
/* Request parameters                                                        */
/* ------------------------------------------------------------------------ */

const char *paramText(DhcpHandler &handler, const char *name)
{
    const char *text = handler.webvard.In(name, NULL);
    return text ? text : "";
}

bool readIfType(DhcpHandler &handler, char (&szIfName)[QUOMO_IFNAME_LEN])
{
    orvCopy(szIfName, sizeof szIfName, paramText(handler, "iftype"));
    if (szIfName[0])
        return true;
    ORV_LOG("WRONG interface name!");
    return false;
}

bool parseJsonParam(DhcpHandler &handler, const char *name, Json::Value &document)
{
    const char *text = handler.webvard.In(name, "");
    return parseJsonText(text ? text : "", document);
}

bool refuseRequest(Json::Value &answer, const ValidationError &err)
{
    ORV_LOG("Invalid parameter %s", err.where.c_str());
    answer["error"] = err.text();
    return false;
}

/* ------------------------------------------------------------------------ */
/* Dispatch                                                                  */
/* ------------------------------------------------------------------------ */

typedef bool (*ActionHandler)(DhcpHandler &, Json::Value &);

/* How an action may be requested: an action that changes the configuration
 * comes by POST only (request_origin.h). */
enum ActionMethod { kAnyMethod, kPostOnly };

struct ActionEntry {
    const char *szAction;
    ActionHandler handler;
    bool restart; /* restart the service afterwards, whatever the result */
    /* The interface name parameter checked before the handler runs; NULL
     * for none ("applydata" and "applypxesubnet" check their own). */
    const char *szIfParam;
    ActionMethod method;
};

static const ActionEntry kActions[] = {
    {"applydata", applyData, true, NULL, kPostOnly},
    {"disableServer", disableServerConfigs, true, NULL, kPostOnly},
    {"loadGlobal", loadGlobalSettings, false, "iftype", kAnyMethod},
    {"getIfData", getInterfaceSubnets, false, "iftype", kAnyMethod},
    {"loadStatic", loadStaticSettings, false, NULL, kAnyMethod},
    {"checkReservations", checkReservations, false, NULL, kAnyMethod},
    {"loadClientList", loadClientList, false, "iftype", kAnyMethod},
    {"loadpxesubnet", loadPxeSubnet, false, "if_name", kAnyMethod},
    {"applypxesubnet", applyPxeSubnet, true, NULL, kPostOnly},
    {"enumIF", enumInterfaces, false, NULL, kAnyMethod},
    {"getEnablePXEConfig", getEnablePxeConfig, false, NULL, kAnyMethod},
    {"getServiceStatus", getServiceStatus, false, NULL, kAnyMethod},
    {"releaseLease", releaseLease, false, NULL, kPostOnly},
    {"listHistory", listHistory, false, NULL, kAnyMethod},
    {"showRevision", showRevision, false, NULL, kAnyMethod},
    {"revertTo", revertTo, true, NULL, kPostOnly},
    {"loadOptions", loadOptions, false, "iftype", kAnyMethod},
    {"applyOptions", applyOptions, true, NULL, kPostOnly},
};

/* The action's interface name parameter, when it has one, is absent, empty
 * (the handler's own handling) or a valid interface name; it names files. */
static bool checkIfParam(DhcpHandler &handler, const ActionEntry &entry, Json::Value &answer)
{
    if (!entry.szIfParam)
        return true;
    ValidationError err;
    const char *value = handler.webvard.In(entry.szIfParam, NULL);
    return validateInterfaceParam(entry.szIfParam, value, err) || refuseRequest(answer, err);
}

/* A request's hold on the service's files: the request lock, exclusive for a
 * changing action from before its first read until its restart has returned
 * (the hold goes with the object), shared for a listing. A change that a
 * killed request left is finished first, whatever the request. A changing
 * action first removes what a killed one left behind. */
class RequestHold {
public:
    explicit RequestHold(bool writes) : writes_(writes) {}
    ~RequestHold() { orvUnlockFile(lock_); }
    RequestHold(const RequestHold &) = delete;
    RequestHold &operator=(const RequestHold &) = delete;

    /* False, with "error", when the request cannot have the lock: it then
     * neither reads, writes nor restarts. A listing waits as long as a save
     * does; an unsafe lock (orvLockRequest) stops both. */
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
        if (lock_ < 0 && errno == EWOULDBLOCK) {
            answer["error"] = "busy: another request is changing the DHCP settings";
            return false;
        }
        if (lock_ < 0) {
            int err = errno;
            answer["error"] = orvFailure()[0] ? orvFailure() : strerror(err);
            return false;
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
            answer["error"] = orvFailure();
        if (!writes_)
            flock(lock_, LOCK_SH);
        return ok;
    }

    bool writes_;
    int lock_ = -1;
};

/* Runs the action's handler once its interface name passed, then restarts
 * the service after a changing action, whatever the result. */
static bool runHandler(DhcpHandler &handler, const ActionEntry &entry, Json::Value &answer)
{
    /* Every action that changes something (POST only) is one at a time. */
    RequestHold hold(entry.method == kPostOnly);
    if (!hold.take(answer))
        return false;
    /* The actions that restart are the ones that change the configuration:
     * their change is one transaction, recorded, and one made from an older
     * revision than the newest is refused before anything is written. */
    HistoryHook history(handler, entry.szAction, entry.restart);
    if (!history.before(answer))
        return false;
    bool result = checkIfParam(handler, entry, answer) && entry.handler(handler, answer);
    result = history.commit(result, answer);
    if (!result && orvFailure()[0] && !answer.isMember("error"))
        answer["error"] = orvFailure();
    history.after(answer);
    if (entry.restart)
        restartService(answer);
    return result;
}

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

bool dispatchAction(DhcpHandler &handler)
{
    Json::Value answer;
    if (!handler.webvard.IsAuthorized(NULL, 1, CGI_POSITION_ADMIN))
        return false;

    bool result = false;
    const ActionEntry *entry = findAction(handler.webvard.In("action", NULL));
    /* Requests that arrive as a JSON document are not served (nor judged);
     * a refused request runs nothing. */
    if (!handler.webvard.In() &&
        requestAccepted(handler.webvard, entry && entry->method == kPostOnly, answer)) {
        /* No "action" at all counts as an unlisted one. */
        if (!entry)
            ORV_LOG("Wrong CGI handler: No such action mapping");
        else
            result = runHandler(handler, *entry, answer);
    }

    answer["success"] = result;
    handler.webvard.WriteHeader(kContentType);
    handler.webvard.WriteBody(answer);
    return result;
}
