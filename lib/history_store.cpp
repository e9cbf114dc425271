/*
 * The configuration history: revisions of the whole configuration in one
 * SQLite database. A rollback journal with synchronous=FULL keeps it whole
 * through kill -9 and power loss. File contents are kept once however many
 * revisions hold them (looked up by hash, compared byte for byte).
 *
 * A revision is the revision before it with one change applied: the change
 * set a request committed (its journal names it by a token, so that a change
 * rolled forward after a crash is recorded once), or the files that someone
 * else changed on disk since ("outside"). Which files someone else changed
 * is told by the size, time and inode each owned file had when the last
 * change left it (the stamps), so that no file is read back unless it
 * changed.
 */
#include "history_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

#include <map>
#include <string>
#include <unordered_map>

#include "config_files.h"
#include "orvath_common.h"
#include "quomodhcp_paths.h"

/* The bound of the history: revisions, and bytes of distinct contents. */
static const int kMaxRevisions = 200;
static const sqlite3_int64 kMaxContentBytes = 12 << 20;
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
    "CREATE TABLE IF NOT EXISTS changes(token TEXT PRIMARY KEY, revision INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS stamps(path TEXT PRIMARY KEY, size INTEGER NOT NULL,"
    " mtime INTEGER NOT NULL, ino INTEGER NOT NULL);";
/* A chunk ends after a line whose hash has these bits set (about 64 lines),
 * or at this size. */
static const unsigned kChunkLineMask = 63;
static const size_t kMaxChunkBytes = 4096;

static const char kRevisionColumns[] =
    "SELECT id, time, user, addr, action, iftype, revert_of, summary FROM revisions ";

/* A prepared statement kept for the next use of the same text. */
struct CachedStatement {
    sqlite3_stmt *stmt;
    bool inUse;
};

