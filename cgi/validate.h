// Validation of request values before anything is written.
//
// Every text a request brings ends up in a dnsmasq fragment, in the
// reservation list or in a file name. These checks make sure it can only
// become the line the system means to write: no line breaks, no extra comma
// fields, no path elements, nothing dnsmasq would read as another kind of
// value, nothing that makes dnsmasq refuse its whole configuration.
//
// The value checks answer NULL when the text is acceptable, otherwise a short
// reason ("not an IPv4 address"). The request checks look at a whole action's
// parameters and report the first offending value as a place and a reason,
// e.g. {"subnetData[1].startip", "not an IPv4 address"}; the dispatcher runs
// them before the action writes anything and answers
// {"success": false, "error": "<where>: <why>"} on failure.
#pragma once

#include <json/json.h>

#include <functional>
#include <string>

#include "apply_request.h"

// ---- single values ----

// Interface name: 1 to 15 letters, digits, "_", "-", ".", not beginning with ".".
const char *checkInterfaceName(const char *text);
// Dotted-quad IPv4 address, the whole text as inet_pton reads it.
const char *checkIpv4(const char *text);
// IPv4 netmask whose one-bits are contiguous from the top (0.0.0.0 up to
// 255.255.255.255).
const char *checkNetmask(const char *text);
// Address range: all three valid, start and end in one subnet under the
// netmask, start not above end.
const char *checkRange(const char *start, const char *end, const char *netmask);
// MAC address: exactly six pairs of hexadecimal digits separated by ":".
const char *checkMac(const char *text);
// Domain: empty, or dot-separated labels of letters, digits, "-", "_" (1 to 63
// characters, not beginning with "-" or "_", not ending with "-"), at most 253
// characters in all.
const char *checkDomain(const char *text);
// Host name of a reservation: the domain rules, and nothing that dnsmasq would
// read as another field of a "dhcp-host" line ("infinite", "ignore", a lease
// time such as "90" or "5m", an address, "id:", "set:", "tag:", "*").
const char *checkHostName(const char *text);
// Boot file: empty, or up to 255 printable characters without blanks, ",",
// quotes, "#", "=" or a ".." path element.
const char *checkBootFile(const char *text);
// Lease time in minutes, parsed as strtol does in base 10 (leading blanks and
// a sign allowed, parsing stops at the first other character, no digits is
// 0); refused when negative or when its seconds do not fit a 32-bit int.
// On success *seconds (when not NULL) holds the lease time in seconds.
const char *parseLeaseMinutes(const char *text, int *seconds);

// ---- whole requests ----

struct ValidationError {
    std::string where; // the offending parameter or member, e.g. "dataArray.pdns"
    std::string why;   // what is wrong with it, e.g. "not an IPv4 address"
    // "<where>: <why>", the answer's "error" text.
    std::string text() const { return where + ": " + why; }
};

// "applydata", as readApplyData read it; a document that is absent or not
// valid JSON keeps the action's usual behaviour for its step, which writes
// nothing from it. Read as the handlers read them: a member of another JSON
// type than the one expected counts as absent, and shapes the handlers do not
// apply (a table that is not usable, reservations lacking a text) are not
// refused here. Every text that is given is checked; when the table has rows
// to apply, "iftype" and "pdns" of "dataArray" are required too. Two
// activated rows whose ranges share an address are refused ("overlaps").
// True when every value may be written; otherwise false with the first error.
bool validateApplyData(const ApplyDataRequest &request, ValidationError &err);
// The same over the three parsed documents.
bool validateApplyData(const Json::Value *dataArray, const Json::Value *subnetData,
                       const Json::Value *staticData, ValidationError &err);

// "applypxesubnet": its parameters, read through param. Interface names are
// checked whenever given; the range, router, DNS server and boot file only
// when "pxe_enable" is "true", which also needs a "pxe_interface".
bool validateApplyPxe(const PxeRequest &request, ValidationError &err);
// The same over the request's parameters.
bool validateApplyPxe(const ParamLookup &param, ValidationError &err);

// "releaseLease": "iftype", "mac" and "ip", each required and checked as a
// reservation's.
bool validateReleaseLease(const ParamLookup &param, ValidationError &err);

// An interface name parameter of a reading action ("iftype", "if_name"):
// absent or empty keeps the action's own handling; anything else must be a
// valid interface name. name is the parameter's name, used as the place.
bool validateInterfaceParam(const char *name, const char *value, ValidationError &err);
