// Validation of request values before anything is written.
#include "validate.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <map>

#include "json_members.h"

// ---- single values ----

static bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

static bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The address in host byte order; false when text is not dotted-quad IPv4.
static bool parseIpv4(const char *text, uint32_t *addr)
{
    struct in_addr in;
    if (!text || inet_pton(AF_INET, text, &in) != 1)
        return false;
    *addr = ntohl(in.s_addr);
    return true;
}

const char *checkInterfaceName(const char *text)
{
    if (!text || !*text)
        return "missing";
    size_t len = strlen(text);
    if (len > 15)
        return "longer than 15 characters";
    if (text[0] == '.')
        return "begins with \".\"";
    for (size_t i = 0; i < len; i++) {
        char c = text[i];
        if (!isAsciiAlnum(c) && c != '_' && c != '-' && c != '.')
            return "not an interface name";
    }
    return nullptr;
}

const char *checkIpv4(const char *text)
{
    uint32_t addr;
    return parseIpv4(text, &addr) ? nullptr : "not an IPv4 address";
}

const char *checkNetmask(const char *text)
{
    uint32_t mask;
    if (!parseIpv4(text, &mask))
        return "not an IPv4 address";
    // The zero-bits below the mask, plus one, must be a single bit (or zero).
    uint32_t host = ~mask;
    if ((host & (host + 1)) != 0)
        return "not a contiguous netmask";
    return nullptr;
}

const char *checkRange(const char *start, const char *end, const char *netmask)
{
    uint32_t first = 0, last = 0, mask = 0;
    if (!parseIpv4(start, &first) || !parseIpv4(end, &last))
        return "not an IPv4 address";
    if (const char *why = checkNetmask(netmask))
        return why;
    parseIpv4(netmask, &mask);
    if ((first & mask) != (last & mask))
        return "start and end not in one subnet";
    if (first > last)
        return "start above end";
    return nullptr;
}

const char *checkMac(const char *text)
{
    if (!text || strlen(text) != 17)
        return "not a MAC address";
    for (int i = 0; i < 17; i++) {
        bool ok = (i % 3 == 2) ? text[i] == ':' : isHexDigit(text[i]);
        if (!ok)
            return "not a MAC address";
    }
    return nullptr;
}

// Dot-separated labels; badChar is the reason for a character outside them.
static const char *checkLabels(const char *text, const char *badChar)
{
    if (!text || !*text)
        return nullptr;
    size_t len = strlen(text);
    if (len > 253)
        return "longer than 253 characters";
    size_t labelStart = 0;
    for (size_t i = 0; i <= len; i++) {
        char c = text[i];
        if (c != '.' && c != '\0') {
            if (!isAsciiAlnum(c) && c != '-' && c != '_')
                return badChar;
            continue;
        }
        size_t labelLen = i - labelStart;
        if (labelLen == 0)
            return "empty label";
        if (labelLen > 63)
            return "label longer than 63 characters";
        char first = text[labelStart], lastc = text[i - 1];
        if (first == '-' || first == '_')
            return "label begins with \"-\" or \"_\"";
        if (lastc == '-')
            return "label ends with \"-\"";
        labelStart = i + 1;
    }
    return nullptr;
}

const char *checkDomain(const char *text)
{
    return checkLabels(text, "not a domain name");
}

// dnsmasq reads a "dhcp-host" field made of digits with an optional unit
// letter as a lease time.
static bool looksLikeLeaseTime(const char *text)
{
    size_t digits = strspn(text, "0123456789");
    if (digits == 0)
        return false;
    const char *rest = text + digits;
    return *rest == '\0' || (strchr("smhdwSMHDW", *rest) && rest[1] == '\0');
}

const char *checkHostName(const char *text)
{
    if (!text || !*text)
        return nullptr;
    if (!strncasecmp(text, "id:", 3) || !strncasecmp(text, "set:", 4) ||
        !strncasecmp(text, "tag:", 4))
        return "read by dnsmasq as a client id or tag";
    if (strchr(text, '*'))
        return "read by dnsmasq as a wildcard";
    if (!strcasecmp(text, "infinite") || !strcasecmp(text, "ignore"))
        return "read by dnsmasq as a keyword";
    if (looksLikeLeaseTime(text))
        return "read by dnsmasq as a lease time";
    // Digits and dots only: an address, or a text that looks like one.
    if (strspn(text, "0123456789.") == strlen(text))
        return "read by dnsmasq as an address";
    return checkLabels(text, "not a host name");
}

// True when the path has an element that is exactly "..", with "/" or "\"
// between elements.
static bool hasParentElement(const char *text)
{
    const char *p = text;
    while (*p) {
        size_t len = strcspn(p, "/\\");
        if (len == 2 && p[0] == '.' && p[1] == '.')
            return true;
        p += len;
        if (*p)
            p++;
    }
    return false;
}

