/*
 * The service as the administrator sees it: its restart through the
 * start-up script and the outcome of the last one, whether dnsmasq runs,
 * and the release of one lease. Not exported.
 */
#ifndef QUOMODHCP_SERVICE_H
#define QUOMODHCP_SERVICE_H

#include <stddef.h>

#include "quomodhcp.h"

/* See restartDHCPServer, QUOMODHCPRestartWithOutcome, QUOMODHCPLastRestart,
 * QUOMODHCPServiceRunning and QUOMODHCPReleaseLease. */
int quomoRestart(void);
int quomoRestartWithOutcome(char *szReason, size_t cbReason);
int quomoLastRestart(QuomoRestartOutcome *pOutcome);
int quomoServiceRunning(void);
int quomoReleaseLease(const char *szIfName, const char *szMac, const char *szIp, char *szReason,
                      size_t cbReason);

#endif /* QUOMODHCP_SERVICE_H */
