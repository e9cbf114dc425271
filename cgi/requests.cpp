/*
 * orvath: the changing requests read once (see requests.h).
 */
#include "requests.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <json/json.h>

#include "json_members.h"
#include "orvath_common.h"
#include "quomodhcp.h"
#include "rule_table.h"

bool failAt(ValidationError &err, std::string where, std::string why)
{
    err.where = std::move(where);
    err.why = std::move(why);
    return false;
}

const char *parseLeaseMinutes(const char *text, int *seconds)
{
    errno = 0;
    long minutes = strtol(text ? text : "", nullptr, 10);
    if (minutes < 0)
        return "negative lease time";
    if (errno == ERANGE || minutes > INT32_MAX / 60)
        return "lease time too long";
    if (seconds)
        *seconds = (int)(minutes * 60);
    return nullptr;
}

bool parseRevisionId(const char *text, int64_t &id)
{
    if (!text || !text[0] || strspn(text, "0123456789") != strlen(text) || strlen(text) > 18)
        return false;
    id = strtoll(text, NULL, 10);
    return id > 0;
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
            !readText(entry, "hostname", at + "hostname", host.hostname, err) ||
            !readText(entry, "ipv6", at + "ipv6", host.ipv6, err))
            return false;
    }
    return true;
}

/* The member of a reservation a name gives; NULL for any other name. */
static Text *reservationMember(Reservation &host, const std::string &name)
{
    if (name == "mac")
        return &host.mac;
    if (name == "ip")
        return &host.ip;
    if (name == "hostname")
        return &host.hostname;
    if (name == "ipv6")
        return &host.ipv6;
    return nullptr;
}

/* "staticData" as the page sends it, thousands of rows of strings, read
 * straight into the rows: the same rows readSet gives, without the tree in
 * between. False, nothing read, for any other text. */
static bool readPlainSet(const char *text, ApplyDataRequest &request)
{
    size_t rows = 0;
    if (!text || !parseStringRecords(text, StringRecordMember(), rows))
        return false;
    request.setAction = kSetReplaced;
    request.set.resize(rows);
    parseStringRecords(text,
                       [&request](size_t row, const std::string &name, const char *value, size_t len) {
                           if (Text *member = reservationMember(request.set[row], name))
                               member->emplace(value, len);
                       },
                       rows);
    return true;
}

bool readApplyData(const ParamLookup &param, ActionRequest &out, ValidationError &err)
{
    ApplyDataRequest &request = out.emplace<ApplyDataRequest>();
    Json::Value global, table;
    bool haveGlobal = parseParam(param, "dataArray", global);
    bool haveTable = parseParam(param, "subnetData", table);
    if (!(!haveGlobal || readSettings(global, request.settings, err)) ||
        !(!haveTable || readTable(table, request, err)))
        return false;
    if (readPlainSet(param("staticData"), request))
        return true;
    Json::Value set;
    return !parseParam(param, "staticData", set) || readSet(set, request, err);
}

/* ---- the plain parameters ---- */

/* A parameter's text; absent reads as empty. */
static std::string paramOf(const ParamLookup &param, const char *name)
{
    const char *value = param(name);
    return value ? value : "";
}

bool readPxeRequest(const ParamLookup &param, ActionRequest &out, ValidationError &)
{
    PxeRequest &request = out.emplace<PxeRequest>();
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
    return true;
}

bool readReleaseRequest(const ParamLookup &param, ActionRequest &out, ValidationError &)
{
    ReleaseRequest &request = out.emplace<ReleaseRequest>();
    request.ifName = paramOf(param, "iftype");
    request.mac = paramOf(param, "mac");
    request.ip = paramOf(param, "ip");
    return true;
}

bool readDisableServer(const ParamLookup &param, ActionRequest &out, ValidationError &)
{
    out.emplace<DisableRequest>().ifName = paramOf(param, "iftype");
    return true;
}

bool readRevertRequest(const ParamLookup &param, ActionRequest &out, ValidationError &err)
{
    RevertRequest &request = out.emplace<RevertRequest>();
    request.ifName = paramOf(param, "iftype");
    return parseRevisionId(param("id"), request.id) || failAt(err, "id", "not a revision number");
}

bool readBaseRevision(const ParamLookup &param, BaseRevision &base, ValidationError &err)
{
    const char *text = param("baseRevision");
    base = BaseRevision();
    if (!text || !text[0])
        return true;
    base.given = true;
    if (strcmp(text, "0") == 0)
        return true;
    return parseRevisionId(text, base.id) || failAt(err, "baseRevision", "not a revision number");
}

/* ---- "applyOptions" ---- */

