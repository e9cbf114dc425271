/*
 * The changing requests, each read once by a reader of its own into values
 * it owns: "applydata" (its three JSON parameters), "disableServer",
 * "applypxesubnet", "applyOptions", "revertTo" and "releaseLease", and the
 * "baseRevision" every change may carry. A reader is the only place that
 * parses a request: the JSON texts, the members' types, NUL characters, the
 * lease time, the revision numbers. The request checks (validate.h) and the
 * handlers work from what it read; nothing looks at the parameters again.
 */
#ifndef ORVATH_REQUESTS_H
#define ORVATH_REQUESTS_H

#include <stdint.h>

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

/* A request parameter's text by name, NULL when the request lacks it. */
using ParamLookup = std::function<const char *(const char *name)>;

/* A request value that cannot be used, as a place and a reason, e.g.
 * {"subnetData[1].startip", "not an IPv4 address"}. */
struct ValidationError {
    std::string where; // the offending parameter or member, e.g. "dataArray.pdns"
    std::string why;   // what is wrong with it, e.g. "not an IPv4 address"
    // "<where>: <why>", the answer's "error" text.
    std::string text() const { return where + ": " + why; }
};
/* Fills err; always false, for a reader or a check to return. */
bool failAt(ValidationError &err, std::string where, std::string why);

/* A text member of a JSON document: absent when the member is missing or of
 * another JSON type than a string. */
using Text = std::optional<std::string>;
/* The text for a C interface: NULL when absent. */
inline const char *textOrNull(const Text &text) { return text ? text->c_str() : nullptr; }

/* Lease time in minutes, parsed as strtol does in base 10 (leading blanks and
 * a sign allowed, parsing stops at the first other character, no digits is
 * 0); refused when negative or when its seconds do not fit a 32-bit int.
 * On success *seconds (when not NULL) holds the lease time in seconds. */
const char *parseLeaseMinutes(const char *text, int *seconds);
/* The comma-separated fields of a text, empty ones kept. */
std::vector<std::string> splitCommas(const std::string &text);
/* A revision number: digits only, at least 1. */
bool parseRevisionId(const char *text, int64_t &id);

/* ---- "applydata" ---- */

/* The members of "dataArray". */
struct GlobalSettings {
    bool given = false;     /* "dataArray" is JSON */
    bool isObject = false;  /* ... an object; nothing applies otherwise */
    bool hasEnable = false; /* "enable_check" is a boolean ... */
    bool enable = false;    /* ... and this one */
    Text primaryDns;        /* "pdns" */
    Text secondaryDns;      /* "sdns" */
    Text domain;            /* "domain" */
    Text ifName;            /* "iftype" */
    bool hasLeaseTime = false; /* "leasetime" is a text ... */
    int32_t leaseSeconds = 0;  /* ... of minutes, these seconds */
};

/* An element of "subnetData"; one that is no object has no texts. */
struct SubnetRow {
    Text startIp;
    Text endIp;
    Text netmask;
    Text gateway;
    bool activated = false; /* "activated" is true */
    bool pxe = false;       /* "pxe" is true */
};

/* An element of "staticData"; one that is no object has no texts. */
struct Reservation {
    Text mac;
    Text ip;
    Text hostname;
    Text ipv6; /* a host part ("::10") or a whole address; absent or "": none */
};

/* What "staticData" does to the stored reservations. */
enum ReservationSet {
    kSetKept,     /* absent or not JSON (logged), or an object: they stay */
    kSetReplaced, /* an array replaces them; any other value clears them */
};

struct ApplyDataRequest {
    GlobalSettings settings;
    bool tableGiven = false; /* "subnetData" is JSON */
    /* Every element of "subnetData" when it is an array, in order. */
    std::vector<SubnetRow> rows;
    /* The table is an array whose every row carries the four address texts;
     * only such a table is applied. */
    bool tableUsable = false;
    ReservationSet setAction = kSetKept;
    std::vector<Reservation> set; /* kSetReplaced: the new reservations */
};

/* ---- "applypxesubnet"; an absent parameter reads as empty text ---- */

