/*
 * The reservation store: the list /etc/dhcpd/dhcpdStatic.ori, one
 * "dhcp-host=<mac>,<hostname>,<ip>,infinite" line per reservation, and the
 * static fragment dhcpd-static-static.conf that dnsmasq reads them from (a
 * placeholder subnet of one loopback address tagged "static", then every
 * line of the list). Also the reserved MAC addresses read once for many
 * lookups. Not exported.
 */
#ifndef QUOMODHCP_RESERVATION_STORE_H
#define QUOMODHCP_RESERVATION_STORE_H

#include <stddef.h>

#include <string>

#include "quomodhcp.h"
#include "text.h"

/* See writeStaticConf, readStaticConf, QUOMODHCPGenFakeStaticFile and
 * QUOMODHCPSetStaticHosts. */
int quomoAddReservation(const char *szMac, const char *szIp, const char *szHostname);
int quomoReadReservation(char *szMac, char *szIp, char *szHostname, const char *szLine);
/* quomoReadReservation in place: the fields of the line line[0 .. len-1]
 * (up to a NUL byte in it), not copied; false when it is no reservation
 * line. */
struct QuomoReservationFields {
    QuomoField mac, ip, hostname;
};
bool quomoReservationFields(const char *line, size_t len, QuomoReservationFields *pFields);
int quomoRebuildStaticFragment(void);
int quomoSetReservations(const QuomoStaticHost *pHosts, int count);

/* See QUOMODHCPSetStaticHosts6 and QUOMODHCPListReservations6. */
int quomoSetReservations6(const QuomoStaticHost *pHosts, int count);
int quomoListReservations6(QuomoReservationVisit visit, void *pContext);

/* The files the store writes, by path under the root: the list and the
 * static fragment's pair, and their IPv6 counterparts. */
bool quomoReservationStoreOwns(const char *szRelPath);

/* See QUOMODHCPListReservations and QUOMODHCPReservedAddresses. */
int quomoListReservations(QuomoReservationVisit visit, void *pContext);
int quomoReservedAddresses(uint32_t *pAddrs, int max);

/* See quomoSubnetVerify. */
bool quomoReservationVerify(const char *szRelPath, const std::string &content, char *szWhy, size_t cbWhy);

/* See QUOMODHCPReservedLoad and QUOMODHCPReservedFree. */
QuomoReserved *quomoReservedLoad(void);
void quomoReservedFree(QuomoReserved *pReserved);
/* 1 when szMac is one of the reserved MAC addresses (letter case aside); an
 * empty MAC address never is, and neither is any with a NULL set. */
int quomoIsReserved(const QuomoReserved *pReserved, const char *szMac);

#endif /* QUOMODHCP_RESERVATION_STORE_H */
