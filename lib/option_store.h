/*
 * The option store: an interface's further DHCP options and its host
 * overrides. /etc/dhcpd/orvath-<ifName>.options keeps them as given, one
 * "option=<code>,<name>,<type>,<value>" or "host=<mac>,<gateway>,<dns>" line
 * each, and the pair dhcpd-<ifName>-options.conf/.info carries their dnsmasq
 * lines, scoped to the interface by the tag dnsmasq sets for it. Not
 * exported.
 */
#ifndef QUOMODHCP_OPTION_STORE_H
#define QUOMODHCP_OPTION_STORE_H

#include <string>

#include "quomodhcp.h"

/* See QUOMODHCPSetOptions and QUOMODHCPGetOptions. */
int quomoSetOptions(const char *szIfName, const QuomoDhcpOption *pOptions, int count,
                    const QuomoHostOption *pHosts, int hostCount);
int quomoGetOptions(const char *szIfName, QuomoDhcpOption *pOptions, int maxOptions, int *pCount,
                    QuomoHostOption *pHosts, int maxHosts, int *pHostCount);

/* The fragment's lines for the options and overrides; false when one of
 * them cannot be sent as it is (an unknown type, an unsafe text). */
bool quomoOptionLines(std::string &out, const char *szIfName, const QuomoDhcpOption *pOptions,
                      int count, const QuomoHostOption *pHosts, int hostCount);

/* The files the store writes, by path under the root: every interface's
 * list and its fragment pair. */
bool quomoOptionStoreOwns(const char *szRelPath);

/* See quomoSubnetVerify. */
bool quomoOptionVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_OPTION_STORE_H */
