/*
 * The changing requests read once into typed values: "applydata" (its three
 * JSON parameters, its global settings and the rows of its subnet table) and
 * "applypxesubnet". The request checks (validate.h) and the handlers
 * (subnets.cpp, pxe.cpp) both work from them.
 */
#ifndef ORVATH_APPLY_REQUEST_H
#define ORVATH_APPLY_REQUEST_H

#include <json/json.h>

#include <functional>
#include <vector>

#include "quomodhcp.h"

/* The address members of a row of "subnetData". */
extern const char *const kSubnetAddressMembers[4];

/* A row of "subnetData" that can be written: the four address texts (never
 * NULL) and the row's two switches (false when absent). */
struct SubnetRow {
    const char *szStartIp;
    const char *szEndIp;
    const char *szNetmask;
    const char *szGateway;
    bool activated;
    bool pxe;
};

/* The members of "dataArray"; a text is NULL when absent or not a string. */
struct GlobalSettings {
    bool isObject;    /* the document is an object; nothing applies otherwise */
    bool hasEnable;   /* "enable_check" is a boolean ... */
    bool enable;      /* ... and this one */
    const char *szPrimaryDns;   /* "pdns" */
    const char *szSecondaryDns; /* "sdns" */
    const char *szLeaseTime;    /* "leasetime", minutes */
    const char *szDomain;       /* "domain" */
    const char *szIfName;       /* "iftype" */
    /* The first of those texts, in the order above, that holds a NUL
     * character (it would be cut short of what was checked); NULL for none. */
    const char *szNulMember;
};

struct ApplyDataRequest {
    /* "dataArray", "subnetData", "staticData"; NULL for a parameter that is
     * absent or not JSON. They point into documents the caller keeps. */
    const Json::Value *global;
    const Json::Value *table;
    const Json::Value *set;
    GlobalSettings settings;
    /* The table is an array whose every row is an object carrying the four
     * address members as texts; only such a table is applied. */
    bool tableUsable;
    /* Its rows, in order, when it is usable; otherwise empty. */
    std::vector<SubnetRow> rows;
};

/* Reads the documents' shape once into request. */
void readApplyData(const Json::Value *global, const Json::Value *table, const Json::Value *set,
                   ApplyDataRequest &request);

/* A request parameter's text by name, NULL when the request lacks it. */
using ParamLookup = std::function<const char *(const char *name)>;

/* "applypxesubnet"; an absent parameter reads as empty text. */
struct PxeRequest {
    const char *szInterface;     /* "pxe_interface" */
    char szIfName[QUOMO_IFNAME_LEN]; /* the same, kept to the buffer's width */
    bool enable;                 /* "pxe_enable" is exactly "true" */
    const char *szOrigInterface; /* "orig_interface"; "" = none */
    const char *szStartIp;       /* "pxe_start_ip" */
    const char *szEndIp;         /* "pxe_end_ip" */
    const char *szNetmask;       /* "pxe_netmask" */
    const char *szGateway;       /* "pxe_gateway" */
    const char *szDns;           /* "pxe_dns" */
    const char *szBootFile;      /* "pxe_bootloader" */
};

void readPxeRequest(const ParamLookup &param, PxeRequest &request);

#endif /* ORVATH_APPLY_REQUEST_H */