const char *checkBootFile(const char *text)
{
    if (!text || !*text)
        return nullptr;
    size_t len = strlen(text);
    if (len > 255)
        return "longer than 255 characters";
    for (size_t i = 0; i < len; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c <= ' ' || c >= 0x7f)
            return "contains a blank or an unprintable character";
        if (strchr(",\"'#=", c))
            return "contains one of , \" ' # =";
    }
    if (hasParentElement(text))
        return "contains a \"..\" path element";
    return nullptr;
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

// ---- whole requests ----
//
// A subnet table that is not an array of usable rows is not applied at all,
// and a reservation without its three texts is left out. These checks follow
// the handlers' reading: they look at every text that is given, and at what
// will be written with it.

static bool fail(ValidationError &err, std::string where, std::string why)
{
    err.where = std::move(where);
    err.why = std::move(why);
    return false;
}

// A text member of a JSON object; *text is NULL when the object lacks it or
// it is not a string. False (with err) for a text holding a NUL character,
// which would cut it short of what was checked.
static bool textMember(const Json::Value &obj, const char *name, const std::string &where,
                       const char **text, ValidationError &err)
{
    *text = nullptr;
    const Json::Value *value = findMember(obj, name);
    if (!value || !value->isString())
        return true;
    const char *begin = nullptr, *end = nullptr;
    value->getString(&begin, &end);
    if (memchr(begin, '\0', (size_t)(end - begin)))
        return fail(err, where, "contains a NUL character");
    *text = value->asCString();
    return true;
}

// Runs a value check on a given text; an absent text passes.
static bool checkPresent(const char *text, const char *(*check)(const char *),
                         const std::string &where, ValidationError &err)
{
    if (!text)
        return true;
    const char *why = check(text);
    return why ? fail(err, where, why) : true;
}

// A text that is written where an empty value breaks the line: given, not
// empty and accepted by check.
static bool checkRequired(const char *text, const char *(*check)(const char *),
                          const std::string &where, ValidationError &err)
{
    if (!text || !*text)
        return fail(err, where, "missing");
    return checkPresent(text, check, where, err);
}

// Empty text may stand for "none"; anything else must be an address.
static const char *checkOptionalIpv4(const char *text)
{
    return *text ? checkIpv4(text) : nullptr;
}

static const char *checkLeaseText(const char *text)
{
    return parseLeaseMinutes(text, nullptr);
}

static bool validateGlobal(const GlobalSettings &settings, bool writesSubnets,
                           ValidationError &err)
{
    if (settings.szNulMember)
        return fail(err, std::string("dataArray.") + settings.szNulMember,
                    "contains a NUL character");
    const char *pdns = settings.szPrimaryDns, *sdns = settings.szSecondaryDns;
    const char *lease = settings.szLeaseTime, *domain = settings.szDomain;
    const char *ifName = settings.szIfName;

    if (!checkPresent(pdns, checkOptionalIpv4, "dataArray.pdns", err) ||
        !checkPresent(sdns, checkOptionalIpv4, "dataArray.sdns", err) ||
        !checkPresent(lease, checkLeaseText, "dataArray.leasetime", err) ||
        !checkPresent(domain, checkDomain, "dataArray.domain", err))
        return false;
    if (!validateInterfaceParam("dataArray.iftype", ifName, err))
        return false;

    // Subnets are written with the interface name and the first DNS server;
    // an empty one gives a file name without interface, or a dns-server line
    // that makes dnsmasq refuse the whole configuration.
    if (writesSubnets) {
        if (!ifName || !*ifName)
            return fail(err, "dataArray.iftype", "missing");
        if (!pdns || !*pdns)
            return fail(err, "dataArray.pdns", "missing");
    }
    return true;
}

static bool validateSubnetRow(const Json::Value &row, Json::ArrayIndex i, ValidationError &err)
{
    if (!row.isObject())
        return true; // the table is then not applied
    const std::string at = "subnetData[" + std::to_string(i) + "].";
    const char *const *names = kSubnetAddressMembers;
    const char *text[4];
    for (int k = 0; k < 4; k++) {
        if (!textMember(row, names[k], at + names[k], &text[k], err))
            return false;
    }

    if (memberTrue(row, "pxe")) {
        // The PXE row's addresses are only compared with the access point's
        // subnet; its stored range is written by "applypxesubnet".
        for (int k = 0; k < 4; k++) {
            if (!checkPresent(text[k], checkOptionalIpv4, at + names[k], err))
                return false;
        }
        return true;
    }

    for (int k = 0; k < 4; k++) {
        if (text[k] && !checkRequired(text[k], checkIpv4, at + names[k], err))
            return false;
    }
    if (!checkPresent(text[2], checkNetmask, at + "netmask", err))
        return false;
    if (text[0] && text[1] && text[2]) {
        if (const char *why = checkRange(text[0], text[1], text[2]))
            return fail(err, at + "endip", why);
    }
    return true;
}

// The range of an activated row with a valid start and end.
static bool activeRange(const Json::Value &row, uint32_t *first, uint32_t *last)
{
    bool activated = false;
    if (!memberFlag(row, "activated", &activated) || !activated)
        return false;
    return parseIpv4(memberText(row, "startip"), first) &&
           parseIpv4(memberText(row, "endip"), last) && *first <= *last;
}

