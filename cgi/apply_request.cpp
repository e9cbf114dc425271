/*
 * orvath: the changing requests read once (see apply_request.h).
 */
#include "apply_request.h"

#include <string.h>

#include <json/json.h>

#include "json_members.h"
#include "orvath.h"
#include "orvath_common.h"
#include "validate.h"

ParamLookup requestParams(DhcpHandler &handler)
{
    return [&handler](const char *name) { return handler.webvard.In(name, NULL); };
}

bool failAt(ValidationError &err, std::string where, std::string why)
{
    err.where = std::move(where);
    err.why = std::move(why);
    return false;
}

/* ---- "applydata" ---- */

/* The JSON text of a parameter (absent: empty, which is no JSON). False,
 * logged by the parser, when it is not JSON. */
static bool parseParam(const ParamLookup &param, const char *name, Json::Value &document)
{
    const char *text = param(name);
    return parseJsonText(text ? text : "", document);
}

/* A string member into text; false, with err, when it holds a NUL. */
static bool readText(const Json::Value &object, const char *name, const std::string &where,
                     Text &text, ValidationError &err)
{
    text.reset();
    const Json::Value *value = findMember(object, name);
    if (!value || !value->isString())
        return true;
    const char *begin = nullptr, *end = nullptr;
    value->getString(&begin, &end);
    if (memchr(begin, '\0', (size_t)(end - begin)))
        return failAt(err, where, "contains a NUL character");
    text.emplace(begin, end);
    return true;
}

static bool readSettings(const Json::Value &root, GlobalSettings &settings, ValidationError &err)
{
    settings.given = true;
    settings.isObject = root.isObject();
    settings.hasEnable = memberFlag(root, "enable_check", &settings.enable);
    Text lease;
    if (!readText(root, "pdns", "dataArray.pdns", settings.primaryDns, err) ||
        !readText(root, "sdns", "dataArray.sdns", settings.secondaryDns, err) ||
        !readText(root, "leasetime", "dataArray.leasetime", lease, err) ||
        !readText(root, "domain", "dataArray.domain", settings.domain, err) ||
        !readText(root, "iftype", "dataArray.iftype", settings.ifName, err))
        return false;
    if (!lease)
        return true;
    /* Minutes in, seconds stored in a 32-bit field. */
    if (const char *why = parseLeaseMinutes(lease->c_str(), &settings.leaseSeconds))
        return failAt(err, "dataArray.leasetime", why);
    settings.hasLeaseTime = true;
    return true;
}

static bool readRow(const Json::Value &value, const std::string &at, SubnetRow &row,
                    ValidationError &err)
{
    if (!readText(value, "startip", at + "startip", row.startIp, err) ||
        !readText(value, "endip", at + "endip", row.endIp, err) ||
        !readText(value, "netmask", at + "netmask", row.netmask, err) ||
        !readText(value, "gateway", at + "gateway", row.gateway, err))
        return false;
    row.activated = memberTrue(value, "activated");
    row.pxe = memberTrue(value, "pxe");
    return true;
}

static bool hasAddresses(const SubnetRow &row)
{
    return row.startIp && row.endIp && row.netmask && row.gateway;
}

static bool readTable(const Json::Value &table, ApplyDataRequest &request, ValidationError &err)
{
    request.tableGiven = true;
    if (!table.isArray())
        return true;
    request.tableUsable = true;
    request.rows.resize(table.size());
    for (Json::ArrayIndex i = 0; i < table.size(); ++i) {
        SubnetRow &row = request.rows[i];
        if (!readRow(table[i], "subnetData[" + std::to_string(i) + "].", row, err))
            return false;
        request.tableUsable = request.tableUsable && hasAddresses(row);
    }
    return true;
}

static bool readSet(const Json::Value &set, ApplyDataRequest &request, ValidationError &err)
{
    /* An object is no set of reservations at all; a scalar has no elements
     * and clears the stored set. */
    if (set.isObject()) {
        ORV_LOG("Error: parsing error, reason = %s", "reservations are an object, not an array");
        return true;
    }
    request.setAction = kSetReplaced;
    if (!set.isArray())
        return true;
    request.set.resize(set.size());
    for (Json::ArrayIndex i = 0; i < set.size(); ++i) {
        const Json::Value &entry = set[i];
        Reservation &host = request.set[i];
        const std::string at = "staticData[" + std::to_string(i) + "].";
        if (!readText(entry, "mac", at + "mac", host.mac, err) ||
            !readText(entry, "ip", at + "ip", host.ip, err) ||
            !readText(entry, "hostname", at + "hostname", host.hostname, err))
            return false;
    }
    return true;
}

bool readApplyData(const ParamLookup &param, ApplyDataRequest &request, ValidationError &err)
{
    request = ApplyDataRequest();
    Json::Value global, table, set;
    bool haveGlobal = parseParam(param, "dataArray", global);
    bool haveTable = parseParam(param, "subnetData", table);
    bool haveSet = parseParam(param, "staticData", set);
    return (!haveGlobal || readSettings(global, request.settings, err)) &&
           (!haveTable || readTable(table, request, err)) &&
           (!haveSet || readSet(set, request, err));
}

/* ---- the plain parameters ---- */

/* A parameter's text; absent reads as empty. */
static std::string paramOf(const ParamLookup &param, const char *name)
{
    const char *value = param(name);
    return value ? value : "";
}

void readPxeRequest(const ParamLookup &param, PxeRequest &request)
{
    request.interface = paramOf(param, "pxe_interface");
    request.enable = paramOf(param, "pxe_enable") == "true";
    request.origInterface = paramOf(param, "orig_interface");
    request.startIp = paramOf(param, "pxe_start_ip");
    request.endIp = paramOf(param, "pxe_end_ip");
    request.netmask = paramOf(param, "pxe_netmask");
    request.gateway = paramOf(param, "pxe_gateway");
    request.dns = paramOf(param, "pxe_dns");
    request.bootFile = paramOf(param, "pxe_bootloader");
    request.bootEfi64 = paramOf(param, "pxe_bootloader_efi64");
    request.bootEfi32 = paramOf(param, "pxe_bootloader_efi32");
    request.bootArm64 = paramOf(param, "pxe_bootloader_arm64");
    request.ipxe = paramOf(param, "pxe_ipxe");
    request.tftpServer = paramOf(param, "pxe_tftp_server");
    request.rangeOnly = paramOf(param, "pxe_range_only");
}

void readReleaseRequest(const ParamLookup &param, ReleaseRequest &request)
{
    request.ifName = paramOf(param, "iftype");
    request.mac = paramOf(param, "mac");
    request.ip = paramOf(param, "ip");
}

std::string readDisableServer(const ParamLookup &param) { return paramOf(param, "iftype"); }
