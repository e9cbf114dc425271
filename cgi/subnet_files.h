/*
 * The subnets of an interface as the handlers use them: which files exist,
 * reading and writing them through libquomodhcp. Whatever cannot be read or
 * written is logged.
 */
#ifndef ORVATH_SUBNET_FILES_H
#define ORVATH_SUBNET_FILES_H

#include <vector>

#include "quomodhcp.h"
#include "quomodhcp_paths.h"

/* The subnet's fragment ("conf") or settings file ("info") is readable by
 * this process. */
bool subnetFileReadable(const char *szIfName, const char *szTag, const char *szExt);
/* Tag of the ordinary subnet n of an interface. */
bool ordinaryTag(char (&szTag)[QUOMO_TAG_LEN], const char *szIfName, int n);
/* The fragment of ordinary subnet n exists and is readable; its tag in szTag. */
bool ordinarySubnetReadable(char (&szTag)[QUOMO_TAG_LEN], const char *szIfName, int n);
/* Reads a subnet of the interface. */
bool readSubnet(const char *szIfName, const char *szTag, DhcpServerConf &conf);
/* Reads the interface's PXE subnet. */
bool readPxeSubnet(const char *szIfName, DhcpPxeConf &pxe);
/* Writes the PXE subnet switched on or off. */
bool writePxeSubnet(DhcpPxeConf &pxe, bool enabled);
/* Writes the ordinary subnets of a table as one change. */
bool writeOrdinarySubnets(const std::vector<DhcpServerConf> &subnets);

/* The access point's subnet, which no subnet may touch, read once for all the
 * addresses of a request. */
struct AccessPoint {
    enum { kNone, kUnreadable, kRead } state; /* kNone: the appliance has none */
    DhcpServerConf conf;                      /* kRead: its settings */
};
void readAccessPoint(AccessPoint &ap);
/* The address shares a subnet with the access point's router, under the
 * given netmask or under the access point's own; an address that cannot be
 * compared, or an access point whose settings cannot be read, counts as
 * touching it. Never with no access point. */
bool touchesAccessPoint(const AccessPoint &ap, const char *szIp, const char *szNetmask);

/* A subnet of an interface as the listing finds it. */
struct ListedSubnet {
    DhcpServerConf conf;
    char szTag[QUOMO_TAG_LEN];
    bool pxe;
};
/* The interface's ordinary subnets in index order, up to the first gap, then
 * its PXE subnet when it has one. False (logged) when one cannot be read. */
bool readInterfaceSubnets(const char *szIfName, std::vector<ListedSubnet> &subnets);

#endif /* ORVATH_SUBNET_FILES_H */
