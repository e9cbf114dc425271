/*
 * The IPv6 store: an interface's router advertisements and DHCPv6 service.
 * /etc/dhcpd/orvath-<ifName>.ipv6 keeps the settings as the page gave them,
 * one "key=value" line each, and the pair dhcpd-<ifName>-ipv6.conf/.info
 * carries their dnsmasq lines, every option scoped to the interface by the
 * tag its IPv6 range sets ("<ifName>-ipv6"). With IPv6 off the interface has
 * neither file: dnsmasq advertises only on interfaces with an IPv6 range.
 * Not exported.
 */
#ifndef QUOMODHCP_IPV6_STORE_H
#define QUOMODHCP_IPV6_STORE_H

#include <string>

#include "quomodhcp.h"

/* See QUOMODHCPSetIpv6 and QUOMODHCPGetIpv6. */
int quomoSetIpv6(const char *szIfName, const QuomoIpv6Settings *pSettings);
int quomoGetIpv6(const char *szIfName, QuomoIpv6Settings *pSettings);

/* The fragment's lines for the settings; false when they cannot be sent as
 * they are (an unknown mode, an unsafe text). */
bool quomoIpv6Lines(std::string &out, const char *szIfName, const QuomoIpv6Settings &s);

/* The files the store writes, by path under the root: every interface's
 * settings and its fragment pair. */
bool quomoIpv6StoreOwns(const char *szRelPath);

/* See quomoSubnetVerify. */
bool quomoIpv6Verify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_IPV6_STORE_H */
