/*
 * The PXE store: an interface's PXE subnet, the pair dhcpd-<ifName>-pxe.conf
 * and .info, whose fragment carries the boot files after the ordinary
 * subnet's lines. Not exported.
 */
#ifndef QUOMODHCP_PXE_STORE_H
#define QUOMODHCP_PXE_STORE_H

#include "quomodhcp.h"

/* See QUOMONetSetDhcpPXEServerConfigFiles and QUOMONetGetDhcpPXEServerConf. */
int quomoSetPxe(const DhcpPxeConf *conf, int enable);
int quomoGetPxe(const char *szTag, const char *szIfName, DhcpPxeConf *pConf);
/* See QUOMONetSetDhcpPXEBootConfigFiles and QUOMONetGetDhcpPXEBootConf. */
int quomoSetPxeBoot(const DhcpPxeConf *conf, const DhcpPxeBoot *boot, int enable);
int quomoGetPxeBoot(const char *szTag, const char *szIfName, DhcpPxeConf *pConf,
                    DhcpPxeBoot *pBoot);

#endif /* QUOMODHCP_PXE_STORE_H */