// dnsmasq serves two ranges that share an address, but which of them a
// client gets is left to chance: the later row is refused.
static bool checkOverlaps(const Json::Value &table, ValidationError &err)
{
    for (Json::ArrayIndex i = 1; i < table.size(); i++) {
        uint32_t first, last;
        if (!activeRange(table[i], &first, &last))
            continue;
        for (Json::ArrayIndex j = 0; j < i; j++) {
            uint32_t otherFirst, otherLast;
            if (activeRange(table[j], &otherFirst, &otherLast) && first <= otherLast &&
                otherFirst <= last)
                return fail(err, "subnetData[" + std::to_string(i) + "].startip",
                            "overlaps subnetData[" + std::to_string(j) + "]");
        }
    }
    return true;
}

static bool validateSubnets(const Json::Value *table, ValidationError &err)
{
    if (!table || !table->isArray())
        return true;
    for (Json::ArrayIndex i = 0; i < table->size(); i++) {
        if (!validateSubnetRow((*table)[i], i, err))
            return false;
    }
    return checkOverlaps(*table, err);
}

static bool validateReservations(const Json::Value *list, ValidationError &err)
{
    if (!list || !list->isArray())
        return true;
    std::map<uint32_t, Json::ArrayIndex> byAddress;
    for (Json::ArrayIndex i = 0; i < list->size(); i++) {
        const Json::Value &row = (*list)[i];
        const std::string at = "staticData[" + std::to_string(i) + "]";
        const char *mac, *ip, *host;
        if (!textMember(row, "mac", at + ".mac", &mac, err) ||
            !textMember(row, "ip", at + ".ip", &ip, err) ||
            !textMember(row, "hostname", at + ".hostname", &host, err))
            return false;
        if (!checkPresent(mac, checkMac, at + ".mac", err) ||
            !checkPresent(ip, checkIpv4, at + ".ip", err) ||
            !checkPresent(host, checkHostName, at + ".hostname", err))
            return false;
        if (!mac || !ip || !host)
            continue; // left out by the store
        // dnsmasq refuses to start with one address reserved twice; one MAC
        // address with several reservations is allowed.
        uint32_t addr = 0;
        parseIpv4(ip, &addr);
        auto seen = byAddress.emplace(addr, i);
        if (!seen.second)
            return fail(err, at + ".ip",
                        "same address as staticData[" + std::to_string(seen.first->second) + "]");
    }
    return true;
}

bool validateApplyData(const ApplyDataRequest &request, ValidationError &err)
{
    bool writesSubnets = request.tableUsable && !request.rows.empty();
    return validateGlobal(request.settings, writesSubnets, err) &&
           validateSubnets(request.table, err) && validateReservations(request.set, err);
}

bool validateApplyData(const Json::Value *dataArray, const Json::Value *subnetData,
                       const Json::Value *staticData, ValidationError &err)
{
    ApplyDataRequest request;
    readApplyData(dataArray, subnetData, staticData, request);
    return validateApplyData(request, err);
}

bool validateApplyPxe(const PxeRequest &request, ValidationError &err)
{
    // An absent parameter reads as empty text, which every check here takes
    // as it takes a missing one.
    if (!validateInterfaceParam("pxe_interface", request.szInterface, err))
        return false;
    if (request.enable) {
        if (!*request.szInterface)
            return fail(err, "pxe_interface", "missing");
        const struct {
            const char *name;
            const char *text;
        } addresses[] = {{"pxe_start_ip", request.szStartIp}, {"pxe_end_ip", request.szEndIp},
                         {"pxe_netmask", request.szNetmask},  {"pxe_gateway", request.szGateway},
                         {"pxe_dns", request.szDns}};
        for (const auto &address : addresses) {
            if (!checkRequired(address.text, checkIpv4, address.name, err))
                return false;
        }
        if (!checkPresent(request.szNetmask, checkNetmask, "pxe_netmask", err))
            return false;
        if (const char *why = checkRange(request.szStartIp, request.szEndIp, request.szNetmask))
            return fail(err, "pxe_end_ip", why);
        if (!checkPresent(request.szBootFile, checkBootFile, "pxe_bootloader", err))
            return false;
    }
    return validateInterfaceParam("orig_interface", request.szOrigInterface, err);
}

bool validateApplyPxe(const ParamLookup &param, ValidationError &err)
{
    PxeRequest request;
    readPxeRequest(param, request);
    return validateApplyPxe(request, err);
}

bool validateReleaseLease(const ParamLookup &param, ValidationError &err)
{
    return checkRequired(param("iftype"), checkInterfaceName, "iftype", err) &&
           checkRequired(param("mac"), checkMac, "mac", err) &&
           checkRequired(param("ip"), checkIpv4, "ip", err);
}

bool validateInterfaceParam(const char *name, const char *value, ValidationError &err)
{
    if (!value || !*value)
        return true;
    return checkPresent(value, checkInterfaceName, name, err);
}