std::vector<std::string> splitCommas(const std::string &text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

/* Blanks around the items of a list go: "a, b" is "a,b". */
static std::string withoutBlanks(const std::string &text, bool list)
{
    if (!list) {
        size_t b = text.find_first_not_of(' ');
        size_t e = text.find_last_not_of(' ');
        return b == std::string::npos ? "" : text.substr(b, e - b + 1);
    }
    std::string out;
    for (const std::string &part : splitCommas(text))
        out += withoutBlanks(part, false) + ",";
    if (!out.empty())
        out.pop_back();
    return out;
}

/* The member as text: a string, or a number or boolean given as one. */
static bool memberString(const Json::Value &object, const char *name, std::string &out)
{
    const Json::Value *value = findMember(object, name);
    if (!value)
        return false;
    if (value->isString()) {
        const char *begin = nullptr, *end = nullptr;
        value->getString(&begin, &end);
        out.assign(begin, end);
        return true;
    }
    if (value->isIntegral()) {
        out = value->asString();
        return true;
    }
    if (value->isBool()) {
        out = value->asBool() ? "true" : "false";
        return true;
    }
    return false;
}

static bool readOption(const Json::Value &row, const std::string &where, OptionEntry &entry,
                       ValidationError &err)
{
    if (!row.isObject())
        return failAt(err, where, "not an object");
    memberString(row, "name", entry.name);
    memberString(row, "code", entry.codeText);
    memberString(row, "type", entry.type);
    if (!memberString(row, "value", entry.value))
        return failAt(err, where + ".value", "missing");
    if (entry.value.find('\0') != std::string::npos)
        return failAt(err, where + ".value", "contains a NUL character");
    entry.check = entry.type;
    if (const RuleNamedOption *named = entry.name.empty() ? nullptr : ruleNamedOption(entry.name)) {
        entry.code = named->code;
        entry.check = named->check;
        entry.type = named->sends;
    } else if (!entry.codeText.empty() && entry.codeText.size() <= 3 &&
               entry.codeText.find_first_not_of("0123456789") == std::string::npos) {
        entry.code = atoi(entry.codeText.c_str());
    }
    bool list = entry.type == "ipv4-list" || entry.type == "routes" || entry.type == "names";
    entry.value = withoutBlanks(entry.value, list);
    return true;
}

static bool readHost(const Json::Value &row, const std::string &where, HostOverride &host,
                     ValidationError &err)
{
    if (!row.isObject())
        return failAt(err, where, "not an object");
    memberString(row, "mac", host.mac);
    memberString(row, "gateway", host.gateway);
    memberString(row, "dns", host.dns);
    for (char &c : host.mac)
        c = c == '-' ? ':' : (char)tolower((unsigned char)c);
    host.gateway = withoutBlanks(host.gateway, false);
    host.dns = withoutBlanks(host.dns, false);
    return true;
}

/* A parameter's JSON array; an absent parameter is an empty list. */
static bool readArray(const ParamLookup &param, const char *name, Json::Value &array,
                      ValidationError &err)
{
    const char *text = param(name);
    if (!text || !*text) {
        array = Json::Value(Json::arrayValue);
        return true;
    }
    if (!parseJsonText(text, array) || !array.isArray())
        return failAt(err, name, "not a JSON array");
    return true;
}

bool readOptionsRequest(const ParamLookup &param, ActionRequest &out, ValidationError &err)
{
    OptionsRequest &request = out.emplace<OptionsRequest>();
    request.ifName = paramOf(param, "iftype");
    Json::Value options, hosts;
    if (!readArray(param, "options", options, err) || !readArray(param, "hostOptions", hosts, err))
        return false;
    request.options.resize(options.size());
    for (Json::ArrayIndex i = 0; i < options.size(); ++i) {
        if (!readOption(options[i], "options[" + std::to_string(i) + "]", request.options[i], err))
            return false;
    }
    request.hosts.resize(hosts.size());
    for (Json::ArrayIndex i = 0; i < hosts.size(); ++i) {
        if (!readHost(hosts[i], "hostOptions[" + std::to_string(i) + "]", request.hosts[i], err))
            return false;
    }
    return true;
}

/* ---- "applyAccess", "wakeClient" ---- */

std::string normalMac(std::string mac)
{
    for (char &c : mac)
        c = c == '-' ? ':' : (char)tolower((unsigned char)c);
    return mac;
}

static bool readBlocked(const Json::Value &row, const std::string &where, BlockedClient &blocked,
                        ValidationError &err)
{
    if (!row.isObject())
        return failAt(err, where, "not an object");
    Text mac, note;
    if (!readText(row, "mac", where + ".mac", mac, err) || !readText(row, "note", where + ".note", note, err))
        return false;
    blocked.mac = normalMac(mac ? *mac : "");
    blocked.note = note ? *note : "";
    return true;
}

bool readAccessRequest(const ParamLookup &param, ActionRequest &out, ValidationError &err)
{
    AccessRequest &request = out.emplace<AccessRequest>();
    request.ifName = paramOf(param, "iftype");
    Json::Value access;
    const char *text = param("access");
    if (!text || !parseJsonText(text, access) || !access.isObject())
        return failAt(err, "access", "not a JSON object");
    Text unknown;
    if (!readText(access, "unknownClients", "access.unknownClients", unknown, err))
        return false;
    request.unknownClients = unknown ? *unknown : "";
    const Json::Value *blocked = findMember(access, "blocked");
    if (!blocked)
        return true;
    if (!blocked->isArray())
        return failAt(err, "access.blocked", "not an array");
    /* Read no further than the check will take. */
    if (blocked->size() > QUOMO_MAX_BLOCKED)
        return failAt(err, "access.blocked", "more than " + std::to_string(QUOMO_MAX_BLOCKED) + " clients");
    request.blocked.resize(blocked->size());
    for (Json::ArrayIndex i = 0; i < blocked->size(); ++i) {
        if (!readBlocked((*blocked)[i], "access.blocked[" + std::to_string(i) + "]", request.blocked[i], err))
            return false;
    }
    return true;
}

/* ---- "applyIPv6" ---- */

static bool readIpv6Dns(const Json::Value &object, Ipv6Request &request, ValidationError &err)
{
    const Json::Value *dns = findMember(object, "dns");
    if (!dns || dns->isNull())
        return true;
    if (!dns->isArray())
        return failAt(err, "ipv6.dns", "not a list");
    for (Json::ArrayIndex i = 0; i < dns->size(); ++i) {
        const std::string where = "ipv6.dns[" + std::to_string(i) + "]";
        if (!(*dns)[i].isString())
            return failAt(err, where, "not a text");
        const char *begin = nullptr, *end = nullptr;
        (*dns)[i].getString(&begin, &end);
        if (memchr(begin, '\0', (size_t)(end - begin)))
            return failAt(err, where, "contains a NUL character");
        request.dns.push_back(withoutBlanks(std::string(begin, end), false));
    }
    return true;
}

bool readWakeRequest(const ParamLookup &param, ActionRequest &out, ValidationError &)
{
    WakeRequest &request = out.emplace<WakeRequest>();
    request.ifName = paramOf(param, "iftype");
    request.mac = normalMac(paramOf(param, "mac"));
    return true;
}

bool readIpv6Request(const ParamLookup &param, ActionRequest &out, ValidationError &err)
{
    Ipv6Request &request = out.emplace<Ipv6Request>();
    request.ifName = paramOf(param, "iftype");
    Json::Value root;
    if (!parseParam(param, "ipv6", root) || !root.isObject())
        return failAt(err, "ipv6", "not a JSON object");
    Text mode, start, end;
    if (!readText(root, "mode", "ipv6.mode", mode, err) ||
        !readText(root, "start", "ipv6.start", start, err) ||
        !readText(root, "end", "ipv6.end", end, err) ||
        !readText(root, "leasetime", "ipv6.leasetime", request.leaseTime, err) ||
        !readIpv6Dns(root, request, err))
        return false;
    request.mode = mode.value_or("");
    request.start = withoutBlanks(start.value_or(""), false);
    request.end = withoutBlanks(end.value_or(""), false);
    memberString(root, "prefixLength", request.prefixLength);
    memberFlag(root, "raNames", &request.raNames);
    if (request.leaseTime)
        if (const char *why = parseLeaseMinutes(request.leaseTime->c_str(), &request.leaseSeconds))
            return failAt(err, "ipv6.leasetime", why);
    return true;
}

/* ---- the interface a request names ---- */

std::string requestInterface(const ActionRequest &request)
{
    if (const auto *r = std::get_if<ApplyDataRequest>(&request))
        return r->settings.ifName ? *r->settings.ifName : "";
    if (const auto *r = std::get_if<DisableRequest>(&request))
        return r->ifName;
    if (const auto *r = std::get_if<PxeRequest>(&request))
        return r->interface;
    if (const auto *r = std::get_if<OptionsRequest>(&request))
        return r->ifName;
    if (const auto *r = std::get_if<ReleaseRequest>(&request))
        return r->ifName;
    if (const auto *r = std::get_if<RevertRequest>(&request))
        return r->ifName;
    if (const auto *r = std::get_if<AccessRequest>(&request))
        return r->ifName;
    if (const auto *r = std::get_if<WakeRequest>(&request))
        return r->ifName;
    if (const auto *r = std::get_if<Ipv6Request>(&request))
        return r->ifName;
    return "";
}
