/*
 * The configuration history's store: revisions of the whole configuration
 * in one SQLite database under the package's directory. Not exported.
 */
#ifndef QUOMODHCP_HISTORY_STORE_H
#define QUOMODHCP_HISTORY_STORE_H

#include <stddef.h>
#include <stdint.h>

#include "quomodhcp.h"
#include "save.h"

/* See QUOMODHCPHistoryOpen and the others of the history section of
 * quomodhcp.h. */
QuomoHistory *quomoHistoryOpen(int forChange, char *szError, size_t cbError);
void quomoHistoryClose(QuomoHistory *pHistory);
int quomoHistoryNewest(QuomoHistory *pHistory, QuomoRevision *pRev);
int quomoHistoryNewestId(int64_t *pId, char *szError, size_t cbError);
int quomoHistoryList(QuomoHistory *pHistory, QuomoRevision *pRevs, int nMax);
int quomoHistoryGet(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev, QuomoConfig **ppConfig);
int quomoHistoryPrevious(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev, QuomoConfig **ppConfig);

/* Records, in one transaction, what differs on disk from the newest
 * revision of the owned files whose stamps changed, as an "outside"
 * revision (the first revision: "initial", the whole configuration). 1, or
 * -1 on error. */
int quomoHistoryRecordOutside(QuomoHistory *pHistory);
/* Records the committed change as a revision: the newest revision with the
 * staged files the history keeps applied, under the change's user, address,
 * action and interface; nothing when they equal the newest revision (0). A
 * change whose token was recorded before is not recorded again (its id).
 * The id, 0, or -1 on error. */
int64_t quomoHistoryRecordChange(QuomoHistory *pHistory, const QuomoChangeMeta *pMeta,
                                 const QuomoStagedList *pStaged);

#endif /* QUOMODHCP_HISTORY_STORE_H */