struct PxeRequest {
    std::string interface;     /* "pxe_interface" */
    bool enable = false;       /* "pxe_enable" is exactly "true" */
    std::string origInterface; /* "orig_interface"; "" = none */
    std::string startIp;       /* "pxe_start_ip" */
    std::string endIp;         /* "pxe_end_ip" */
    std::string netmask;       /* "pxe_netmask" */
    std::string gateway;       /* "pxe_gateway" */
    std::string dns;           /* "pxe_dns" */
    std::string bootFile;      /* "pxe_bootloader": BIOS and any other client */
    std::string bootEfi64;     /* "pxe_bootloader_efi64" */
    std::string bootEfi32;     /* "pxe_bootloader_efi32" */
    std::string bootArm64;     /* "pxe_bootloader_arm64" */
    std::string ipxe;          /* "pxe_ipxe" */
    std::string tftpServer;    /* "pxe_tftp_server"; "" = the DHCP server */
    std::string rangeOnly;     /* "pxe_range_only": "true", "false" or "" */
};

/* ---- "applyOptions" ---- */

/* One further option: a named option of the rule table, or a code with a
 * type of its own. */
struct OptionEntry {
    std::string name;  /* a named option, or "" */
    int code = 0;      /* the named option's, or the one given (0: none given) */
    std::string codeText; /* the code as given ("" when absent) */
    std::string check; /* the rule its value is held to */
    std::string type;  /* the library's type it is sent as */
    std::string value; /* as sent: lists without blanks */
};

struct HostOverride {
    std::string mac; /* lower case, ":" */
    std::string gateway;
    std::string dns;
};

struct OptionsRequest {
    std::string ifName; /* "iftype" */
    std::vector<OptionEntry> options;
    std::vector<HostOverride> hosts;
};

/* ---- "revertTo", "releaseLease", "disableServer" ---- */

struct RevertRequest {
    int64_t id = 0;     /* "id" */
    std::string ifName; /* "iftype": only that interface's files go back; empty: all */
};

struct ReleaseRequest {
    std::string ifName; /* "iftype" */
    std::string mac;    /* "mac" */
    std::string ip;     /* "ip" */
};

struct DisableRequest {
    std::string ifName; /* "iftype"; absent reads as empty */
};

/* ---- "applyAccess", "wakeClient" ---- */

/* A MAC address as a request gives it, made lower case with ":" between
 * its pairs (either case and separator are taken). */
std::string normalMac(std::string mac);

struct BlockedClient {
    std::string mac; /* normalMac */
    std::string note;
};

struct AccessRequest {
    std::string ifName;         /* "iftype" */
    std::string unknownClients; /* "access".unknownClients: "serve" or "ignore" */
    std::vector<BlockedClient> blocked; /* "access".blocked */
};

struct WakeRequest {
    std::string ifName; /* "iftype" */
    std::string mac;    /* "mac", normalMac */
};

/* ---- "applyIPv6": "iftype" and the object "ipv6" ---- */

struct Ipv6Request {
    std::string ifName;          /* "iftype" */
    std::string mode;            /* "off", "ra-only", "stateless", "stateful" */
    std::string start;           /* the range's host parts, e.g. "::100" */
    std::string end;
    std::string prefixLength;    /* as given; "" when absent */
    Text leaseTime;              /* minutes, as "applydata" takes them */
    int32_t leaseSeconds = 0;
    std::vector<std::string> dns;
    bool raNames = false;
};

/* A changing request as its reader read it; a reading action has none. */
using ActionRequest = std::variant<std::monostate, ApplyDataRequest, DisableRequest, PxeRequest,
                                   OptionsRequest, RevertRequest, ReleaseRequest, AccessRequest,
                                   WakeRequest, Ipv6Request>;

/* The readers. Each fills its request and answers false, with the place in
 * err, for a value that cannot even be read: a NUL character (it would be
 * cut short of what was checked), a lease time whose seconds do not fit, a
 * parameter that must be JSON and is not, a revision that is no number. */
bool readApplyData(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readDisableServer(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readPxeRequest(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readOptionsRequest(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readRevertRequest(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readReleaseRequest(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readAccessRequest(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readWakeRequest(const ParamLookup &param, ActionRequest &request, ValidationError &err);
bool readIpv6Request(const ParamLookup &param, ActionRequest &request, ValidationError &err);

/* "baseRevision": absent or empty (no check), 0 (the history was empty) or
 * a revision number. */
struct BaseRevision {
    bool given = false;
    int64_t id = 0;
};
bool readBaseRevision(const ParamLookup &param, BaseRevision &base, ValidationError &err);

/* The interface a changing request names, as the history records it; ""
 * when it names none. */
std::string requestInterface(const ActionRequest &request);

#endif /* ORVATH_REQUESTS_H */
