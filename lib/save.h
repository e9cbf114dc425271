/*
 * The one save step. Every file the library writes or removes is staged
 * into the open change: its new content goes to a temporary beside it at
 * once (so a full disk or a directory in the way is found before anything is
 * renamed), and later reads of the request see the staged content. A file
 * staged with the very content it holds is kept: it gets no temporary and is
 * not renamed. The request's change is committed as one transaction: the
 * whole change is journaled in the request lock's private directory, then
 * the temporaries are renamed into place and the removals made, then the
 * directories synced; a change that alters no file needs no journal. A
 * failure on the way puts back what was already renamed; a process killed
 * on the way leaves the journal, and the next request rolls the change
 * forward from it. A library call made outside a request opens a change of
 * its own (QuomoChangeScope) and commits it without a journal. Not
 * exported.
 */
#ifndef QUOMODHCP_SAVE_H
#define QUOMODHCP_SAVE_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <string>
#include <vector>

#define QUOMO_TEMP_PATH_LEN 4096 /* a temporary beside its file: a longer name */

/* One file of a change. */
struct QuomoStaged {
    std::string path;   /* under the root, as opened */
    std::string temp;   /* its prepared temporary; "" for a removal or a kept file */
    std::string data;   /* the new content */
    bool remove;        /* the file goes */
    bool kept;          /* the new content is what the file holds: nothing to write */
    bool beforeKnown;   /* the two below were read when it was staged */
    bool hadBefore;     /* the file existed before the change */
    std::string before; /* its content then */
    /* What the history keeps of it: its path under the root ("etc/dhcpd/...",
     * or a pseudo-file), "" when the history does not keep it; and its
     * content: recordData where recordOwn (a pseudo-file), else data. */
    std::string record;
    std::string recordData;
    bool recordOwn = false;
};
/* The content the history keeps of a staged file. */
inline const std::string &quomoRecordedData(const QuomoStaged &s)
{
    return s.recordOwn ? s.recordData : s.data;
}
/* A deque: an entry stays where it is while others are staged, so that a
 * staged content may be read in place (quomoStagedRef). */
using QuomoStagedList = std::deque<QuomoStaged>;

/* Who made the change, as the journal and the history keep it. */
struct QuomoChangeMeta {
    int64_t time;
    std::string token; /* unique per change: a change is recorded once */
    std::string user, addr, action, ifName;
    int64_t revertOf;
};

/* ---- the open change ---- */

/* Opens the request's change; 0 when one is open already. */
int quomoChangeOpen(void);
bool quomoChangeIsOpen(void);
/* The staged files of the open change, in staging order (empty: none). */
QuomoStagedList &quomoChangeStaged(void);
/* A path as the journal and the history name it: under the root, without
 * the leading "/". */
std::string quomoRelativePath(const std::string &path);
/* Drops the open change: its temporaries are removed, nothing is written. */
void quomoChangeAbandon(void);
/* Writes the open change as one transaction (see above), journaled when meta
 * is given. 1 on success, the change still open for the history to read
 * (quomoChangeClose ends it); 0 on failure, every old file back in place
 * (logged, noted), the change closed. */
int quomoChangeCommit(const QuomoChangeMeta *meta);
/* Ends a committed change: its journal goes. */
void quomoChangeClose(void);

/* A library call's own change when none is open: commit() commits it (no
 * journal) and answers 1 inside a request's change, whose commit comes
 * later. Abandoned when it goes uncommitted. */
class QuomoChangeScope {
public:
    QuomoChangeScope() : owned_(quomoChangeOpen() != 0) {}
    ~QuomoChangeScope()
    {
        if (owned_)
            quomoChangeAbandon();
    }
    QuomoChangeScope(const QuomoChangeScope &) = delete;
    QuomoChangeScope &operator=(const QuomoChangeScope &) = delete;
    int commit(int ok)
    {
        if (!owned_)
            return ok;
        owned_ = false;
        if (!ok) {
            quomoChangeAbandon();
            return 0;
        }
        int committed = quomoChangeCommit(NULL);
        if (committed)
            quomoChangeClose();
        return committed;
    }

private:
    bool owned_;
};

/* ---- staging ---- */

/* Stages the whole new content of the file at szPath (a new file gets mode
 * 0666 less the umask, an existing one keeps its mode). Logs "Failed to
 * open file [...]." and returns 0 on failure, the reason noted. */
int quomoStageFile(const char *szPath, const char *data, size_t len);
/* quomoStageFile with text taken over rather than copied (a list of
 * thousands of lines is staged without a second copy). */
int quomoStageText(const char *szPath, std::string &&text);
/* Stages the removal of the file at szPath; a missing file is no error, a
 * directory in its place is (logged, noted): 0. */
int quomoStageRemove(const char *szPath);
/* Stages the file with the line key="value" set (replaced where the key
 * is, else added), the file's other lines kept. */
int quomoStageKey(const char *szPath, const char *szKey, const char *szValue);
/* Sets what the history keeps of a staged file (see QuomoStaged). */
void quomoStageRecordAs(const char *szPath, const char *szRecord, const std::string &data);

/* ---- reading through the change ---- */

/* 1 when the file exists as the request left it so far (staged, or on disk
 * as a regular file), else 0. */
int quomoStagedExists(const char *szPath);
/* Reads the file as the request left it so far: 1 read, 0 no such file, -1
 * an error (errno kept), as orvReadFile. */
int quomoStagedRead(const char *szPath, std::string &out);
/* quomoStagedRead without a copy of staged content: *ppText points to it
 * (valid until the file is staged again or the change ends), or to buffer
 * that the file was read into. */
int quomoStagedRef(const char *szPath, std::string &buffer, const std::string **ppText);

/* ---- after a crash ---- */

/* The change a killed request journaled, rolled forward: every file is
 * written or removed as the journal says and the directories synced, the
 * journal kept until quomoJournalDiscard. 1 rolled forward (meta and staged
 * filled), 0 no journal, -1 a journal that could not be applied (logged,
 * noted; it stays for the next request). A journal that cannot be read is
 * a change that never began its renames: it is dropped (0). */
int quomoJournalRollForward(QuomoChangeMeta &meta, QuomoStagedList &staged);
/* 1 when a journal waits to be rolled forward. */
int quomoJournalPending(void);
void quomoJournalDiscard(void);

/* ---- files ---- */

/* Replaces one file whole, as a change of its own. 1 on success; 0 on
 * failure, with the old file in place and the reason noted. */
int quomoReplace(const char *szPath, const char *data, size_t len);
/* Removes the file at szPath, as a change of its own. */
int quomoRemoveFile(const char *szPath);
/* mkdir -p <root>/etc/dhcpd with mkdir(2), no program run; logs "Failed to
 * mkdir [...]", notes the reason and returns 0 on failure. */
int quomoMakeDhcpdDir(void);

/* The temporaries a killed save left (see QUOMODHCPRemoveStaleTemporaries). */
int quomoRemoveStaleTemporaries(void);
/* Syncs /etc/dhcpd and /etc (see QUOMODHCPSyncSave). */
int quomoSyncSave(void);

#endif /* QUOMODHCP_SAVE_H */
