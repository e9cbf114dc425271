/*
 * The access store: who an interface's service keeps off.
 * /etc/dhcpd/orvath-<ifName>.access keeps the choices as given
 * ("unknown=ignore" when only reserved clients are served, one
 * "block=<mac>,<note>" line per blocked client), and the pair
 * dhcpd-<ifName>-access.conf/.info carries their dnsmasq lines, scoped to
 * the interface by the tag dnsmasq gives every request by the interface it
 * came in on. While the defaults hold (serve everyone, block no one) there
 * are no files at all. Not exported.
 */
#ifndef QUOMODHCP_ACCESS_STORE_H
#define QUOMODHCP_ACCESS_STORE_H

#include <string>

#include "quomodhcp.h"

/* See QUOMODHCPSetAccess and QUOMODHCPGetAccess. */
int quomoSetAccess(const char *szIfName, int ignoreUnknown, const QuomoBlocked *pBlocked, int count);
int quomoGetAccess(const char *szIfName, int *pIgnoreUnknown, QuomoBlocked *pBlocked, int max,
                   int *pCount);

/* The files the store writes, by path under the root: every interface's
 * list and its fragment pair. */
bool quomoAccessStoreOwns(const char *szRelPath);

/* See quomoSubnetVerify. */
bool quomoAccessVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_ACCESS_STORE_H */
