/*
 * orvath: an interface's further DHCP options and host overrides
 * ("loadOptions", "applyOptions").
 */
#include <string.h>

#include <vector>

#include "handlers.h"
#include "subnet_files.h"
#include "validate.h"
#include "orvath_common.h"

bool loadOptions(RequestContext &ctx)
{
    Json::Value &answer = ctx.answer;
    char szIfName[QUOMO_IFNAME_LEN];
    if (!readIfType(ctx, szIfName))
        return false;
    std::vector<QuomoDhcpOption> options(QUOMO_MAX_OPTIONS);
    std::vector<QuomoHostOption> hosts(QUOMO_MAX_HOST_OPTIONS);
    int count = 0, hostCount = 0;
    if (!QUOMODHCPGetOptions(szIfName, options.data(), (int)options.size(), &count, hosts.data(),
                             (int)hosts.size(), &hostCount))
        return false;
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        const QuomoDhcpOption &o = options[i];
        Json::Value entry(Json::objectValue);
        entry["name"] = o.szName;
        entry["code"] = o.code;
        entry["type"] = o.szType;
        entry["value"] = o.szValue;
        list.append(entry);
    }
    Json::Value overrides(Json::arrayValue);
    for (int i = 0; i < hostCount; ++i) {
        Json::Value entry(Json::objectValue);
        entry["mac"] = hosts[i].szMac;
        entry["gateway"] = hosts[i].szGateway;
        entry["dns"] = hosts[i].szDns;
        overrides.append(entry);
    }
    answer["options"] = list;
    answer["hostOptions"] = overrides;
    return true;
}

/* The library's records of the checked request. */
static void toRecords(const OptionsRequest &request, std::vector<QuomoDhcpOption> &options,
                      std::vector<QuomoHostOption> &hosts)
{
    for (const OptionEntry &e : request.options) {
        QuomoDhcpOption o;
        memset(&o, 0, sizeof o);
        o.code = e.code;
        orvCopy(o.szName, sizeof o.szName, e.name.c_str());
        orvCopy(o.szType, sizeof o.szType, e.type.c_str());
        orvCopy(o.szValue, sizeof o.szValue, e.value.c_str());
        options.push_back(o);
    }
    for (const HostOverride &h : request.hosts) {
        QuomoHostOption o;
        memset(&o, 0, sizeof o);
        orvCopy(o.szMac, sizeof o.szMac, h.mac.c_str());
        orvCopy(o.szGateway, sizeof o.szGateway, h.gateway.c_str());
        orvCopy(o.szDns, sizeof o.szDns, h.dns.c_str());
        hosts.push_back(o);
    }
}

/* A client's own gateway lies inside one of its interface's subnets (a
 * gateway elsewhere cannot be reached); the first override whose does not,
 * with err. */
static bool gatewaysInsideSubnets(const OptionsRequest &request, ValidationError &err)
{
    std::vector<ListedSubnet> subnets;
    bool any = false;
    for (const HostOverride &h : request.hosts)
        any = any || !h.gateway.empty();
    if (!any)
        return true;
    if (!readInterfaceSubnets(request.ifName.c_str(), subnets))
        return failAt(err, "iftype", "its subnets cannot be read");
    for (size_t i = 0; i < request.hosts.size(); ++i) {
        uint32_t gateway = 0;
        if (!parseIpv4(request.hosts[i].gateway.c_str(), &gateway))
            continue;
        bool inside = false;
        for (const ListedSubnet &s : subnets) {
            uint32_t start = 0, mask = 0;
            inside = inside || (parseIpv4(s.conf.szStartIp, &start) && parseIpv4(s.conf.szNetmask, &mask) &&
                                (start & mask) == (gateway & mask));
        }
        if (!inside)
            return failAt(err, "hostOptions[" + std::to_string(i) + "].gateway",
                          "not inside a subnet of " + request.ifName);
    }
    return true;
}

bool applyOptions(RequestContext &ctx)
{
    const OptionsRequest &request = ctx.as<OptionsRequest>();
    ValidationError err;
    if (!gatewaysInsideSubnets(request, err))
        return refuseRequest(ctx.answer, err);
    std::vector<QuomoDhcpOption> options;
    std::vector<QuomoHostOption> hosts;
    toRecords(request, options, hosts);
    return QUOMODHCPSetOptions(request.ifName.c_str(), options.data(), (int)options.size(),
                               hosts.data(), (int)hosts.size()) == 1;
}
