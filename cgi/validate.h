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
// e.g. {"subnetData[1].startip", "not an IPv4 address"}; each changing action
// runs them before it writes anything and answers
// {"success": false, "error": "<where>: <why>"} on failure.
#pragma once

#include <stdint.h>

#include <string>

#include "requests.h"

// ---- single values ----

// Interface name: 1 to 15 letters, digits, "_", "-", ".", not beginning with
// "." (a path element) or "-" (an option of the programs it is handed to).
const char *checkInterfaceName(const char *text);
// An IPv6 address, the whole text as inet_pton reads it, into bytes.
bool parseIpv6(const char *text, unsigned char (&bytes)[16]);
// A server's IPv6 address: unicast, not "::", "::1", multicast or link-local,
// which a client on the link cannot be sent to as a DNS server.
const char *checkServerIpv6(const char *text);
// The host part of an IPv6 address, e.g. "::100": an address whose first 64
// bits are zero (the interface's prefix is put in front), not "::".
const char *checkIpv6HostPart(const char *text);
// Dotted-quad IPv4 address, the whole text as inet_pton reads it.
const char *checkIpv4(const char *text);
// A server's address (router, DNS, NTP, TFTP server): an IPv4 address, not
// 0.0.0.0 or 255.255.255.255, which are no host a client could reach.
const char *checkServerIpv4(const char *text);
// The address in host byte order; false when text is not dotted-quad IPv4.
bool parseIpv4(const char *text, uint32_t *addr);
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
// A text that dnsmasq would read as a keyword rather than as a value where
// it stands first in a field of a "dhcp-host", "dhcp-boot" or "dhcp-option"
// line: beginning with one of the rule table's keyword prefixes ("tag:",
// "set:", "option:", ...), in any letter case. Every host name, file or URL
// field is held to it.
const char *checkKeywordPrefix(const char *text);
// Host name of a reservation: the domain rules, and nothing that dnsmasq would
// read as another field of a "dhcp-host" line ("infinite", "ignore", a lease
// time such as "90" or "5m", an address, a keyword prefix, "*").
const char *checkHostName(const char *text);
// Boot file: empty, or up to 255 printable characters without blanks, ",",
// quotes, "#", "=", a ".." path element or a keyword prefix.
const char *checkBootFile(const char *text);
// The answer for a client already running iPXE: a boot file, or an
// http:// or https:// URL held to the same rules.
const char *checkIpxeAnswer(const char *text);
// The value of a further option held to its rule (the rule table's "check"
// of a named option, or the type of another code): NULL when it fits.
const char *checkOptionValue(const std::string &rule, const std::string &value);

// ---- whole requests ----
//
// Each takes a request as its reader (apply_request.h) read it, and reports
// the first value that may not be written as a place and a reason.

// The rows a subnet table may have: one interface needs far fewer.
enum { kMaxSubnetRows = 256 };

// "applydata". A parameter that was not given keeps the action's usual
// behaviour for its step, which writes nothing from it. Shapes the handlers
// do not apply (a table that is not usable, reservations lacking a text) are
// not refused here. Every text that is given is checked; when the table has
// rows to apply, "iftype" and "pdns" of "dataArray" are required too. A
// table of more than kMaxSubnetRows rows is refused, and so are two
// activated rows whose ranges share an address ("overlaps"). True when
// every value may be written; otherwise false with the first error.
bool validateApplyData(const ApplyDataRequest &request, ValidationError &err);

// "applypxesubnet". Interface names are checked whenever given; the range,
// router, DNS server, boot files, iPXE answer, TFTP server (refused without
// a file to serve) and range switch only when enabling, which also needs a
// "pxe_interface".
bool validateApplyPxe(const PxeRequest &request, ValidationError &err);

// "releaseLease": "iftype", "mac" and "ip", each required and checked as a
// reservation's; an IPv6 address is refused with its reason (DHCPv6 leases
// are released by their clients).
bool validateReleaseLease(const ReleaseRequest &request, ValidationError &err);
// "applyOptions": "iftype" one of the system's interfaces (those "enumIF"
// lists, not the access point's); at most the library's number of options and overrides; each
// option a named one or a code the system does not set itself with a type,
// once each, its value held to its rule; each override a MAC address, once
// each, with a gateway or a DNS server (server addresses).
bool validateApplyOptions(const OptionsRequest &request, ValidationError &err);
// "applyIPv6": "iftype" one of the system's interfaces (not the access
// point's); the mode one of "off", "ra-only", "stateless", "stateful"; with
// IPv6 on, a lease time of at least 2 minutes, prefix length 64 (dnsmasq
// makes the range and the advertised prefix from the interface's /64), a
// range only for stateful, its host parts within the /64 and start not above
// end, at most three DNS servers, each a server's IPv6 address.
bool validateApplyIpv6(const Ipv6Request &request, ValidationError &err);
// "disableServer": "iftype" as validateInterfaceParam takes it.
bool validateDisableServer(const DisableRequest &request, ValidationError &err);

// "applyAccess": "iftype" one of the system's interfaces (not the access
// point's); "unknownClients" "serve" or "ignore"; at most the library's
// number of blocked clients, each a MAC address, once each, with a note of
// at most 64 printable bytes.
bool validateApplyAccess(const AccessRequest &request, ValidationError &err);
// "wakeClient": "iftype" one of the system's interfaces, "mac" the MAC
// address of one device (not a group address).
bool validateWakeClient(const WakeRequest &request, ValidationError &err);

// The checks of each changing request by its kind, for the action table.
bool validateRequest(const ActionRequest &request, ValidationError &err);

// An interface name parameter ("iftype", "if_name"): absent or empty keeps
// the action's own handling, and so does "--", the page's "no interface
// chosen" for "if_name"; anything else must be a valid interface name. name
// is the parameter's name, used as the place.
bool validateInterfaceParam(const char *name, const char *value, ValidationError &err);
