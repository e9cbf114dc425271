// Subnet files as the DHCP library writes them, for setting up and checking a
// sandbox in the black-box tests of the orvath program.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cgi_runner.h"
#include "sandbox.h"

struct Subnet {
    std::string ifName;
    std::string tag;
    std::string start;
    std::string end;
    std::string mask = "255.255.255.0";
    std::string gateway;
    int lease = 86400;
    std::string domain;
    std::string pdns;
    std::string sdns;
    std::string boot; // PXE boot file; empty: no boot lines
};

inline std::string confPath(const std::string &ifName, const std::string &tag)
{
    return "etc/dhcpd/dhcpd-" + ifName + "-" + tag + ".conf";
}

inline std::string infoPath(const std::string &ifName, const std::string &tag)
{
    return "etc/dhcpd/dhcpd-" + ifName + "-" + tag + ".info";
}

inline std::string infoText(bool enabled)
{
    return enabled ? "enable=\"yes\"\n" : "enable=\"no\"\n";
}

// The dnsmasq fragment of a subnet, byte for byte.
inline std::string fragmentText(const Subnet &s)
{
    const std::string t = "dhcp-option=tag:" + s.tag + ",";
    std::string text = "interface=" + s.ifName + "\n";
    text += "dhcp-range=set:" + s.tag + "," + s.start + "," + s.end + "," + s.mask + "," +
            std::to_string(s.lease) + "\n";
    text += t + "option:router," + s.gateway + "\n";
    if (!s.domain.empty()) {
        text += t + "option:domain-search," + s.domain + "\n";
        text += t + "option:domain-name," + s.domain + "\n";
    }
    text += t + "option:dns-server," + s.pdns;
    text += s.sdns.empty() ? "\n" : "," + s.sdns + "\n";
    if (!s.boot.empty())
        text += "dhcp-boot=tag:" + s.tag + "," + s.boot + "\ndhcp-vendorclass=set:pxe,PXEClient\n";
    return text;
}

inline void putSubnet(const Sandbox &sb, const Subnet &s, bool enabled)
{
    sb.write(confPath(s.ifName, s.tag), fragmentText(s));
    sb.write(infoPath(s.ifName, s.tag), infoText(enabled));
}

// Both files of a subnet hold exactly what the library writes for it.
inline void expectSubnet(const Sandbox &sb, const Subnet &s, bool enabled)
{
    EXPECT_EQ(sb.read(confPath(s.ifName, s.tag)), fragmentText(s)) << s.ifName << " " << s.tag;
    EXPECT_EQ(sb.read(infoPath(s.ifName, s.tag)), infoText(enabled)) << s.ifName << " " << s.tag;
}

// The answer holds exactly {"success": <success>}.
inline void expectOnlySuccess(const CgiResult &r, bool success)
{
    ASSERT_TRUE(r.bodyParsed) << r.out;
    EXPECT_EQ(r.body.getMemberNames(), std::vector<std::string>{"success"}) << r.out;
    EXPECT_EQ(r.body["success"], Json::Value(success)) << r.out;
}

// Files of the sandbox except the restart recorder's log.
inline std::map<std::string, std::string> filesOf(const Sandbox &sb)
{
    auto files = sb.snapshot();
    files.erase("restart.log");
    files.erase("var/packages/Orvath/target/etc/service.status"); /* the restart's outcome */
    files.erase("var/packages/Orvath/target/var/lock/orvath.lock"); // the request lock, made by the first request
    return files;
}

inline Json::Value row(const std::string &start, const std::string &end,
                       const std::string &gateway, bool activated, bool pxe = false,
                       const std::string &mask = "255.255.255.0")
{
    Json::Value r(Json::objectValue);
    r["activated"] = activated;
    r["pxe"] = pxe;
    r["startip"] = start;
    r["endip"] = end;
    r["netmask"] = mask;
    r["gateway"] = gateway;
    return r;
}

inline Json::Value globals(const std::string &ifName, bool enabled, const std::string &minutes,
                           const std::string &pdns = "192.168.1.1", const std::string &sdns = "",
                           const std::string &domain = "")
{
    Json::Value g(Json::objectValue);
    g["enable_check"] = enabled;
    g["leasetime"] = minutes;
    g["pdns"] = pdns;
    g["sdns"] = sdns;
    g["domain"] = domain;
    g["iftype"] = ifName;
    return g;
}

// A reservation as "staticData" holds it.
inline Json::Value reservation(const std::string &mac, const std::string &ip,
                               const std::string &host)
{
    Json::Value r(Json::objectValue);
    r["mac"] = mac;
    r["ip"] = ip;
    r["hostname"] = host;
    return r;
}

// The access point's subnet, 192.168.100.0/24 with router 192.168.100.1.
inline void putAccessPoint(const Sandbox &sb)
{
    putSubnet(sb,
              {"lbr0", "lbr0", "192.168.100.10", "192.168.100.50", "255.255.255.0",
               "192.168.100.1", 86400, "", "192.168.100.1", "", ""},
              true);
}
