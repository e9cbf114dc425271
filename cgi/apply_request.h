/*
 * The changing requests, each read once by a reader of its own into values
 * it owns: "applydata" (its three JSON parameters), "applypxesubnet",
 * "releaseLease" and "disableServer". A reader is the only place that
 * parses a request: the JSON texts, the members' types, NUL characters, the
 * lease time. The request checks (validate.h) and the handlers work from
 * what it read; nothing looks at the parameters again.
 */
#ifndef ORVATH_APPLY_REQUEST_H
#define ORVATH_APPLY_REQUEST_H

#include <stdint.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

/* A request parameter's text by name, NULL when the request lacks it. */
using ParamLookup = std::function<const char *(const char *name)>;

struct DhcpHandler;
/* The parameters of the handler's request. */
ParamLookup requestParams(DhcpHandler &handler);

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

/* Reads the three parameters ("dataArray", "subnetData", "staticData").
 * A parameter that is absent or not JSON is logged and reads as not given.
 * False, with the place in err, when a text holds a NUL character (it would
 * be cut short of what was checked) or the lease time does not give
 * seconds that fit (parseLeaseMinutes). */
bool readApplyData(const ParamLookup &param, ApplyDataRequest &request, ValidationError &err);

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

void readPxeRequest(const ParamLookup &param, PxeRequest &request);

/* ---- "releaseLease" and "disableServer"; absent reads as empty ---- */

struct ReleaseRequest {
    std::string ifName; /* "iftype" */
    std::string mac;    /* "mac" */
    std::string ip;     /* "ip" */
};

void readReleaseRequest(const ParamLookup &param, ReleaseRequest &request);

/* "disableServer": "iftype". */
std::string readDisableServer(const ParamLookup &param);

#endif /* ORVATH_APPLY_REQUEST_H */
