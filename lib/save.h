/*
 * One save: every file of a change is written out to its temporary before
 * the first is renamed into place (prepare all, then commit), so a failure
 * leaves every old file and a crash finds each file old or new. Also the
 * clean-up of what a killed save left behind and the sync of the
 * directories after the renames. Not exported.
 */
#ifndef QUOMODHCP_SAVE_H
#define QUOMODHCP_SAVE_H

#include <stddef.h>

#include <string>
#include <vector>

#define QUOMO_TEMP_PATH_LEN 4096 /* a temporary beside its file: a longer name */

/* Files written out to their temporaries, waiting to be renamed into place
 * together (orvPrepareReplace / orvCommitReplace). */
struct QuomoPending {
    std::string temp;
    std::string path;
};
using QuomoPendingList = std::vector<QuomoPending>;

/* Writes out one file to its temporary (a new file gets mode 0666 less the
 * umask, an existing one keeps its mode) and adds it to pending; logs
 * "Failed to open file [...]." and returns 0 on failure, the reason noted. */
int quomoPrepareFile(const char *szPath, const char *data, size_t len, QuomoPendingList &pending);
/* Renames the pending files into place in their order and empties the list;
 * the first failure (logged, noted) removes the temporaries of the rest and
 * returns 0. */
int quomoCommitPending(QuomoPendingList &pending);
/* Removes the pending temporaries and empties the list. */
void quomoAbandonPending(QuomoPendingList &pending);

/* Replaces one file whole with data[0 .. len-1], as quomoPrepareFile and
 * quomoCommitPending do together. 1 on success; 0 on failure, with the old
 * file in place and the reason noted. */
int quomoReplace(const char *szPath, const char *data, size_t len);
/* Removes the file at szPath; a missing file is no error. A directory in
 * its place is never removed: that is a failure. 1 on success; 0 on failure,
 * logged and noted. */
int quomoRemoveFile(const char *szPath);
/* mkdir -p <root>/etc/dhcpd with mkdir(2), no program run; logs "Failed to
 * mkdir [...]", notes the reason and returns 0 on failure. */
int quomoMakeDhcpdDir(void);

/* The temporaries a killed save left (see QUOMODHCPRemoveStaleTemporaries). */
int quomoRemoveStaleTemporaries(void);
/* Syncs /etc/dhcpd and /etc (see QUOMODHCPSyncSave). */
int quomoSyncSave(void);

#endif /* QUOMODHCP_SAVE_H */
