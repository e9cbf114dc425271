/*
 * A request's change: the one save step joined with the history. The
 * request opens the change before its handler stages files, and commits it
 * afterwards: what someone else changed on disk is recorded first
 * ("outside"), then the change is journaled and put in place, then recorded
 * as the request's revision. A change a killed request left is finished by
 * the next request before it does anything else. Not exported.
 */
#ifndef QUOMODHCP_REQUEST_CHANGE_H
#define QUOMODHCP_REQUEST_CHANGE_H

#include <stddef.h>
#include <stdint.h>

#include "quomodhcp.h"

/* See QUOMODHCPChangeBegin and the others of quomodhcp.h. */
int quomoRequestChangeBegin(void);
void quomoRequestChangeAbandon(void);
int quomoRequestChangeCommit(const QuomoRevision *pIntent, int64_t *pRevision, char *szHistoryError,
                             size_t cbHistoryError);
int quomoRequestChangeRecover(char *szHistoryError, size_t cbHistoryError);

#endif /* QUOMODHCP_REQUEST_CHANGE_H */
