/*
 * The configuration history: revisions of the whole configuration in one
 * SQLite database. A rollback journal with synchronous=FULL keeps it whole
 * through kill -9 and power loss. File contents are kept once however many
 * revisions hold them (looked up by hash, compared byte for byte).
 *
 * A change is recorded in two steps around it: its intent (who, from where,
 * which action) goes into "pending" before any file is written, and becomes a
 * revision holding the files once they are written. The request lock makes a
 * pending intent found by a later request the trace of one that was killed;
 * it is settled against what that request left on disk, so that the newest
 * revision always equals the files on disk.
 */
#include "history_store.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <sqlite3.h>

#include <map>

#include "config_files.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"

/* The bound of the history: revisions, and bytes of distinct contents. */
static const int kMaxRevisions = 200;
static const sqlite3_int64 kMaxContentBytes = 12 << 20;
/* Files of the first revision while the change that will follow it is
 * pending. */
static const sqlite3_int64 kPendingFirst = 0;
/* How long a listing waits for another one that settles a pending change. */
static const int kBusyMs = 10000;

/* A file's content is a sequence of chunks of lines; the chunks are kept
 * once however many contents hold them. A chunk ends after a line whose hash
 * has its low bits set, so that changing one reservation of a long list
 * makes one new chunk and leaves the chunks after it as they were. */
