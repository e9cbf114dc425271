/*
 * A request's change (see request_change.h).
 */
#include "request_change.h"

#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <unistd.h>

#include <string>

#include "config_files.h"
#include "history_store.h"
#include "orvath_common.h"
#include "save.h"

static const char kNotRecorded[] = "the change could not be recorded";

int quomoRequestChangeBegin(void)
{
    return quomoChangeOpen();
}

void quomoRequestChangeAbandon(void)
{
    quomoChangeAbandon();
}

/* Marks what the history keeps of each staged file: the files the stores
 * declare, under their own paths. */
static bool labelRecorded(QuomoStagedList &staged)
{
    bool any = false;
    for (QuomoStaged &s : staged) {
        if (s.record.empty()) {
            std::string path = quomoRelativePath(s.path);
            if (quomoConfigOwns(path.c_str()))
                s.record = path; /* its own content */
        }
        any = any || !s.record.empty();
    }
    return any;
}

/* A token no other change has: 16 random bytes in hex, or the time and
 * process where no randomness can be had. */
static std::string changeToken(void)
{
    unsigned char bytes[16];
    char szToken[64];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) == (ssize_t)sizeof bytes) {
        for (size_t i = 0; i < sizeof bytes; ++i)
            snprintf(szToken + 2 * i, 3, "%02x", bytes[i]);
    } else {
        snprintf(szToken, sizeof szToken, "%lld-%ld", (long long)orvNow(), (long)getpid());
    }
    return szToken;
}

static QuomoChangeMeta metaOf(const QuomoRevision &intent)
{
    QuomoChangeMeta meta;
    meta.time = intent.time;
    meta.token = changeToken();
    meta.user = intent.szUser;
    meta.addr = intent.szAddr;
    meta.action = intent.szAction;
    meta.ifName = intent.szIfName;
    meta.revertOf = intent.revertOf;
    return meta;
}

int quomoRequestChangeCommit(const QuomoRevision *pIntent, int64_t *pRevision, char *szHistoryError,
                             size_t cbHistoryError)
{
    *pRevision = 0;
    orvCopy(szHistoryError, cbHistoryError, "");
    QuomoStagedList &staged = quomoChangeStaged();
    if (!pIntent || staged.empty()) {
        quomoChangeAbandon();
        return pIntent != NULL;
    }
    QuomoHistory *history = NULL;
    if (labelRecorded(staged)) {
        history = quomoHistoryOpen(1, szHistoryError, cbHistoryError);
        if (history && quomoHistoryRecordOutside(history) < 0) {
            orvCopy(szHistoryError, cbHistoryError, kNotRecorded);
            quomoHistoryClose(history);
            history = NULL;
        }
    }
    QuomoChangeMeta meta = metaOf(*pIntent);
    if (!quomoChangeCommit(&meta)) {
        quomoHistoryClose(history);
        return 0;
    }
    if (history) {
        int64_t id = quomoHistoryRecordChange(history, &meta, &staged);
        if (id < 0)
            orvCopy(szHistoryError, cbHistoryError, kNotRecorded);
        else
            *pRevision = id;
    }
    /* The journal goes once the files are in place, recorded or not: kept,
     * it would be applied again over a later change. */
    quomoChangeClose();
    quomoHistoryClose(history);
    return 1;
}

int quomoRequestChangeRecover(char *szHistoryError, size_t cbHistoryError)
{
    orvCopy(szHistoryError, cbHistoryError, "");
    QuomoChangeMeta meta;
    QuomoStagedList staged;
    int rolled = quomoJournalRollForward(meta, staged);
    if (rolled <= 0)
        return rolled;
    bool recorded = false;
    for (const QuomoStaged &s : staged)
        recorded = recorded || !s.record.empty();
    if (recorded) {
        QuomoHistory *history = quomoHistoryOpen(1, szHistoryError, cbHistoryError);
        if (history && quomoHistoryRecordChange(history, &meta, &staged) < 0)
            orvCopy(szHistoryError, cbHistoryError, kNotRecorded);
        quomoHistoryClose(history);
    }
    quomoJournalDiscard();
    return 1;
}
