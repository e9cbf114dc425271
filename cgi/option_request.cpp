/*
 * "applyOptions" read and checked (see option_request.h).
 */
#include "option_request.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <json/json.h>

#include "json_members.h"
#include "quomodhcp.h"
#include "validate.h"

static const NamedOption kNamed[] = {
    {"ntp-server", 42, "ipv4-list"},
    {"netbios-ns", 44, "ipv4-list"},
    {"mtu", 26, "mtu"},
    {"classless-static-route", 121, "routes"},
    {"tftp-server", 66, "server-name"},
    {"bootfile-name", 67, "file-name"},
    {"time-offset", 2, "int32"},
    {"sip-server", 120, "names"},
    {"wpad", 252, "url"},
};

/* What the library is told to send for a named option's own type. */
static const char *libraryType(const std::string &type)
{
    if (type == "mtu")
        return "uint16";
    if (type == "server-name" || type == "file-name" || type == "url")
        return "text";
    return nullptr;
}

const NamedOption *findNamedOption(const std::string &name)
{
    for (const NamedOption &o : kNamed)
        if (name == o.name)
            return &o;
    return nullptr;
}

const NamedOption *namedOptionByCode(int code)
{
    for (const NamedOption &o : kNamed)
        if (code == o.code)
            return &o;
    return nullptr;
}

/* Codes the system sets from its own fields, and which field sets each. */
static const char *ownedCode(int code)
{
    switch (code) {
    case 1:
        return "set from the subnet's netmask";
    case 3:
        return "set from the subnet's gateway";
    case 6:
        return "set from the DNS servers of the global settings";
    case 15:
    case 119:
        return "set from the domain of the global settings";
    case 51:
    case 58:
    case 59:
        return "set from the lease time of the global settings";
    case 53:
    case 54:
        return "set by the DHCP server itself";
    case 43:
    case 60:
    case 93:
    case 97:
        return "set by network boot: use the PXE section";
    default:
        return nullptr;
    }
}

/* ---- the value checks ---- */

static std::vector<std::string> splitCommas(const std::string &text)
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

static bool parseUnsigned(const std::string &text, unsigned long long max, unsigned long long *out)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = strtoull(text.c_str(), nullptr, 10);
    return *out <= max;
}

static const char *checkIpv4List(const std::string &value)
{
    for (const std::string &part : splitCommas(value))
        if (checkIpv4(part.c_str()))
            return "not a list of IPv4 addresses";
    return nullptr;
}

/* "a.b.c.d/len,gateway" pairs; the destination a network address. */
static const char *checkRoutes(const std::string &value)
{
    std::vector<std::string> parts = splitCommas(value);
    if (parts.size() % 2 != 0)
        return "not a list of \"a.b.c.d/len,gateway\"";
    for (size_t i = 0; i < parts.size(); i += 2) {
        size_t slash = parts[i].find('/');
        unsigned long long len = 0;
        struct in_addr dest;
        if (slash == std::string::npos ||
            inet_pton(AF_INET, parts[i].substr(0, slash).c_str(), &dest) != 1 ||
            checkIpv4(parts[i].substr(0, slash).c_str()) ||
            !parseUnsigned(parts[i].substr(slash + 1), 32, &len) || checkIpv4(parts[i + 1].c_str()))
            return "not a list of \"a.b.c.d/len,gateway\"";
        uint32_t host = ntohl(dest.s_addr);
        uint32_t mask = len == 0 ? 0 : 0xffffffffu << (32 - len);
        if (host & ~mask)
            return "not a network address before \"/\"";
    }
    return nullptr;
}

/* Addresses or names, all of one kind (they are sent in one form). */
static const char *checkNames(const std::string &value)
{
    int addresses = 0, names = 0;
    for (const std::string &part : splitCommas(value)) {
        if (!checkIpv4(part.c_str()))
            ++addresses;
        else if (!part.empty() && !checkDomain(part.c_str()))
            ++names;
        else
            return "not a list of IPv4 addresses or names";
    }
    return addresses && names ? "addresses and names cannot be mixed" : nullptr;
}

/* Printable, nothing that could end or escape the quoted text it is sent
 * as, at most 255 bytes. */
static const char *checkText(const std::string &value)
{
    if (value.empty())
        return "empty";
    if (value.size() > 255)
        return "longer than 255 characters";
    for (unsigned char c : value)
        if (c < ' ' || c > '~' || c == '"' || c == '\\')
            return "holds a quote, a backslash or a character that is not printable";
    return nullptr;
}

static const char *checkHex(const std::string &value)
{
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        size_t colon = value.find(':', start);
        std::string pair = value.substr(start, colon == std::string::npos ? colon : colon - start);
        if (pair.size() != 2 || !isxdigit((unsigned char)pair[0]) || !isxdigit((unsigned char)pair[1]))
            return "not colon-separated hexadecimal bytes";
        ++count;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return count > 255 ? "longer than 255 bytes" : nullptr;
}

static const char *checkUrl(const std::string &value)
{
    if (const char *why = checkText(value))
        return why;
    if (value.compare(0, 7, "http://") != 0 && value.compare(0, 8, "https://") != 0)
        return "not an http or https URL";
    return value.find(' ') == std::string::npos ? nullptr : "not an http or https URL";
}