static const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS revisions(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " time INTEGER NOT NULL, user TEXT NOT NULL, addr TEXT NOT NULL, action TEXT NOT NULL,"
    " iftype TEXT NOT NULL, revert_of INTEGER NOT NULL, summary TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS chunks(id INTEGER PRIMARY KEY, hash INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS chunks_hash ON chunks(hash);"
    "CREATE TABLE IF NOT EXISTS contents(id INTEGER PRIMARY KEY);"
    "CREATE TABLE IF NOT EXISTS content_chunks(content INTEGER NOT NULL, seq INTEGER NOT NULL,"
    " chunk INTEGER NOT NULL, PRIMARY KEY(content, seq));"
    "CREATE INDEX IF NOT EXISTS content_chunks_chunk ON content_chunks(chunk);"
    "CREATE TABLE IF NOT EXISTS files(revision INTEGER NOT NULL, path TEXT NOT NULL,"
    " content INTEGER NOT NULL, PRIMARY KEY(revision, path));"
    "CREATE INDEX IF NOT EXISTS files_content ON files(content);"
    "CREATE TABLE IF NOT EXISTS pending(time INTEGER NOT NULL, user TEXT NOT NULL,"
    " addr TEXT NOT NULL, action TEXT NOT NULL, iftype TEXT NOT NULL,"
    " revert_of INTEGER NOT NULL);";
/* A chunk ends after a line whose hash has these bits set (about 64 lines),
 * or at this size. */
static const unsigned kChunkLineMask = 63;
static const size_t kMaxChunkBytes = 4096;

static const char kRevisionColumns[] =
    "SELECT id, time, user, addr, action, iftype, revert_of, summary FROM revisions ";

struct QuomoHistory {
    sqlite3 *db;
    bool damaged;
    bool putAside;
};

/* ---- statements ---- */

static void noteError(QuomoHistory &h, const char *szWhat)
{
    int code = sqlite3_errcode(h.db);
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
        h.damaged = true;
    ORV_LOG("History: %s: %s", szWhat, sqlite3_errmsg(h.db));
}

static bool execSql(QuomoHistory &h, const char *szSql)
{
    if (sqlite3_exec(h.db, szSql, NULL, NULL, NULL) == SQLITE_OK)
        return true;
    noteError(h, szSql);
    return false;
}

/* A prepared statement, finalized when it goes. */
class Statement {
public:
    Statement(QuomoHistory &h, const char *szSql) : h_(h)
    {
        if (sqlite3_prepare_v2(h.db, szSql, -1, &stmt_, NULL) != SQLITE_OK)
            noteError(h, szSql);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(int i, sqlite3_int64 value)
    {
        sqlite3_bind_int64(stmt_, i, value);
        return *this;
    }
    Statement &bind(int i, const char *szText)
    {
        sqlite3_bind_text(stmt_, i, szText, -1, SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bindBlob(int i, const std::string &data)
    {
        /* data() is never NULL, so an empty content binds as an empty blob. */
        sqlite3_bind_blob(stmt_, i, data.data(), (int)data.size(), SQLITE_STATIC);
        return *this;
    }
    /* 1 a row, 0 done, -1 an error (logged). */
    int step()
    {
        int rc = stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR;
        if (rc == SQLITE_ROW)
            return 1;
        if (rc == SQLITE_DONE)
            return 0;
        if (stmt_)
            noteError(h_, sqlite3_sql(stmt_));
        return -1;
    }
    bool run() { return step() == 0; }
    sqlite3_int64 integer(int i) { return sqlite3_column_int64(stmt_, i); }
    const char *text(int i)
    {
        const unsigned char *text = sqlite3_column_text(stmt_, i);
        return text ? (const char *)text : "";
    }
    std::string blob(int i)
    {
        const void *data = sqlite3_column_blob(stmt_, i);
        return std::string(data ? (const char *)data : "", sqlite3_column_bytes(stmt_, i));
    }

private:
    QuomoHistory &h_;
    sqlite3_stmt *stmt_ = NULL;
};

/* A transaction that rolls back unless committed. */
class Transaction {
public:
    explicit Transaction(QuomoHistory &h) : h_(h), open_(execSql(h, "BEGIN IMMEDIATE")) {}
    ~Transaction()
    {
        if (open_)
            sqlite3_exec(h_.db, "ROLLBACK", NULL, NULL, NULL);
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool open() const { return open_; }
    bool commit()
    {
        if (!open_ || !execSql(h_, "COMMIT"))
            return false;
        open_ = false;
        return true;
    }

private:
    QuomoHistory &h_;
    bool open_;
};

/* ---- revisions ---- */

static void readRevision(Statement &st, QuomoRevision &rev)
{
    rev = QuomoRevision();
    rev.id = st.integer(0);
    rev.time = st.integer(1);
    orvCopy(rev.szUser, sizeof rev.szUser, st.text(2));
    orvCopy(rev.szAddr, sizeof rev.szAddr, st.text(3));
    orvCopy(rev.szAction, sizeof rev.szAction, st.text(4));
    orvCopy(rev.szIfName, sizeof rev.szIfName, st.text(5));
    rev.revertOf = st.integer(6);
    orvCopy(rev.szSummary, sizeof rev.szSummary, st.text(7));
}

/* 1 found, 0 none, -1 error. */
static int selectOne(QuomoHistory &h, const char *szWhere, sqlite3_int64 id, QuomoRevision &rev)
{
    std::string sql = std::string(kRevisionColumns) + szWhere;
    Statement st(h, sql.c_str());
    int found = st.bind(1, id).step();
    if (found > 0)
        readRevision(st, rev);
    return found;
}

static int newest(QuomoHistory &h, QuomoRevision &rev)
{
    return selectOne(h, "WHERE id > ?1 ORDER BY id DESC LIMIT 1", 0, rev);
}

/* The content id of each file of a revision, by path. */
typedef std::map<std::string, sqlite3_int64> ContentIds;

static bool loadFiles(QuomoHistory &h, sqlite3_int64 revision, QuomoConfig &config,
                      ContentIds *ids = NULL)
{
    Statement st(h, "SELECT f.path, f.content, ch.data FROM files f"
                    " JOIN content_chunks cc ON cc.content = f.content"
                    " JOIN chunks ch ON ch.id = cc.chunk"
                    " WHERE f.revision = ?1 ORDER BY f.path, cc.seq");
    st.bind(1, revision);
    int row;
    while ((row = st.step()) > 0) {
        const char *path = st.text(0);
        if (config.files.empty() || config.files.back().first != path)
            config.files.emplace_back(path, std::string());
        config.files.back().second += st.blob(2);
        if (ids)
            (*ids)[path] = st.integer(1);
    }
    /* An empty file has no chunk. */
    Statement empty(h, "SELECT path, content FROM files WHERE revision = ?1 AND content NOT IN"
                       " (SELECT content FROM content_chunks)");
    empty.bind(1, revision);
    int more = row == 0 ? 1 : -1;
    while (more > 0 && (more = empty.step()) > 0) {
        config.files.emplace_back(empty.text(0), std::string());
        if (ids)
            (*ids)[empty.text(0)] = empty.integer(1);
    }
    quomoConfigSort(config);
    return more == 0;
}

/* FNV-1a: only to find candidates and chunk ends; equal chunks are compared
 * whole. */
static unsigned long long fnv(const char *data, size_t len)
{
    unsigned long long hash = 14695981039346656037ull;
    for (size_t i = 0; i < len; ++i)
        hash = (hash ^ (unsigned char)data[i]) * 1099511628211ull;
    return hash;
}

/* The id of a stored chunk equal to data, stored now when there is none;
 * 0 on error. */
static sqlite3_int64 chunkId(QuomoHistory &h, const std::string &data)
{
    sqlite3_int64 hash = (sqlite3_int64)fnv(data.data(), data.size());
    Statement find(h, "SELECT id FROM chunks WHERE hash = ?1 AND data = ?2");
    int found = find.bind(1, hash).bindBlob(2, data).step();
    if (found != 0)
        return found > 0 ? find.integer(0) : 0;
    Statement add(h, "INSERT INTO chunks(hash, data) VALUES(?1, ?2)");
    return add.bind(1, hash).bindBlob(2, data).run() ? sqlite3_last_insert_rowid(h.db) : 0;
}

/* The chunks of a content, in order. */
static std::vector<std::string> splitChunks(const std::string &data)
{
    std::vector<std::string> chunks;
    size_t start = 0;
    for (size_t at = 0; at < data.size();) {
        const char *end = (const char *)memchr(data.data() + at, '\n', data.size() - at);
        size_t next = end ? (size_t)(end - data.data()) + 1 : data.size();
        bool ends = (fnv(data.data() + at, next - at) & kChunkLineMask) == kChunkLineMask;
        at = next;
        if (ends || at - start >= kMaxChunkBytes || at == data.size()) {
            chunks.push_back(data.substr(start, at - start));
            start = at;
        }
    }
    return chunks;
}

/* Stores a new content; its id, or 0 on error. */
static sqlite3_int64 storeContent(QuomoHistory &h, const std::string &data)
{
    if (!execSql(h, "INSERT INTO contents DEFAULT VALUES"))
        return 0;
    sqlite3_int64 content = sqlite3_last_insert_rowid(h.db);
    std::vector<std::string> chunks = splitChunks(data);
    for (size_t seq = 0; seq < chunks.size(); ++seq) {
        sqlite3_int64 chunk = chunkId(h, chunks[seq]);
        Statement st(h, "INSERT INTO content_chunks(content, seq, chunk) VALUES(?1, ?2, ?3)");
        if (!chunk || !st.bind(1, content).bind(2, (sqlite3_int64)seq).bind(3, chunk).run())
            return 0;
    }
    return content;
}

/* Stores the files of a revision; a file equal to the same file of base
 * takes its content. */
static bool storeFiles(QuomoHistory &h, sqlite3_int64 revision, const QuomoConfig &config,
                       const QuomoConfig *base = NULL, const ContentIds *baseIds = NULL)
{
    for (const auto &file : config.files) {
        sqlite3_int64 content = 0;
        const char *data;
        size_t len;
        auto known = baseIds ? baseIds->find(file.first) : ContentIds::const_iterator();
        if (baseIds && known != baseIds->end() &&
            quomoConfigFind(base, file.first.c_str(), &data, &len) &&
            file.second.compare(0, std::string::npos, data, len) == 0)
            content = known->second;
        else
            content = storeContent(h, file.second);
        Statement st(h, "INSERT INTO files(revision, path, content) VALUES(?1, ?2, ?3)");
        if (!content || !st.bind(1, revision).bind(2, file.first.c_str()).bind(3, content).run())
            return false;
    }
    return true;
}

/* Inserts a revision from the pending intent (or, for the first revision,
 * from its time alone) and returns its id; 0 on error. */
static sqlite3_int64 insertRevision(QuomoHistory &h, bool first, const char *szSummary)
{
    Statement st(h, first ? "INSERT INTO revisions(time, user, addr, action, iftype, revert_of,"
                            " summary) SELECT time, '', '', 'initial', '', 0, ?1 FROM pending"
                          : "INSERT INTO revisions(time, user, addr, action, iftype, revert_of,"
                            " summary) SELECT time, user, addr, action, iftype, revert_of, ?1"
                            " FROM pending");
    if (!st.bind(1, szSummary).run() || sqlite3_changes(h.db) != 1)
        return 0;
    return sqlite3_last_insert_rowid(h.db);
}

/* ---- the bound ---- */

static bool dropUnreferenced(QuomoHistory &h)
{
    return execSql(h, "DELETE FROM files WHERE revision <> 0 AND revision NOT IN"
                      " (SELECT id FROM revisions);"
                      "DELETE FROM contents WHERE id NOT IN (SELECT content FROM files);"
                      "DELETE FROM content_chunks WHERE content NOT IN (SELECT id FROM contents);"
                      "DELETE FROM chunks WHERE id NOT IN (SELECT chunk FROM content_chunks);");
}

static sqlite3_int64 contentBytes(QuomoHistory &h)
{
    Statement st(h, "SELECT COALESCE(SUM(LENGTH(data)), 0) FROM chunks");
    return st.step() > 0 ? st.integer(0) : -1;
}

/* Drops the oldest revisions beyond kMaxRevisions, then more of the oldest
 * while the contents exceed kMaxContentBytes; the newest always stays. */
static bool pruneHistory(QuomoHistory &h)
{
    Statement st(h, "DELETE FROM revisions WHERE id <= (SELECT id FROM revisions"
                    " ORDER BY id DESC LIMIT 1 OFFSET ?1)");
    if (!st.bind(1, kMaxRevisions).run() || !dropUnreferenced(h))
        return false;
    for (;;) {
        sqlite3_int64 bytes = contentBytes(h);
        if (bytes < 0)
            return false;
        if (bytes <= kMaxContentBytes)
            return true;
        if (!execSql(h, "DELETE FROM revisions WHERE id = (SELECT MIN(id) FROM revisions)"
                        " AND id <> (SELECT MAX(id) FROM revisions)"))
            return false;
        if (sqlite3_changes(h.db) == 0)
            return true;
        if (!dropUnreferenced(h))
            return false;
    }
}

/* ---- settling a change ---- */

/* 1 when an intent is pending, 0 none, -1 error. */
static int hasPending(QuomoHistory &h)
{
    Statement st(h, "SELECT COUNT(*) FROM pending");
    return st.step() > 0 ? st.integer(0) > 0 : -1;
}

static void clearPendingSql(QuomoHistory &h, bool &ok)
{
    ok = execSql(h, "DELETE FROM pending; DELETE FROM files WHERE revision = 0") && ok;
}

/* Inside a transaction with a pending intent: records pAfter, or drops the
 * intent when nothing changed. It is measured against the newest revision,
 * else against the first revision-to-be. The new id, 0, or -1 on error. */
static sqlite3_int64 settlePending(QuomoHistory &h, const QuomoConfig &after)
{
    QuomoRevision top;
    int haveTop = newest(h, top);
    bool first = haveTop == 0;
    QuomoConfig base;
    ContentIds baseIds;
    if (haveTop < 0 || !loadFiles(h, first ? kPendingFirst : top.id, base, &baseIds))
        return -1;
    bool ok = true;
    if (base.files == after.files) {
        clearPendingSql(h, ok);
        return ok && (!first || dropUnreferenced(h)) ? 0 : -1;
    }
    char szSummary[QUOMO_HISTORY_TEXT_LEN];
    if (first) {
        quomoConfigSummary(&base, "", szSummary, sizeof szSummary);
        sqlite3_int64 firstId = insertRevision(h, true, szSummary);
        Statement move(h, "UPDATE files SET revision = ?1 WHERE revision = 0");
        if (!firstId || !move.bind(1, firstId).run())
            return -1;
    }
    Statement ifName(h, "SELECT iftype FROM pending");
    if (ifName.step() < 0)
        return -1;
    quomoConfigSummary(&after, ifName.text(0), szSummary, sizeof szSummary);
    sqlite3_int64 id = insertRevision(h, false, szSummary);
    if (!id || !storeFiles(h, id, after, &base, &baseIds))
        return -1;
    clearPendingSql(h, ok);
    return ok && pruneHistory(h) ? id : -1;
}

/* What a killed request left pending, settled against the disk. */
static bool settleLeftover(QuomoHistory &h)
{
    Transaction tx(h);
    int pending = tx.open() ? hasPending(h) : -1;
    if (pending <= 0)
        return pending == 0;
    QuomoConfig *disk = quomoConfigRead();
    bool ok = disk && settlePending(h, *disk) >= 0 && tx.commit();
    quomoConfigFree(disk);
    if (ok)
        ORV_LOG("History: settled the change of a request that did not finish");
    return ok;
}

/* ---- open and close ---- */

static bool openDatabase(QuomoHistory &h, const char *szPath, bool create)
{
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(szPath, &h.db, flags, NULL) != SQLITE_OK)
        return false;
    chmod(szPath, 0600);
    sqlite3_busy_timeout(h.db, kBusyMs);
    return execSql(h, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;") &&
           execSql(h, kSchema) && settleLeftover(h);
}

static void putAsideDamaged(void)
{
    char szPath[QUOMO_PATH_LEN], szAside[QUOMO_PATH_LEN];
    if (orvPath(szPath, sizeof szPath, QUOMO_HISTORY_PATH) &&
        orvPath(szAside, sizeof szAside, QUOMO_HISTORY_DAMAGED_PATH) && rename(szPath, szAside) == 0)
        ORV_LOG("History: the damaged store was put aside as %s", szAside);
}

static void closeHistory(QuomoHistory *h)
{
    sqlite3_close(h->db);
    if (h->damaged && h->putAside)
        putAsideDamaged();
    delete h;
}

static bool storeExists(const char *szPath)
{
    struct stat st;
    return lstat(szPath, &st) == 0;
}

QuomoHistory *quomoHistoryOpen(int forChange, char *szError, size_t cbError)
{
    char szPath[QUOMO_PATH_LEN], szDir[QUOMO_PATH_LEN];
    orvCopy(szError, cbError, "");
    if (!orvPath(szPath, sizeof szPath, QUOMO_HISTORY_PATH) ||
        !orvPath(szDir, sizeof szDir, QUOMO_PACKAGE_DIR)) {
        orvFormat(szError, cbError, "%s: %s", &QUOMO_HISTORY_PATH[1], strerror(ENAMETOOLONG));
        return NULL;
    }
    if (!forChange && !storeExists(szPath))
        return NULL; /* no change recorded yet */
    if (forChange && !orvMakeDirs(szDir, 0755)) {
        orvFormat(szError, cbError, "%s", orvFailure());
        return NULL;
    }
    QuomoHistory *h = new QuomoHistory{NULL, false, forChange != 0};
    if (openDatabase(*h, szPath, forChange))
        return h;
    int code = h->db ? sqlite3_errcode(h->db) : SQLITE_ERROR;
    orvFormat(szError, cbError, "%s: %s", &QUOMO_HISTORY_PATH[1],
              code != SQLITE_OK ? sqlite3_errmsg(h->db) : "cannot be read");
    ORV_LOG("History: %s", szError);
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
        h->damaged = true;
    closeHistory(h);
    return NULL;
}

void quomoHistoryClose(QuomoHistory *pHistory)
{
    if (pHistory)
        closeHistory(pHistory);
}

int quomoHistoryNewest(QuomoHistory *pHistory, QuomoRevision *pRev)
{
    return pHistory && pRev ? newest(*pHistory, *pRev) : -1;
}

int quomoHistoryList(QuomoHistory *pHistory, QuomoRevision *pRevs, int nMax)
{
    if (!pHistory || !pRevs || nMax < 0)
        return -1;
    Statement st(*pHistory, (std::string(kRevisionColumns) + "ORDER BY id DESC LIMIT ?1").c_str());
    st.bind(1, nMax);
    int n = 0, row;
    while (n < nMax && (row = st.step()) > 0)
        readRevision(st, pRevs[n++]);
    return n == nMax || row == 0 ? n : -1;
}

static int getWith(QuomoHistory *pHistory, const char *szWhere, int64_t id, QuomoRevision *pRev,
                   QuomoConfig **ppConfig)
{
    if (ppConfig)
        *ppConfig = NULL;
    if (!pHistory || !pRev)
        return -1;
    int found = selectOne(*pHistory, szWhere, id, *pRev);
    if (found <= 0 || !ppConfig)
        return found;
    QuomoConfig *config = new QuomoConfig;
    if (!loadFiles(*pHistory, pRev->id, *config)) {
        delete config;
        return -1;
    }
    *ppConfig = config;
    return 1;
}

int quomoHistoryGet(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev,
                        QuomoConfig **ppConfig)
{
    return getWith(pHistory, "WHERE id = ?1", id, pRev, ppConfig);
}

int quomoHistoryPrevious(QuomoHistory *pHistory, int64_t id, QuomoRevision *pRev,
                             QuomoConfig **ppConfig)
{
    return getWith(pHistory, "WHERE id < ?1 ORDER BY id DESC LIMIT 1", id, pRev, ppConfig);
}

static bool insertIntent(QuomoHistory &h, const QuomoRevision &intent)
{
    Statement st(h, "INSERT INTO pending(time, user, addr, action, iftype, revert_of)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    return st.bind(1, intent.time)
        .bind(2, intent.szUser)
        .bind(3, intent.szAddr)
        .bind(4, intent.szAction)
        .bind(5, intent.szIfName)
        .bind(6, intent.revertOf)
        .run();
}

int quomoHistoryBegin(QuomoHistory *pHistory, const QuomoRevision *pIntent,
                          const QuomoConfig *pBefore)
{
    if (!pHistory || !pIntent || !pBefore)
        return -1;
    QuomoHistory &h = *pHistory;
    Transaction tx(h);
    QuomoRevision top;
    bool ok = tx.open();
    clearPendingSql(h, ok);
    int haveTop = ok ? newest(h, top) : -1;
    ok = haveTop >= 0 && insertIntent(h, *pIntent) &&
         (haveTop > 0 || storeFiles(h, kPendingFirst, *pBefore)) && tx.commit();
    return ok ? 1 : -1;
}

int64_t quomoHistoryFinish(QuomoHistory *pHistory, const QuomoConfig *pAfter)
{
    if (!pHistory || !pAfter)
        return -1;
    Transaction tx(*pHistory);
    int pending = tx.open() ? hasPending(*pHistory) : -1;
    if (pending <= 0)
        return pending;
    sqlite3_int64 id = settlePending(*pHistory, *pAfter);
    return id >= 0 && tx.commit() ? id : -1;
}
