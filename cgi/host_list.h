/*
 * Listing the system's host files (the reservation list, the lease log) as
 * arrays of the answer, written as text (Webvard::Verbatim).
 */
#ifndef ORVATH_HOST_LIST_H
#define ORVATH_HOST_LIST_H

#include <json/json.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "webvard.h"

/* The members a reservation and a client have in common, as the answer's
 * text holds them: in name order, as every entry's members are. */
inline void appendHostMembers(std::string &out, const char *szMac, const char *szIp,
                              const char *szHostname)
{
    out += "\"hostname\":";
    Webvard::AppendString(out, szHostname, strlen(szHostname));
    out += ",\"ip\":";
    Webvard::AppendString(out, szIp, strlen(szIp));
    out += ",\"mac\":";
    Webvard::AppendString(out, szMac, strlen(szMac));
}

/* A client the system knows of: a stored reservation, or a lease of the
 * lease log; its texts as the library's buffers hold them. */
struct KnownHost {
    char mac[QUOMO_IP_LEN];
    char ip[QUOMO_IP_LEN];
    uint32_t addr; /* ip in host byte order, when hasAddr */
    bool hasAddr;  /* ip is a dotted-quad address */
};

/* clients.cpp: the current leases of every interface, read as the client
 * list reads them (the package's log brought up to date first); expired
 * ones are left out. 1; 0 when the chosen log cannot be read; -1 busy. */
int readCurrentLeases(std::vector<KnownHost> &leases);
/* clients.cpp: the addresses of dnsmasq's current leases, each once, in
 * ascending order (QUOMODHCPCurrentLeaseAddresses). False when its lease
 * file cannot be read. */
bool readLeasedAddresses(std::vector<uint32_t> &addrs);
/* reservations.cpp: the stored reservations in list order. False when the
 * list cannot be read. */
bool readReservations(std::vector<KnownHost> &hosts);
/* The addresses of the stored reservations, those that are addresses. */
bool readReservedAddresses(std::vector<uint32_t> &addrs);
/* The host's address lies in [first, last]. */
inline bool hostWithin(const KnownHost &host, uint32_t first, uint32_t last)
{
    return host.hasAddr && host.addr >= first && host.addr <= last;
}

#endif /* ORVATH_HOST_LIST_H */
