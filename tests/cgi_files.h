// Subnet files as the DHCP library writes them, for setting up and checking a
// sandbox in the black-box tests of the orvath program.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cgi_runner.h"
#include "sandbox.h"

// A subnet's pair of files: named by its interface and tag, its fragment
// given as the literal lines dnsmasq reads, byte for byte.
struct Subnet {
    std::string ifName;
    std::string tag;
    std::string fragment;
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

inline void putSubnet(const Sandbox &sb, const Subnet &s, bool enabled)
{
    sb.write(confPath(s.ifName, s.tag), s.fragment);
    sb.write(infoPath(s.ifName, s.tag), infoText(enabled));
}

// Both files of a subnet hold exactly the given text.
inline void expectSubnet(const Sandbox &sb, const Subnet &s, bool enabled)
{
    EXPECT_EQ(sb.read(confPath(s.ifName, s.tag)), s.fragment) << s.ifName << " " << s.tag;
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
    files.erase("var/packages/Orvath/target/var/lock/change.journal"); // a killed change, finished by the next request
    // The configuration history, and the journal a killed request leaves.
    for (const char *name : {"history.db", "history.db-journal", "history.db.damaged", "history.db.newest"})
        files.erase(std::string("var/packages/Orvath/target/") + name);
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
const Subnet kAccessPoint = {"lbr0", "lbr0",
    "interface=lbr0\n"
    "dhcp-range=set:lbr0,192.168.100.10,192.168.100.50,255.255.255.0,86400\n"
    "dhcp-option=tag:lbr0,option:router,192.168.100.1\n"
    "dhcp-option=tag:lbr0,option:dns-server,192.168.100.1\n"};

inline void putAccessPoint(const Sandbox &sb)
{
    putSubnet(sb, kAccessPoint, true);
}

// eth0's PXE subnet as "applypxesubnet" writes it where eth0 has no ordinary
// subnet: 192.168.5.100-150, router and DNS server 192.168.5.1, ten hours.
const Subnet kPxeEth0 = {"eth0", "pxe",
    "interface=eth0\n"
    "dhcp-range=set:pxe,192.168.5.100,192.168.5.150,255.255.255.0,36000\n"
    "dhcp-option=tag:pxe,option:router,192.168.5.1\n"
    "dhcp-option=tag:pxe,option:dns-server,192.168.5.1\n"
    "dhcp-boot=tag:pxe,pxelinux.0\n"
    "dhcp-vendorclass=set:pxe,PXEClient\n"};
