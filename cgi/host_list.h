/*
 * Listing the system's host files (the reservation list, the lease log) as
 * arrays of the answer.
 */
#ifndef ORVATH_HOST_LIST_H
#define ORVATH_HOST_LIST_H

#include <json/json.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "orvath_common.h"

/* The members a reservation and a client have in common. */
inline void putHost(Json::Value &entry, const char *szMac, const char *szIp,
                    const char *szHostname)
{
    /* Static keys are not copied: lists hold thousands of entries. */
    entry[Json::StaticString("mac")] = szMac;
    entry[Json::StaticString("ip")] = szIp;
    entry[Json::StaticString("hostname")] = szHostname;
}

/* A client the system knows of: a stored reservation, or a lease of the
 * lease log. */
struct KnownHost {
    std::string mac;
    std::string ip;
    uint32_t addr; /* ip in host byte order, when hasAddr */
    bool hasAddr;  /* ip is a dotted-quad address */
};

/* clients.cpp: the current leases of every interface, read as the client
 * list reads them (the package's log brought up to date first); expired
 * ones are left out. 1; 0 when the chosen log cannot be read; -1 busy. */
int readCurrentLeases(std::vector<KnownHost> &leases);
/* clients.cpp: the addresses a list of the library gives, each once, in
 * ascending order (QUOMODHCPCurrentLeaseAddresses for dnsmasq's current
 * leases, QUOMODHCPReservedAddresses for the reservations). False when its
 * file cannot be read. */
struct AddressList {
    std::unique_ptr<uint32_t[]> addrs;
    size_t count = 0;
    const uint32_t *begin() const { return addrs.get(); }
    const uint32_t *end() const { return addrs.get() + count; }
};
bool readAddressList(int (*read)(uint32_t *, int), AddressList &list);
/* reservations.cpp: the stored reservations in list order. False when the
 * list cannot be read. */
bool readReservations(std::vector<KnownHost> &hosts);
/* The host's address lies in [first, last]. */
inline bool hostWithin(const KnownHost &host, uint32_t first, uint32_t last)
{
    return host.hasAddr && host.addr >= first && host.addr <= last;
}

#endif /* ORVATH_HOST_LIST_H */