struct QuomoHistory {
    sqlite3 *db;
    bool damaged;
    bool putAside;
    /* A change runs the same few statements once per file and chunk: each
     * is prepared once per open. */
    std::unordered_map<std::string, CachedStatement> statements;
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

/* A prepared statement of the store's cache, reset for the next use when it
 * goes; one whose text is in use already is prepared anew and finalized. */
class Statement {
public:
    Statement(QuomoHistory &h, const char *szSql) : h_(h)
    {
        auto it = h.statements.find(szSql);
        if (it != h.statements.end() && !it->second.inUse) {
            stmt_ = it->second.stmt;
            cached_ = &it->second;
            cached_->inUse = true;
            return;
        }
        if (sqlite3_prepare_v2(h.db, szSql, -1, &stmt_, NULL) != SQLITE_OK) {
            noteError(h, szSql);
            return;
        }
        if (it == h.statements.end()) {
            cached_ = &h.statements.emplace(szSql, CachedStatement{stmt_, true}).first->second;
        }
    }
    ~Statement()
    {
        if (!cached_) {
            sqlite3_finalize(stmt_);
            return;
        }
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        cached_->inUse = false;
    }
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
    CachedStatement *cached_ = NULL;
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
    Statement content(h, "INSERT INTO contents DEFAULT VALUES");
    if (!content.run())
        return 0;
    sqlite3_int64 id = sqlite3_last_insert_rowid(h.db);
    std::vector<std::string> chunks = splitChunks(data);
    for (size_t seq = 0; seq < chunks.size(); ++seq) {
        sqlite3_int64 chunk = chunkId(h, chunks[seq]);
        Statement st(h, "INSERT INTO content_chunks(content, seq, chunk) VALUES(?1, ?2, ?3)");
        if (!chunk || !st.bind(1, id).bind(2, (sqlite3_int64)seq).bind(3, chunk).run())
            return 0;
    }
    return id;
}

/* Inserts a revision and returns its id; 0 on error. */
static sqlite3_int64 insertRevision(QuomoHistory &h, const QuomoChangeMeta &meta)
{
    Statement st(h, "INSERT INTO revisions(time, user, addr, action, iftype, revert_of, summary)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, '')");
    if (!st.bind(1, meta.time)
             .bind(2, meta.user.c_str())
             .bind(3, meta.addr.c_str())
             .bind(4, meta.action.c_str())
             .bind(5, meta.ifName.c_str())
             .bind(6, meta.revertOf)
             .run())
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
                      "DELETE FROM chunks WHERE id NOT IN (SELECT chunk FROM content_chunks);"
                      "DELETE FROM changes WHERE revision NOT IN (SELECT id FROM revisions);");
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
    if (!st.bind(1, kMaxRevisions).run())
        return false;
    /* Only a dropped revision leaves rows that nothing refers to. */
    if (sqlite3_changes(h.db) > 0 && !dropUnreferenced(h))
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

/* ---- a change on top of the newest revision ---- */

/* One file of a change: its new content, or NULL when it went. */
struct FileChange {
    std::string path;
    const std::string *content;
};

/* The content stored for a path in a revision: 1, 0 when it has none, -1
 * on error. */
static int loadFile(QuomoHistory &h, sqlite3_int64 revision, const std::string &path, std::string &out)
{
    Statement st(h, "SELECT ch.data FROM files f JOIN content_chunks cc ON cc.content = f.content"
                    " JOIN chunks ch ON ch.id = cc.chunk WHERE f.revision = ?1 AND f.path = ?2"
                    " ORDER BY cc.seq");
    st.bind(1, revision).bind(2, path.c_str());
    out.clear();
    int row;
    while ((row = st.step()) > 0)
        out += st.blob(0);
    if (row < 0)
        return -1;
    Statement has(h, "SELECT 1 FROM files WHERE revision = ?1 AND path = ?2");
    return has.bind(1, revision).bind(2, path.c_str()).step();
}

/* The summary of a revision: its paths, and of the contents only those the
 * summary counts from. */
static bool summarize(QuomoHistory &h, sqlite3_int64 revision, const char *szIfName, std::string &out)
{
    QuomoConfig config;
    Statement st(h, "SELECT path FROM files WHERE revision = ?1 ORDER BY path");
    st.bind(1, revision);
    int row;
    while ((row = st.step()) > 0)
        config.files.emplace_back(st.text(0), std::string());
    if (row < 0)
        return false;
    char szPxe[QUOMO_PATH_LEN];
    orvFormat(szPxe, sizeof szPxe, QUOMO_SUBNET_FILE_FORMAT, szIfName, QUOMO_PXE_TAG, "info");
    for (auto &file : config.files) {
        if ((file.first == &QUOMO_STATIC_LIST[1] || file.first == QUOMO_HISTORY_PXE_PATH ||
             file.first == szPxe + 1) &&
            loadFile(h, revision, file.first, file.second) < 0)
            return false;
    }
    char szSummary[QUOMO_HISTORY_TEXT_LEN];
    quomoConfigSummary(&config, szIfName, szSummary, sizeof szSummary);
    out = szSummary;
    return true;
}

/* Records a revision: the newest one (none: an empty configuration) with
 * the changes applied. Its id, or 0 on error. */
static sqlite3_int64 recordRevision(QuomoHistory &h, const QuomoChangeMeta &meta,
                                    const std::vector<FileChange> &changes)
{
    QuomoRevision top;
    int haveTop = newest(h, top);
    sqlite3_int64 id = haveTop >= 0 ? insertRevision(h, meta) : 0;
    if (!id)
        return 0;
    if (haveTop > 0) {
        Statement copy(h, "INSERT INTO files(revision, path, content)"
                          " SELECT ?1, path, content FROM files WHERE revision = ?2");
        if (!copy.bind(1, id).bind(2, top.id).run())
            return 0;
    }
    for (const FileChange &change : changes) {
        Statement drop(h, "DELETE FROM files WHERE revision = ?1 AND path = ?2");
        if (!drop.bind(1, id).bind(2, change.path.c_str()).run())
            return 0;
        if (!change.content)
            continue;
        sqlite3_int64 content = storeContent(h, *change.content);
        Statement add(h, "INSERT INTO files(revision, path, content) VALUES(?1, ?2, ?3)");
        if (!content || !add.bind(1, id).bind(2, change.path.c_str()).bind(3, content).run())
            return 0;
    }
    std::string summary;
    Statement name(h, "UPDATE revisions SET summary = ?1 WHERE id = ?2");
    if (!summarize(h, id, meta.ifName.c_str(), summary) ||
        !name.bind(1, summary.c_str()).bind(2, id).run())
        return 0;
    return id;
}

/* The stamp kept for path: 1, 0 none, -1 error. */
static int keptStamp(QuomoHistory &h, const std::string &path, QuomoFileStamp &stamp)
{
    Statement st(h, "SELECT size, mtime, ino FROM stamps WHERE path = ?1");
    int found = st.bind(1, path.c_str()).step();
    if (found > 0)
        stamp = QuomoFileStamp{path, st.integer(0), st.integer(1), st.integer(2)};
    return found;
}

static bool sameStamp(const QuomoFileStamp &a, const QuomoFileStamp &b)
{
    return a.size == b.size && a.mtime == b.mtime && a.ino == b.ino;
}

/* Keeps the stamp of each file as it lies now (none: it is gone); a stamp
 * kept already as it is stays untouched. */
static bool keepStamps(QuomoHistory &h, const std::vector<std::string> &paths)
{
    for (const std::string &path : paths) {
        if (path == QUOMO_HISTORY_PXE_PATH)
            continue;
        QuomoFileStamp stamp, kept;
        bool present = quomoConfigStampOf(path, stamp);
        int had = keptStamp(h, path, kept);
        if (had < 0)
            return false;
        if (present && had > 0 && sameStamp(stamp, kept))
            continue;
        Statement drop(h, "DELETE FROM stamps WHERE path = ?1");
        if (had > 0 && !drop.bind(1, path.c_str()).run())
            return false;
        if (!present)
            continue;
        Statement add(h, "INSERT INTO stamps(path, size, mtime, ino) VALUES(?1, ?2, ?3, ?4)");
        if (!add.bind(1, path.c_str()).bind(2, stamp.size).bind(3, stamp.mtime).bind(4, stamp.ino).run())
            return false;
    }
    return true;
}

static QuomoChangeMeta systemMeta(const char *szAction)
{
    QuomoChangeMeta meta = QuomoChangeMeta();
    meta.time = orvNow();
    meta.action = szAction;
    return meta;
}

/* The first revision: the configuration on disk before the first change. */
static bool recordInitial(QuomoHistory &h)
{
    QuomoConfig *disk = quomoConfigRead();
    if (!disk)
        return false;
    std::vector<FileChange> changes;
    std::vector<std::string> paths;
    for (const auto &file : disk->files) {
        changes.push_back({file.first, &file.second});
        paths.push_back(file.first);
    }
    bool ok = recordRevision(h, systemMeta("initial"), changes) && keepStamps(h, paths);
    quomoConfigFree(disk);
    return ok;
}

/* The owned files whose stamp differs from the one kept (new, gone or
 * written since), and the pseudo-file. */
static bool suspects(QuomoHistory &h, std::vector<std::string> &paths)
{
    std::vector<QuomoFileStamp> disk;
    if (!quomoConfigStamps(disk))
        return false;
    std::map<std::string, QuomoFileStamp> kept;
    Statement st(h, "SELECT path, size, mtime, ino FROM stamps");
    int row;
    while ((row = st.step()) > 0)
        kept[st.text(0)] = QuomoFileStamp{st.text(0), st.integer(1), st.integer(2), st.integer(3)};
    if (row < 0)
        return false;
    for (const QuomoFileStamp &now : disk) {
        auto it = kept.find(now.path);
        if (it == kept.end() || it->second.size != now.size || it->second.mtime != now.mtime ||
            it->second.ino != now.ino)
            paths.push_back(now.path);
        if (it != kept.end())
            kept.erase(it);
    }
    for (const auto &gone : kept)
        paths.push_back(gone.first);
    paths.push_back(QUOMO_HISTORY_PXE_PATH);
    return true;
}

/* Records what someone else changed on disk since the newest revision, as a
 * revision of its own. */
static bool recordOutside(QuomoHistory &h, const QuomoRevision &top)
{
    std::vector<std::string> paths;
    if (!suspects(h, paths))
        return false;
    std::vector<std::string> contents(paths.size());
    std::vector<FileChange> changes;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string stored;
        int had = loadFile(h, top.id, paths[i], stored);
        if (had < 0)
            return false;
        bool present;
        if (paths[i] == QUOMO_HISTORY_PXE_PATH) {
            present = quomoConfigPxeKey(contents[i]);
        } else {
            char szPath[QUOMO_PATH_LEN];
            int read = orvPath(szPath, sizeof szPath, "/%s", paths[i].c_str())
                           ? orvReadFile(szPath, contents[i]) : -1;
            if (read < 0 && errno != ELOOP && errno != EINVAL && errno != EISDIR)
                return false;
            present = read > 0;
        }
        if (present != (had > 0) || (present && stored != contents[i]))
            changes.push_back({paths[i], present ? &contents[i] : NULL});
    }
    if (!changes.empty()) {
        ORV_LOG("History: %u file(s) changed outside this system", (unsigned)changes.size());
        if (!recordRevision(h, systemMeta("outside"), changes))
            return false;
    }
    return keepStamps(h, paths);
}

