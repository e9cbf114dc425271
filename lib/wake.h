/*
 * Waking a device: the magic packet (six bytes 0xff, then the device's MAC
 * address sixteen times) as a UDP broadcast to port 9 out of one interface
 * only, at most one per address and second. Not exported beyond
 * QUOMODHCPWake.
 */
#ifndef QUOMODHCP_WAKE_H
#define QUOMODHCP_WAKE_H

#include <stddef.h>

/* See QUOMODHCPWake. */
int quomoWake(const char *szIfName, const char *szMac, char *szReason, size_t cbReason);

/* 1 when this process runs in the machine's own network namespace, 0 in
 * another one, -1 when it cannot tell. */
int quomoOnHostNetwork(void);

#endif /* QUOMODHCP_WAKE_H */
