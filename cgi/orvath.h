/*
 * orvath: the CGI program behind the DHCP pages of the web administration.
 *
 * One request is one process: main (main.cpp) keeps a DhcpHandler on its
 * stack, dispatchAction (orvath.cpp) authorizes the caller, runs the
 * handler that the request's "action" names and writes the JSON answer with
 * its "success" member. Every handler takes the DhcpHandler (and, where it
 * reports data, the answer) and returns true on success. The handlers live
 * in one file per group of actions, named below.
 */
#ifndef ORVATH_H
#define ORVATH_H

#include <json/json.h>

#include "apply_request.h"
#include "quomodhcp.h"
#include "validate.h"
#include "vorl.h"
#include "webvard.h"

struct DhcpHandler {
    /* The CGI framework: request parameters, authorization, the answer. */
    Webvard webvard;
    /* Global settings of an "applydata" request; zero-filled at the start. */
    DhcpServerConf globalConf;

    DhcpHandler() : webvard(true), globalConf() {}
    DhcpHandler(const DhcpHandler &) = delete;
    DhcpHandler &operator=(const DhcpHandler &) = delete;
};

/* ---- orvath.cpp: the dispatcher ---- */

/* Authorizes, runs the action's handler, restarts the service after the
 * changing actions and writes the answer. A request that request_origin.h
 * refuses (another host's or origin's, or a changing action not sent as a
 * form by POST) runs nothing and gets "error" saying why. A request that
 * arrives as a JSON document runs nothing either. A request value that fails
 * the request checks (validate.h) is refused before anything is written,
 * with "error" naming its place. A changing action holds the request lock
 * exclusively until its restart has returned (a listing holds it shared);
 * a request that cannot get it within the wait answers "error": "busy: ..."
 * and neither reads, writes nor restarts; one whose lock is refused
 * (orvLockRequest) answers the reason. A write that failed is named in "error"
 * ("<path under the root>: <reason>"). Returns the handler's result (false when no
 * handler ran or the request was refused). Writes nothing for an
 * unauthorized caller. */
bool dispatchAction(DhcpHandler &handler);

/* Text of a plain request parameter; absent counts as empty. */
const char *paramText(DhcpHandler &handler, const char *name);
/* The "iftype" parameter, kept to the interface buffer's width. False, and
 * logged, when it is empty or absent. */
bool readIfType(DhcpHandler &handler, char (&szIfName)[QUOMO_IFNAME_LEN]);
/* Parses the JSON text of a request parameter (comments allowed, any value
 * at the root). False, with the reader's messages in the log, when it is
 * absent or not JSON; the document is then null. */
bool parseJsonParam(DhcpHandler &handler, const char *name, Json::Value &document);
/* Refuses a request whose values failed the request checks: the place and
 * the reason go into "error" and the place into the log. Always false. */
bool refuseRequest(Json::Value &answer, const ValidationError &err);

/* ---- subnets.cpp: global settings and the subnet table ---- */

/* "applydata", in this order: global settings ("dataArray"), subnet table
 * ("subnetData"), reservations ("staticData"). The action reads the three
 * parameters once (apply_request.h) and checks every value they hold before
 * any step runs. */
bool applyData(DhcpHandler &handler, Json::Value &answer);
/* Always true; fills globalConf from the members present. */
bool parseGlobalSettings(DhcpHandler &handler, const ApplyDataRequest &request);
/* False (nothing written) when the table is missing, unusable or touches the
 * access point's subnet; false also when a row, the DNS-only pair or the
 * removal of stale subnets failed (the first failed write in orvFailure). */
bool applySubnetSettings(DhcpHandler &handler, const ApplyDataRequest &request);
/* True when no row touches the access point's subnet. */
bool checkApSubnets(const std::vector<SubnetRow> &rows);
bool loadGlobalSettings(DhcpHandler &handler, Json::Value &answer);
bool disableServerConfigs(DhcpHandler &handler, Json::Value &answer);
/* "getIfData": each row also tells "size" (addresses in its range),
 * "leased" (the distinct addresses inside it of dnsmasq's current leases,
 * reservations' addresses aside) and
 * "reserved" (reservations inside it). */
bool getInterfaceSubnets(DhcpHandler &handler, Json::Value &answer);
/* A subnet of an interface as the listing finds it. */
struct ListedSubnet {
    DhcpServerConf conf;
    char szTag[QUOMO_TAG_LEN];
    bool pxe;
};
/* The interface's ordinary subnets in index order, up to the first gap, then
 * its PXE subnet when it has one. False (logged) when one cannot be read. */
bool readInterfaceSubnets(const char *szIfName, std::vector<ListedSubnet> &subnets);

/* ---- reservations.cpp ---- */

/* A missing document, or one that is an object, changes nothing; an array
 * replaces the stored set, a scalar clears it. False when the list or the
 * static fragment could not be written. */
bool applyStaticSettings(const ApplyDataRequest &request);
bool loadStaticSettings(DhcpHandler &handler, Json::Value &answer);
/* "checkReservations": warnings that never block a save, over the stored
 * reservations, each {"index", "mac", "ip", "reason"}: the address in no
 * subnet of any interface, inside a range, the network, broadcast or gateway
 * address of a subnet, leased to another MAC address right now; the MAC
 * address reserved before in the list. */
bool checkReservations(DhcpHandler &handler, Json::Value &answer);

/* ---- clients.cpp ---- */

bool loadClientList(DhcpHandler &handler, Json::Value &answer);
/* "releaseLease": "iftype", "mac", "ip". Answers "released" (dnsmasq dropped
 * the lease), and "releaseError" when it did not. */
bool releaseLease(DhcpHandler &handler, Json::Value &answer);

/* ---- interfaces.cpp ---- */

bool enumInterfaces(DhcpHandler &handler, Json::Value &answer);
/* The platform's interface list (room for kMaxInterfaces); 0 or less on
 * failure (logged). */
enum { kMaxInterfaces = 32 };
int listInterfaces(VORL_NETIF (&ifs)[kMaxInterfaces]);
/* An interface record's name as NUL-terminated text. */
void interfaceName(const VORL_NETIF &netif, char (&szName)[QUOMO_IFNAME_LEN]);
/* The kinds of interface that serve DHCP (SDK::Network::GetIfType). */
bool listedInterfaceType(int type);
/* The interface's IPv4 addresses as "a.b.c.d/prefix" texts: from the system,
 * or, under another root, from <root>/sys/class/net/<name>/orvath_addrs (one
 * such text a line). */
Json::Value interfaceAddresses(const char *szIfName);

/* ---- pxe.cpp: network boot ---- */

bool loadPxeSubnet(DhcpHandler &handler, Json::Value &answer);
bool applyPxeSubnet(DhcpHandler &handler, Json::Value &answer);
bool getEnablePxeConfig(DhcpHandler &handler, Json::Value &answer);

/* ---- options.cpp: further options and host overrides ---- */

bool loadOptions(DhcpHandler &handler, Json::Value &answer);
bool applyOptions(DhcpHandler &handler, Json::Value &answer);

/* The service's status and restart: service.h. */

#endif /* ORVATH_H */
