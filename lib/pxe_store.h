/*
 * The PXE store: an interface's PXE subnet, the pair dhcpd-<ifName>-pxe.conf
 * and .info, whose fragment carries the boot files after the ordinary
 * subnet's lines. Not exported.
 */
#ifndef QUOMODHCP_PXE_STORE_H
#define QUOMODHCP_PXE_STORE_H

#include <stddef.h>

#include <string>

#include "quomodhcp.h"

/* See QUOMONetSetDhcpPXEServerConfigFiles and QUOMONetGetDhcpPXEServerConf. */
int quomoSetPxe(const DhcpPxeConf *conf, int enable);
int quomoGetPxe(const char *szTag, const char *szIfName, DhcpPxeConf *pConf);
/* See QUOMONetSetDhcpPXEBootConfigFiles and QUOMONetGetDhcpPXEBootConf. */
int quomoSetPxeBoot(const DhcpPxeConf *conf, const DhcpPxeBoot *boot, int enable);
int quomoGetPxeBoot(const char *szTag, const char *szIfName, DhcpPxeConf *pConf,
                    DhcpPxeBoot *pBoot);

/* Stages the appliance's "pxeenable" key ("yes" or "no"), which the history
 * keeps as the pseudo-file QUOMO_HISTORY_PXE_PATH. 1, or 0 (logged, noted). */
int quomoSetPxeEnableKey(int on);

/* The files the store writes, by path under the root: the PXE pair of any
 * interface and the "pxeenable" pseudo-file. */
bool quomoPxeStoreOwns(const char *szRelPath);

/* See quomoSubnetVerify. */
bool quomoPxeVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_PXE_STORE_H */
