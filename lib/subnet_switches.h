/*
 * The subnets' own switches while an interface's service is off. Switching
 * the service off turns every subnet of the interface off in its settings
 * file (that is what the start-up script reads); which of them the
 * administrator had switched on is kept here, so that switching the service
 * on again brings back exactly those.
 *
 * /etc/dhcpd/orvath-<ifName>.switches: "rows=<y or n per ordinary subnet, in
 * table order>" and "pxe=<y or n>", replaced whole. Not exported.
 */
#ifndef QUOMODHCP_SUBNET_SWITCHES_H
#define QUOMODHCP_SUBNET_SWITCHES_H

#include <stddef.h>

#include <string>

/* See QUOMODHCPSaveSwitches, QUOMODHCPReadSwitches, QUOMODHCPForgetSwitches. */
int quomoSaveSwitches(const char *szIfName, const char *szRows, int pxe);
int quomoReadSwitches(const char *szIfName, char *szRows, size_t cbRows, int *pPxe);
int quomoForgetSwitches(const char *szIfName);

/* The files this store writes, by path under the root: every interface's
 * switches. */
bool quomoSwitchesOwns(const char *szRelPath);

/* See quomoSubnetVerify. */
bool quomoSwitchesVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_SUBNET_SWITCHES_H */
