/*
 * orvath: who an interface's service keeps off ("loadAccess",
 * "applyAccess") and waking a device ("wakeClient").
 */
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "handlers.h"
#include "orvath_common.h"

bool loadAccess(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(ctx, szIfName))
        return false;
    std::vector<QuomoBlocked> blocked(QUOMO_MAX_BLOCKED);
    int ignoreUnknown = 0, count = 0;
    if (!QUOMODHCPGetAccess(szIfName, &ignoreUnknown, blocked.data(), (int)blocked.size(), &count))
        return false;
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        Json::Value entry(Json::objectValue);
        entry["mac"] = blocked[i].szMac;
        entry["note"] = blocked[i].szNote;
        list.append(entry);
    }
    Json::Value access(Json::objectValue);
    access["unknownClients"] = ignoreUnknown ? "ignore" : "serve";
    access["blocked"] = list;
    answer["access"] = access;
    return true;
}

bool applyAccess(RequestContext &ctx)
{
    const AccessRequest &request = ctx.as<AccessRequest>();
    std::vector<QuomoBlocked> blocked;
    for (const BlockedClient &b : request.blocked) {
        QuomoBlocked record;
        memset(&record, 0, sizeof record);
        orvCopy(record.szMac, sizeof record.szMac, b.mac.c_str());
        orvCopy(record.szNote, sizeof record.szNote, b.note.c_str());
        blocked.push_back(record);
    }
    return QUOMODHCPSetAccess(request.ifName.c_str(), request.unknownClients == "ignore",
                              blocked.data(), (int)blocked.size()) == 1;
}

/* Not a change of the configuration, so not in the history: the log says
 * who asked. */
bool wakeClient(RequestContext &ctx)
{
    const WakeRequest &request = ctx.as<WakeRequest>();
    const char *user = getenv("REMOTE_USER"), *addr = getenv("REMOTE_ADDR");
    char szReason[256];
    int result = QUOMODHCPWake(request.ifName.c_str(), request.mac.c_str(), szReason, sizeof szReason);
    ORV_LOG("Wake %s on %s asked by %s from %s: %s", request.mac.c_str(), request.ifName.c_str(),
            user ? user : "-", addr ? addr : "-", result == 0 ? "sent" : szReason);
    ctx.answer["sent"] = result == 0;
    if (result == 0)
        return true;
    return answerError(ctx.answer, result == 1 ? "busy" : "invalid", std::string("wake: ") + szReason,
                       result == 1 ? "mac" : "");
}
