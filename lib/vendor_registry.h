/*
 * The makers of network cards: the registry of MAC address blocks (the
 * CSV files of Debian's ieee-data: 24-bit, 28-bit and 36-bit blocks) turned
 * once into an index file in the package's cache directory, which every
 * process maps and rebuilds only when the registry's files changed. A lookup
 * takes the longest block that holds the address. Not exported beyond
 * QUOMODHCPVendors*.
 */
#ifndef QUOMODHCP_VENDOR_REGISTRY_H
#define QUOMODHCP_VENDOR_REGISTRY_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "quomodhcp.h"

/* See QUOMODHCPVendorsOpen, QUOMODHCPVendorOf and QUOMODHCPVendorsClose. */
QuomoVendors *quomoVendorsOpen(void);
int quomoVendorOf(const QuomoVendors *pVendors, const char *szMac, char *szVendor, size_t size);
void quomoVendorsClose(QuomoVendors *pVendors);

/* The registry's directory: ORVATH_IEEE_DATA_DIR, else the system's. */
const char *quomoRegistryDir(void);

/* The MAC address in any of the usual spellings ("3c:2a:f4:12:34:56",
 * "3C-2A-F4-12-34-56", "3c2a.f412.3456") as a 48-bit number; false when it
 * is none. */
bool quomoParseMac48(const char *szMac, uint64_t *pMac);

#endif /* QUOMODHCP_VENDOR_REGISTRY_H */
