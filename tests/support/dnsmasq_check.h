// Checks the DHCP configuration that a test left in its root the way the
// start-up script does before it restarts the service: the enabled fragments
// of <root>/etc/dhcpd, given to `dnsmasq --test`.
#pragma once

#include <string>
#include <vector>

struct DnsmasqCheck {
    bool ran = false;     // false: dnsmasq is not installed, or nothing is enabled
    bool accepted = true; // dnsmasq (and the option filter) accepted the fragments
    std::string message;  // dnsmasq's words, or the offending line
};

// Every <root>/etc/dhcpd/dhcpd-<if>-<tag>.conf whose .info holds
// enable="yes" exactly (the "dns" and "static" pairs included), sorted.
std::vector<std::string> enabledFragments(const std::string &root);

// The path of the dnsmasq program, or "" when it is not installed.
std::string dnsmasqProgram();

// Runs `dnsmasq --test` over the enabled fragments. Like the start-up script
// it also refuses a fragment line that is not one of the options the library
// writes.
DnsmasqCheck checkDnsmasqConfig(const std::string &root);
