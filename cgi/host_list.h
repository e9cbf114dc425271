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

#include <string>
#include <vector>

#include "orvath_common.h"

/* Lists a text file of the system: toEntry turns each line (newline
 * included; the last line may lack it) into an entry, or returns false to
 * leave the line out. The entries go into the answer member listName and
 * their number into "itemCount". False, with nothing answered, when the file
 * cannot be opened or is not a regular file (orvOpenRead). */
template <typename Fn>
bool listFileLines(const char *szPath, Json::Value &answer, const char *listName, Fn toEntry)
{
    FILE *file = orvFopenRead(szPath);
    if (!file)
        return false;
    Json::Value entries(Json::arrayValue);
    char *line = NULL;
    size_t cap = 0;
    while (getline(&line, &cap, file) >= 0) {
        Json::Value entry(Json::objectValue);
        if (toEntry(line, entry))
            entries.append(std::move(entry));
    }
    free(line);
    fclose(file);
    /* Moved, not copied: a list of thousands of entries is large. */
    answer["itemCount"] = Json::Value((int)entries.size());
    answer[listName] = std::move(entries);
    return true;
}

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
 * ones are left out. False when the chosen log cannot be read. */
bool readCurrentLeases(std::vector<KnownHost> &leases);
/* clients.cpp: the addresses of one interface's current leases in the log
 * the client list reads, as the lease hook and the last client list left it
 * (a listing neither writes it nor reads the reservations for it). */
bool readLeasedAddresses(const char *szIfName, std::vector<uint32_t> &addrs);
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