const char *checkOptionValue(const std::string &type, const std::string &value)
{
    unsigned long long n = 0;
    if (type == "ipv4")
        return checkIpv4(value.c_str());
    if (type == "ipv4-list")
        return checkIpv4List(value);
    if (type == "routes")
        return checkRoutes(value);
    if (type == "names")
        return checkNames(value);
    if (type == "text")
        return checkText(value);
    if (type == "uint8")
        return parseUnsigned(value, 255, &n) ? nullptr : "not a number from 0 to 255";
    if (type == "uint16")
        return parseUnsigned(value, 65535, &n) ? nullptr : "not a number from 0 to 65535";
    if (type == "uint32")
        return parseUnsigned(value, 4294967295ULL, &n) ? nullptr
                                                        : "not a number from 0 to 4294967295";
    if (type == "mtu")
        return parseUnsigned(value, 65535, &n) && n >= 68 ? nullptr : "not a number from 68 to 65535";
    if (type == "int32") {
        std::string digits = !value.empty() && value[0] == '-' ? value.substr(1) : value;
        bool fits = parseUnsigned(digits, value[0] == '-' ? 2147483648ULL : 2147483647ULL, &n);
        return fits ? nullptr : "not a number of seconds from -2147483648 to 2147483647";
    }
    if (type == "bool")
        return value == "true" || value == "false" ? nullptr : "not \"true\" or \"false\"";
    if (type == "hex")
        return checkHex(value);
    if (type == "server-name") {
        bool address = !checkIpv4(value.c_str());
        bool name = !value.empty() && !checkDomain(value.c_str());
        return address || name ? checkKeywordPrefix(value.c_str())
                               : "not a host name or an IPv4 address";
    }
    if (type == "file-name") {
        if (value.empty())
            return "empty";
        return checkBootFile(value.c_str());
    }
    if (type == "url") {
        const char *why = checkUrl(value);
        return why ? why : checkKeywordPrefix(value.c_str());
    }
    return "not a type of option";
}

/* ---- reading ---- */

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

/* The member as text: a string, or a number given as one. */
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
    std::string name, code, type, value;
    memberString(row, "name", name);
    bool hasCode = memberString(row, "code", code);
    memberString(row, "type", type);
    if (!memberString(row, "value", value))
        return failAt(err, where + ".value", "missing");
    if (value.find('\0') != std::string::npos)
        return failAt(err, where + ".value", "contains a NUL character");

    const NamedOption *named = name.empty() ? nullptr : findNamedOption(name);
    if (!name.empty() && !named)
        return failAt(err, where + ".name", "not a named option");
    unsigned long long n = 0;
    if (hasCode && !parseUnsigned(code, 254, &n))
        return failAt(err, where + ".code", "not a code from 1 to 254");
    if (named) {
        if (hasCode && (int)n != named->code)
            return failAt(err, where + ".code", "not the code of " + name);
        entry.code = named->code;
        type = named->type;
    } else {
        if (!hasCode || n < 1)
            return failAt(err, where + ".code", "not a code from 1 to 254");
        entry.code = (int)n;
        if (const char *owned = ownedCode(entry.code))
            return failAt(err, where + ".code", owned);
        if (const NamedOption *same = namedOptionByCode(entry.code))
            return failAt(err, where + ".code", std::string("use the named option ") + same->name);
        static const char *const kTypes[] = {"ipv4", "ipv4-list", "text", "uint8",
                                             "uint16", "uint32", "bool", "hex"};
        bool known = false;
        for (const char *t : kTypes)
            known = known || type == t;
        if (!known)
            return failAt(err, where + ".type", "not a type of option");
    }
    bool list = type == "ipv4-list" || type == "routes" || type == "names";
    value = withoutBlanks(value, list);
    if (const char *why = checkOptionValue(type, value))
        return failAt(err, where + ".value", why);
    entry.name = named ? named->name : "";
    const char *libType = libraryType(type);
    entry.type = libType ? libType : type;
    entry.value = value;
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
    if (const char *why = checkMac(host.mac.c_str()))
        return failAt(err, where + ".mac", why);
    if (host.gateway.empty() && host.dns.empty())
        return failAt(err, where, "neither a gateway nor a DNS server");
    if (!host.gateway.empty() && checkIpv4(host.gateway.c_str()))
        return failAt(err, where + ".gateway", "not an IPv4 address");
    if (!host.dns.empty() && checkIpv4(host.dns.c_str()))
        return failAt(err, where + ".dns", "not an IPv4 address");
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

bool readOptionsRequest(const ParamLookup &param, OptionsRequest &request, ValidationError &err)
{
    request = OptionsRequest();
    const char *ifName = param("iftype");
    request.ifName = ifName ? ifName : "";
    if (const char *why = checkInterfaceName(request.ifName.c_str()))
        return failAt(err, "iftype", why);
    Json::Value options, hosts;
    if (!readArray(param, "options", options, err) || !readArray(param, "hostOptions", hosts, err))
        return false;
    if (options.size() > QUOMO_MAX_OPTIONS)
        return failAt(err, "options", "more than " + std::to_string(QUOMO_MAX_OPTIONS) + " options");
    if (hosts.size() > QUOMO_MAX_HOST_OPTIONS)
        return failAt(err, "hostOptions",
                      "more than " + std::to_string(QUOMO_MAX_HOST_OPTIONS) + " entries");
    for (Json::ArrayIndex i = 0; i < options.size(); ++i) {
        std::string where = "options[" + std::to_string(i) + "]";
        OptionEntry entry;
        if (!readOption(options[i], where, entry, err))
            return false;
        for (const OptionEntry &other : request.options)
            if (other.code == entry.code)
                return failAt(err, where + ".code", "given twice");
        request.options.push_back(entry);
    }
    for (Json::ArrayIndex i = 0; i < hosts.size(); ++i) {
        std::string where = "hostOptions[" + std::to_string(i) + "]";
        HostOverride host;
        if (!readHost(hosts[i], where, host, err))
            return false;
        for (const HostOverride &other : request.hosts)
            if (other.mac == host.mac)
                return failAt(err, where + ".mac", "given twice");
        request.hosts.push_back(host);
    }
    return true;
}
