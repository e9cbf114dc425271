/*
 * When each client was first seen: the lease hook notes a MAC address the
 * first time it gets a lease, in the package's file first-seen, one
 * "<mac> <seconds since the epoch>" line each, oldest first, at most
 * QUOMO_FIRST_SEEN_MAX lines (the oldest go first). Written whole, under the
 * lease log's lock; not part of the configuration or its history. Not
 * exported beyond QUOMODHCPFirstSeen*.
 */
#ifndef QUOMODHCP_FIRST_SEEN_H
#define QUOMODHCP_FIRST_SEEN_H

#include <stdint.h>

#include "quomodhcp.h"

/* Notes szMac as seen at now unless it was seen before: 1 noted (a new
 * device), 0 known already, -1 the file could not be read or written
 * (logged). The caller holds the lease log's lock. */
int quomoFirstSeenNote(const char *szMac, int64_t now);

/* See QUOMODHCPFirstSeenLoad, QUOMODHCPFirstSeenOf and QUOMODHCPFirstSeenFree. */
QuomoFirstSeen *quomoFirstSeenLoad(void);
int64_t quomoFirstSeenOf(const QuomoFirstSeen *pSeen, const char *szMac);
void quomoFirstSeenFree(QuomoFirstSeen *pSeen);

#endif /* QUOMODHCP_FIRST_SEEN_H */