int quomoHistoryRecordOutside(QuomoHistory *pHistory)
{
    if (!pHistory)
        return -1;
    QuomoHistory &h = *pHistory;
    Transaction tx(h);
    QuomoRevision top;
    int haveTop = tx.open() ? newest(h, top) : -1;
    bool ok = haveTop == 0 ? recordInitial(h) : haveTop > 0 && recordOutside(h, top);
    return ok && tx.commit() ? 1 : -1;
}

/* The id of the revision that recorded the change of token: 0 none. */
static sqlite3_int64 recordedAs(QuomoHistory &h, const std::string &token, bool &ok)
{
    Statement st(h, "SELECT revision FROM changes WHERE token = ?1");
    int found = st.bind(1, token.c_str()).step();
    ok = found >= 0;
    return found > 0 ? st.integer(0) : 0;
}

int64_t quomoHistoryRecordChange(QuomoHistory *pHistory, const QuomoChangeMeta *pMeta,
                                 const QuomoStagedList *pStaged)
{
    if (!pHistory || !pMeta || !pStaged)
        return -1;
    QuomoHistory &h = *pHistory;
    Transaction tx(h);
    bool ok = tx.open();
    sqlite3_int64 already = ok ? recordedAs(h, pMeta->token, ok) : 0;
    if (!ok)
        return -1;
    if (already)
        return already;
    QuomoRevision top;
    if (newest(h, top) < 0)
        return -1;
    std::vector<FileChange> changes;
    std::vector<std::string> paths;
    for (const QuomoStaged &s : *pStaged) {
        if (s.record.empty())
            continue;
        paths.push_back(s.record);
        std::string stored;
        /* The disk held the newest revision when the change began: what the
         * change replaced is what it holds, unless the change came from a
         * journal. */
        bool fromDisk = s.beforeKnown && s.record != QUOMO_HISTORY_PXE_PATH;
        int had = fromDisk ? s.hadBefore : loadFile(h, top.id, s.record, stored);
        if (had < 0)
            return -1;
        const std::string &was = fromDisk ? s.before : stored;
        const std::string &data = quomoRecordedData(s);
        if (s.remove ? had > 0 : !(had > 0 && was == data))
            changes.push_back({s.record, s.remove ? NULL : &data});
    }
    sqlite3_int64 id = changes.empty() ? 0 : recordRevision(h, *pMeta, changes);
    Statement mark(h, "INSERT INTO changes(token, revision) VALUES(?1, ?2)");
    ok = (changes.empty() || id) && keepStamps(h, paths) &&
         (changes.empty() || mark.bind(1, pMeta->token.c_str()).bind(2, id).run()) &&
         (changes.empty() || pruneHistory(h)) && tx.commit();
    return ok ? id : -1;
}

