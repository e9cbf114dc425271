/*
 * The configuration history's store: revisions of the whole configuration
 * in one SQLite database under the package's directory. Not exported.
 */
#ifndef QUOMODHCP_HISTORY_STORE_H
#define QUOMODHCP_HISTORY_STORE_H

#include <stddef.h>
#include <stdint.h>

#include "quomodhcp.h"

/* See QUOMODHCPHistoryOpen and the others of the history section of
 * quomodhcp.h. */
QuomoHistory *quomoHistoryOpen(int forChange, char *szError, size_t cbError);
void quomoHistoryClose(QuomoHistory *pHistory);
int quomoHistoryNewest(QuomoHistory *pHistory, QuomoRevision *pRev);
int quomoHistoryList(QuomoHistory *pHistory, QuomoRevision *pRevs, int nMax);
int quomoHistoryGet(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev, QuomoConfig **ppConfig);
int quomoHistoryPrevious(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev, QuomoConfig **ppConfig);
int quomoHistoryBegin(QuomoHistory *pHistory, const QuomoRevision *pIntent, const QuomoConfig *pBefore);
int64_t quomoHistoryFinish(QuomoHistory *pHistory, const QuomoConfig *pAfter);

#endif /* QUOMODHCP_HISTORY_STORE_H */
