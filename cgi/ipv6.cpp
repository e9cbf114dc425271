/*
 * orvath: IPv6 on an interface's link ("loadIPv6", "applyIPv6").
 */
#include <string.h>

#include <string>
#include <vector>

#include "handlers.h"
#include "interfaces.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"
#include "validate.h"

static Json::Value prefixesOf(const char *szIfName)
{
    Json::Value list(Json::arrayValue);
    for (const std::string &address : interfaceAddresses6(szIfName)) {
        std::string prefix = ipv6Prefix(address);
        bool seen = false;
        for (const Json::Value &p : list)
            seen = seen || p.asString() == prefix;
        if (!prefix.empty() && !seen)
            list.append(prefix);
    }
    return list;
}

static Json::Value settingsAnswer(const QuomoIpv6Settings &s)
{
    Json::Value ipv6(Json::objectValue);
    ipv6["mode"] = s.szMode;
    ipv6["start"] = s.szStart;
    ipv6["end"] = s.szEnd;
    ipv6["prefixLength"] = s.prefixLength;
    ipv6["leasetime"] = std::to_string(s.leaseSeconds / 60);
    Json::Value dns(Json::arrayValue);
    for (int i = 0; i < s.dnsCount && i < QUOMO_IPV6_MAX_DNS; ++i)
        dns.append(s.aszDns[i]);
    ipv6["dns"] = dns;
    ipv6["raNames"] = s.raNames != 0;
    return ipv6;
}

bool loadIpv6(RequestContext &ctx)
{
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(ctx, szIfName))
        return false;
    QuomoIpv6Settings s;
    if (!QUOMODHCPGetIpv6(szIfName, &s))
        return false;
    ctx.answer["ipv6"] = settingsAnswer(s);
    ctx.answer["prefixes"] = prefixesOf(szIfName);
    return true;
}

/* The address a client is told to ask for names when no server is given:
 * the interface's first global one ("" when it has none yet). */
static std::string ownAddress(const char *szIfName)
{
    std::vector<std::string> addresses = interfaceAddresses6(szIfName);
    return addresses.empty() ? std::string() : addresses[0].substr(0, addresses[0].find('/'));
}

/* The domain of the interface's global settings (its first subnet's, or its
 * PXE subnet's), sent to IPv6 clients as their search list too. */
static std::string interfaceDomain(const char *szIfName)
{
    DhcpServerConf conf = {};
    char szTag[QUOMO_TAG_LEN];
    if ((orvFormat(szTag, sizeof szTag, QUOMO_ORDINARY_TAG_FORMAT, szIfName, 0) &&
         QUOMODHCPGetDhcpServerConf(szTag, szIfName, &conf) != 0) ||
        QUOMODHCPGetDhcpServerConf(QUOMO_PXE_TAG, szIfName, &conf) != 0)
        return checkDomain(conf.szDomain) ? std::string() : conf.szDomain;
    return std::string();
}

static void toRecord(const Ipv6Request &request, QuomoIpv6Settings &s)
{
    memset(&s, 0, sizeof s);
    orvCopy(s.szMode, sizeof s.szMode, request.mode.c_str());
    orvCopy(s.szStart, sizeof s.szStart, request.start.c_str());
    orvCopy(s.szEnd, sizeof s.szEnd, request.end.c_str());
    s.prefixLength = request.prefixLength.empty() ? 64 : atoi(request.prefixLength.c_str());
    s.leaseSeconds = request.leaseSeconds;
    s.dnsCount = (int32_t)request.dns.size();
    for (size_t i = 0; i < request.dns.size() && i < QUOMO_IPV6_MAX_DNS; ++i)
        orvCopy(s.aszDns[i], sizeof s.aszDns[i], request.dns[i].c_str());
    orvCopy(s.szOwnAddress, sizeof s.szOwnAddress, ownAddress(request.ifName.c_str()).c_str());
    s.raNames = request.raNames ? 1 : 0;
    orvCopy(s.szDomain, sizeof s.szDomain, interfaceDomain(request.ifName.c_str()).c_str());
}

bool applyIpv6(RequestContext &ctx)
{
    const Ipv6Request &request = ctx.as<Ipv6Request>();
    QuomoIpv6Settings s;
    toRecord(request, s);
    if (request.mode == "off") {
        memset(&s, 0, sizeof s);
        orvCopy(s.szMode, sizeof s.szMode, "off");
        s.prefixLength = 64;
        s.leaseSeconds = 86400;
    }
    return QUOMODHCPSetIpv6(request.ifName.c_str(), &s) == 1;
}