/* ---- open and close ---- */

/* Every table and index of kSchema is there: one query, where running the
 * schema parses each of its statements. */
static bool schemaPresent(QuomoHistory &h)
{
    Statement st(h, "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('revisions', 'chunks',"
                    " 'chunks_hash', 'contents', 'content_chunks', 'content_chunks_chunk', 'files',"
                    " 'files_content', 'changes', 'stamps')");
    return st.step() > 0 && st.integer(0) == 10;
}

static bool openDatabase(QuomoHistory &h, const char *szPath, bool forChange)
{
    int flags = SQLITE_OPEN_NOFOLLOW | (forChange ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    if (sqlite3_open_v2(szPath, &h.db, flags, NULL) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(h.db, kBusyMs);
    if (!forChange)
        return true;
    /* A change touches a few pages of a store of at most some megabytes: a
     * small page cache keeps the request's memory small. */
    return execSql(h, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA cache_size=-128;") &&
           (schemaPresent(h) || execSql(h, kSchema));
}

static void putAside(const char *szWhy)
{
    char szPath[QUOMO_PATH_LEN], szAside[QUOMO_PATH_LEN];
    if (orvPath(szPath, sizeof szPath, QUOMO_HISTORY_PATH) &&
        orvPath(szAside, sizeof szAside, QUOMO_HISTORY_DAMAGED_PATH) && rename(szPath, szAside) == 0)
        ORV_LOG("History: the store (%s) was put aside as %s", szWhy, szAside);
}

/* ---- the newest revision's id, without opening the store ----
 *
 * Every reading answers the newest revision's id, and opening SQLite costs
 * more than the rest of a small reading. So each change leaves the id in a
 * small file beside the store, with the store's identity (device, inode,
 * size, modification time) and SQLite's change counter (bytes 24..27 of
 * its header, advanced by every commit of a rollback journal) as they were
 * after it. Where any of them differs, or the file is missing or not as
 * written, the store itself is asked. */

/* The store's state the id is true for, read from the open store. */
static bool storeState(int fd, std::string &state)
{
    struct stat st;
    unsigned char header[28];
    if (fstat(fd, &st) != 0 || pread(fd, header, sizeof header, 0) != (ssize_t)sizeof header)
        return false;
    unsigned long counter = (unsigned long)header[24] << 24 | (unsigned long)header[25] << 16 |
                            (unsigned long)header[26] << 8 | header[27];
    char szState[160];
    orvFormat(szState, sizeof szState, "%llu %llu %lld %lld %ld %lu", (unsigned long long)st.st_dev,
              (unsigned long long)st.st_ino, (long long)st.st_size, (long long)st.st_mtim.tv_sec,
              (long)st.st_mtim.tv_nsec, counter);
    state = szState;
    return true;
}

static bool storeStateAt(const char *szPath, std::string &state)
{
    int fd = open(szPath, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = storeState(fd, state);
    close(fd);
    return ok;
}

/* Leaves "<state> <id>" beside the store once a change closed it (have:
 * whether it holds a revision, top the newest; -1 unknown). Written in
 * place, under the request lock that keeps readings out, so that a killed
 * change leaves no temporary behind: a file cut short is not as written
 * and is ignored. A failure only costs the next readings an open of the
 * store. */
static void keepNewestId(int have, const QuomoRevision &top)
{
    char szPath[QUOMO_PATH_LEN], szNewest[QUOMO_PATH_LEN];
    if (!orvPath(szPath, sizeof szPath, QUOMO_HISTORY_PATH) ||
        !orvPath(szNewest, sizeof szNewest, QUOMO_HISTORY_NEWEST_PATH))
        return;
    std::string state;
    if (have < 0 || !storeStateAt(szPath, state)) {
        unlink(szNewest);
        return;
    }
    std::string text = state + " " + std::to_string(have > 0 ? (long long)top.id : 0LL) + "\n";
    int fd = open(szNewest, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st;
    bool written = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
                   fchmod(fd, 0600) == 0 && ftruncate(fd, 0) == 0 &&
                   write(fd, text.data(), text.size()) == (ssize_t)text.size();
    if (fd >= 0)
        close(fd);
    if (!written)
        unlink(szNewest);
}

static void closeHistory(QuomoHistory *h)
{
    /* A store opened for a change leaves its newest id beside it, read
     * before and stamped with the store's state after it is closed (its
     * statements finalized first, or it would stay open). */
    QuomoRevision top;
    int have = h->putAside && !h->damaged ? newest(*h, top) : -1;
    for (auto &cached : h->statements)
        sqlite3_finalize(cached.second.stmt);
    h->statements.clear();
    sqlite3_close(h->db);
    if (h->putAside)
        keepNewestId(have, top);
    if (h->damaged && h->putAside)
        putAside("damaged");
    delete h;
}

/* Why the store's directory cannot hold it: not a directory of the
 * service's user that only it may write; NULL when it can. */
static const char *directoryFault(const char *szDir)
{
    struct stat st;
    if (lstat(szDir, &st) != 0 || !S_ISDIR(st.st_mode))
        return "not a directory";
    if (st.st_uid != geteuid())
        return "its directory is owned by another user";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return "its directory is writable by group or others";
    return NULL;
}

/* Why the store cannot be trusted: a link, not a regular file, another
 * user's, or readable or writable by others than its user; NULL when it
 * can (or is missing: *pMissing). */
static const char *storeFault(const char *szPath, bool *pMissing)
{
    struct stat st;
    *pMissing = false;
    if (lstat(szPath, &st) != 0) {
        *pMissing = errno == ENOENT;
        return *pMissing ? NULL : "cannot be examined";
    }
    if (S_ISLNK(st.st_mode))
        return "a symbolic link";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_uid != geteuid())
        return "owned by another user";
    if ((st.st_mode & 0777) != 0600)
        return "not of mode 0600";
    return NULL;
}

/* Makes the store's file, empty, mode 0600, never through a link. */
static bool createStore(const char *szPath)
{
    int fd = open(szPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, 0600) == 0;
    close(fd);
    return ok;
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
    if (forChange && !orvMakeDirs(szDir, 0755)) {
        orvFormat(szError, cbError, "%s", orvFailure());
        return NULL;
    }
    bool missing = false;
    const char *fault = directoryFault(szDir);
    if (!fault && (fault = storeFault(szPath, &missing)) != NULL && forChange)
        putAside(fault);
    if (fault) {
        orvFormat(szError, cbError, "%s: %s", &QUOMO_HISTORY_PATH[1], fault);
        ORV_LOG("History: %s", szError);
        return NULL;
    }
    if (missing && !forChange)
        return NULL; /* no change recorded yet */
    if (missing && !createStore(szPath)) {
        orvFormat(szError, cbError, "%s: %s", &QUOMO_HISTORY_PATH[1], strerror(errno));
        return NULL;
    }
    QuomoHistory *h = new QuomoHistory{NULL, false, forChange != 0, {}};
    if (openDatabase(*h, szPath, forChange != 0))
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

/* The id kept beside the store when it is true for the store as it is:
 * 1, into *pId; 0 when it cannot be told so. */
static int keptNewestId(const char *szPath, int64_t *pId)
{
    char szNewest[QUOMO_PATH_LEN];
    bool missing = false;
    if (!orvPath(szNewest, sizeof szNewest, QUOMO_HISTORY_NEWEST_PATH) ||
        storeFault(szNewest, &missing) || missing)
        return 0;
    std::string state, kept;
    if (!storeStateAt(szPath, state) || orvReadFile(szNewest, kept) <= 0)
        return 0;
    if (kept.size() <= state.size() + 1 || kept.compare(0, state.size(), state) != 0 ||
        kept[state.size()] != ' ' || kept.back() != '\n')
        return 0;
    const char *digits = kept.c_str() + state.size() + 1;
    char *end = NULL;
    errno = 0;
    long long id = strtoll(digits, &end, 10);
    if (errno || end == digits || *end != '\n' || id < 0)
        return 0;
    *pId = id;
    return 1;
}

int quomoHistoryNewestId(int64_t *pId, char *szError, size_t cbError)
{
    char szPath[QUOMO_PATH_LEN], szDir[QUOMO_PATH_LEN];
    bool missing = false;
    *pId = 0;
    orvCopy(szError, cbError, "");
    if (orvPath(szPath, sizeof szPath, QUOMO_HISTORY_PATH) &&
        orvPath(szDir, sizeof szDir, QUOMO_PACKAGE_DIR) && !directoryFault(szDir) &&
        !storeFault(szPath, &missing) && (missing || keptNewestId(szPath, pId)))
        return 1;
    QuomoHistory *h = quomoHistoryOpen(0, szError, cbError);
    if (!h)
        return szError[0] ? -1 : 1;
    QuomoRevision top;
    int have = newest(*h, top);
    quomoHistoryClose(h);
    if (have < 0)
        return -1;
    *pId = have > 0 ? top.id : 0;
    return 1;
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

