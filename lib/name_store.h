/*
 * The name store: the names an interface's DNS answers for its devices. The
 * pair dhcpd-<ifName>-names.conf/.info holds, made from the interface's
 * subnets and the reservation list as the request leaves them:
 *   domain=<domain>,<network>/<prefix>,local    each subnet with a domain
 *   host-record=<name>.<domain>,<name>,<ip>      each reservation with a host
 *                                                name inside such a subnet
 *   host-record=<name>,<ip>                      ... inside one without
 * The domain line gives the clients' own host names their domain; a
 * host-record answers whether or not its client holds a lease. No pair
 * while there is no line. Not exported beyond QUOMODHCPSetNames and
 * QUOMODHCPSetNamesOf.
 */
#ifndef QUOMODHCP_NAME_STORE_H
#define QUOMODHCP_NAME_STORE_H

#include <string>

/* See QUOMODHCPSetNames and QUOMODHCPSetNamesOf. */
int quomoSetNames(const char *szIfName);
int quomoSetNamesOf(const char *const *ifNames, int count);

/* The files the store writes: every interface's pair. */
bool quomoNameStoreOwns(const char *szRelPath);
/* See quomoSubnetVerify: lines of the two kinds above, of safe texts only. */
bool quomoNameVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_NAME_STORE_H */
