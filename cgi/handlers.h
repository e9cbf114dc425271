/*
 * orvath's handlers, one file per group of actions. Each takes the request
 * context (request_context.h) and returns true on success; the dispatcher
 * (dispatch.cpp) reads and checks a changing request before its handler
 * runs, and answers "success".
 */
#ifndef ORVATH_HANDLERS_H
#define ORVATH_HANDLERS_H

#include "request_context.h"

/* ---- subnets.cpp: global settings and the subnet table ---- */

/* "applydata", in this order: global settings ("dataArray"), subnet table
 * ("subnetData"), reservations ("staticData"); then, when the request
 * switched the interface off, every subnet of it goes off. A table that
 * touches the access point's subnet is not applied ("isSameApSubnet"). */
bool applyData(RequestContext &ctx);
bool loadGlobalSettings(RequestContext &ctx);
bool disableServerConfigs(RequestContext &ctx);
/* "getIfData": each row also tells "size" (addresses in its range),
 * "leased" (the distinct addresses inside it of dnsmasq's current leases,
 * reservations' addresses aside) and "reserved" (reservations inside it). */
bool getInterfaceSubnets(RequestContext &ctx);

/* ---- reservations.cpp ---- */

bool loadStaticSettings(RequestContext &ctx);
/* "checkReservations": warnings that never block a save, over the stored
 * reservations, each {"index", "mac", "ip", "reason"}. */
bool checkReservations(RequestContext &ctx);

/* ---- clients.cpp ---- */

bool loadClientList(RequestContext &ctx);
/* "releaseLease": answers "released" (dnsmasq dropped the lease), and
 * "releaseError" when it did not. */
bool releaseLease(RequestContext &ctx);

/* ---- interfaces.cpp ---- */

bool enumInterfaces(RequestContext &ctx);

/* ---- pxe.cpp: network boot ---- */

bool loadPxeSubnet(RequestContext &ctx);
bool applyPxeSubnet(RequestContext &ctx);
bool getEnablePxeConfig(RequestContext &ctx);

/* ---- options.cpp: further options and host overrides ---- */

bool loadOptions(RequestContext &ctx);
bool applyOptions(RequestContext &ctx);

/* ---- history.cpp ---- */

/* "listHistory": "limit" (default 50, at most 500); "revisions", newest
 * first. */
bool listHistory(RequestContext &ctx);
/* "showRevision": "id"; the revision's members and "files": the files that
 * differ from the revision before it, with a unified diff each. */
bool showRevision(RequestContext &ctx);
/* "revertTo": "id", optional "iftype"; puts that revision's configuration
 * (only that interface's files, when named) back as one change and answers
 * "revertOf". */
bool revertTo(RequestContext &ctx);

/* ---- service_status.cpp ---- */

/* "getServiceStatus". */
bool getServiceStatus(RequestContext &ctx);

/* "restartService": logs who asked; the dispatcher then runs the start-up
 * script as after a save. Changes no file. */
bool askServiceRestart(RequestContext &ctx);

/* ---- devices.cpp: keeping devices off, waking them ---- */

/* "loadAccess": "access" ({"unknownClients": "serve" or "ignore",
 * "blocked": [{"mac", "note"}]}). */
bool loadAccess(RequestContext &ctx);
/* "applyAccess": replaces the interface's access rules. */
bool applyAccess(RequestContext &ctx);
/* "wakeClient": sends the magic packet; "sent", and why not in "error". */
bool wakeClient(RequestContext &ctx);

/* ---- ipv6.cpp: router advertisements and DHCPv6 ---- */

/* "loadIPv6": "ipv6" (the settings as "applyIPv6" takes them) and
 * "prefixes" (the interface's global IPv6 prefixes, "fd50::/64"). */
bool loadIpv6(RequestContext &ctx);
/* "applyIPv6": "ipv6" replaces the interface's IPv6 settings; with "off" its
 * files go. */
bool applyIpv6(RequestContext &ctx);

#endif /* ORVATH_HANDLERS_H */
