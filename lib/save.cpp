/*
 * The one save step (see save.h).
 */
#include "save.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <set>
#include <unordered_map>

#include "orvath_common.h"
#include "quomodhcp.h"
#include "quomodhcp_paths.h"

namespace {

struct Change {
    bool open = false;
    bool journaled = false;
    QuomoStagedList staged;
    /* Where each path stands in staged: a request stages hundreds. */
    std::unordered_map<std::string, size_t> index;
};

Change g_change;

const char kJournalMagic[] = "orvath change 1\n";

} // namespace

/* ---- the open change ---- */

int quomoChangeOpen(void)
{
    if (g_change.open)
        return 0;
    g_change = Change();
    g_change.open = true;
    return 1;
}

bool quomoChangeIsOpen(void) { return g_change.open; }

QuomoStagedList &quomoChangeStaged(void) { return g_change.staged; }

static void removeTemporaries(QuomoStagedList &staged)
{
    for (QuomoStaged &s : staged) {
        orvAbandonReplace(s.temp.c_str());
        s.temp.clear();
    }
}

void quomoChangeAbandon(void)
{
    removeTemporaries(g_change.staged);
    g_change = Change();
}

static QuomoStaged *findStaged(const char *szPath)
{
    if (!g_change.open)
        return NULL;
    auto it = g_change.index.find(szPath);
    return it == g_change.index.end() ? NULL : &g_change.staged[it->second];
}

std::string quomoRelativePath(const std::string &path)
{
    size_t rootLen = strlen(orvRoot());
    size_t at = path.compare(0, rootLen, orvRoot()) == 0 ? rootLen : 0;
    while (at < path.size() && path[at] == '/')
        ++at;
    return path.substr(at);
}

/* A new entry for szPath with the file's content before the change; the
 * error when it cannot be read, else 0. */
static int readBefore(const char *szPath, QuomoStaged &s)
{
    s.path = szPath;
    s.remove = false;
    s.kept = false;
    int read = orvReadFile(szPath, s.before);
    if (read < 0 && errno != ELOOP && errno != EINVAL && errno != EISDIR)
        return errno ? errno : EIO;
    s.hadBefore = read > 0;
    s.beforeKnown = true;
    return 0;
}

static void noteUnreadable(const char *szPath, int err)
{
    ORV_LOG("Cannot read %s: %s", szPath, strerror(err));
    orvNoteFailure(szPath, err);
}

static QuomoStaged *addStaged(QuomoStaged &&s)
{
    g_change.index.emplace(s.path, g_change.staged.size());
    g_change.staged.push_back(std::move(s));
    return &g_change.staged.back();
}

/* The entry of szPath in the open change, made with the file's content
 * before the change when it is new. */
static QuomoStaged *stagedEntry(const char *szPath)
{
    if (QuomoStaged *s = findStaged(szPath))
        return s;
    QuomoStaged s;
    if (int err = readBefore(szPath, s)) {
        noteUnreadable(szPath, err);
        return NULL;
    }
    return addStaged(std::move(s));
}

/* The file holds exactly data[0 .. len-1] (a regular file, read when it was
 * first staged). */
static bool holds(const QuomoStaged &s, const char *data, size_t len)
{
    return s.beforeKnown && s.hadBefore && s.before.size() == len &&
           (len == 0 || memcmp(s.before.data(), data, len) == 0);
}

/* Sets the staged entry's new content: a temporary holds it unless the file
 * holds it already. */
static void setStaged(QuomoStaged &s, const char *szTemp, const char *data, size_t len,
                      std::string *pOwned)
{
    orvAbandonReplace(s.temp.c_str());
    s.temp = szTemp;
    s.kept = !szTemp[0];
    if (pOwned)
        s.data = std::move(*pOwned); /* data lies in it */
    else
        s.data.assign(data ? data : "", len);
    s.remove = false;
    s.record.clear();
    s.recordData.clear();
    s.recordOwn = false;
}

static bool isDirectory(const char *szPath)
{
    struct stat st;
    return lstat(szPath, &st) == 0 && S_ISDIR(st.st_mode);
}

/* quomoStageFile; pOwned, when given, holds data and is taken over. */
static int stageContent(const char *szPath, const char *data, size_t len, std::string *pOwned)
{
    QuomoChangeScope scope;
    QuomoStaged fresh;
    QuomoStaged *s = findStaged(szPath);
    int unreadable = s ? 0 : readBefore(szPath, fresh);
    /* Of a file that cannot be read, a temporary that cannot be made is told
     * first. */
    char szTemp[QUOMO_TEMP_PATH_LEN] = "";
    if ((unreadable || !holds(s ? *s : fresh, data, len)) &&
        !orvPrepareReplace(szPath, data, len, 0666, szTemp, sizeof szTemp)) {
        ORV_LOG("Failed to open file [%s].", szPath);
        return scope.commit(0);
    }
    if (unreadable) {
        orvAbandonReplace(szTemp);
        noteUnreadable(szPath, unreadable);
        return scope.commit(0);
    }
    setStaged(s ? *s : *addStaged(std::move(fresh)), szTemp, data, len, pOwned);
    return scope.commit(1);
}

int quomoStageFile(const char *szPath, const char *data, size_t len)
{
    return stageContent(szPath, data, len, NULL);
}

int quomoStageText(const char *szPath, std::string &&text)
{
    return stageContent(szPath, text.data(), text.size(), &text);
}

int quomoStageRemove(const char *szPath)
{
    QuomoChangeScope scope;
    if (isDirectory(szPath)) {
        ORV_LOG("Failed to remove [%s]: %s", szPath, strerror(EISDIR));
        orvNoteFailure(szPath, EISDIR);
        return scope.commit(0);
    }
    QuomoStaged *s = stagedEntry(szPath);
    if (!s)
        return scope.commit(0);
    orvAbandonReplace(s->temp.c_str());
    s->temp.clear();
    s->data.clear();
    s->remove = true;
    s->kept = false;
    s->record.clear();
    s->recordData.clear();
    s->recordOwn = false;
    return scope.commit(1);
}

/* The text with the line key="value" set. */
static std::string withKey(const std::string &text, const char *szKey, const char *szValue)
{
    char szLine[QUOMO_PATH_LEN];
    orvFormat(szLine, sizeof szLine, QUOMO_INFO_FORMAT, szKey, szValue);
    std::string out;
    bool set = false;
    size_t keyLen = strlen(szKey);
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        if (!set && text.compare(at, keyLen, szKey) == 0 && text.compare(at + keyLen, 1, "=") == 0) {
            out += szLine;
            set = true;
        } else {
            out.append(text, at, end - at);
            if (nl == std::string::npos)
                out += '\n';
        }
        at = end;
    }
    if (!set)
        out += szLine;
    return out;
}

int quomoStageKey(const char *szPath, const char *szKey, const char *szValue)
{
    std::string text;
    if (quomoStagedRead(szPath, text) < 0) {
        ORV_LOG("Cannot read %s: %s", szPath, strerror(errno));
        orvNoteFailure(szPath, errno);
        return 0;
    }
    std::string out = withKey(text, szKey, szValue);
    return quomoStageFile(szPath, out.data(), out.size());
}

void quomoStageRecordAs(const char *szPath, const char *szRecord, const std::string &data)
{
    if (QuomoStaged *s = findStaged(szPath)) {
        s->record = szRecord;
        s->recordData = data;
        s->recordOwn = true;
    }
}

/* ---- reading through the change ---- */

int quomoStagedExists(const char *szPath)
{
    if (const QuomoStaged *s = findStaged(szPath))
        return !s->remove;
    struct stat st;
    return lstat(szPath, &st) == 0 && S_ISREG(st.st_mode);
}

int quomoStagedRef(const char *szPath, std::string &buffer, const std::string **ppText)
{
    if (const QuomoStaged *s = findStaged(szPath)) {
        buffer.clear();
        *ppText = s->remove ? &buffer : &s->data;
        return !s->remove;
    }
    *ppText = &buffer;
    return orvReadFile(szPath, buffer);
}

int quomoStagedRead(const char *szPath, std::string &out)
{
    if (const QuomoStaged *s = findStaged(szPath)) {
        if (s->remove)
            out.clear();
        else
            out = s->data; /* one copy, no temporary */
        return !s->remove;
    }
    return orvReadFile(szPath, out);
}

/* ---- the journal ---- */

static int journalPath(char *szPath, size_t cbPath)
{
    return orvPath(szPath, cbPath, QUOMO_JOURNAL_PATH);
}

/* The journal as pieces written one after another: "<name> <length>\n
 * <bytes>\n" per item, the bytes of the contents being the staged strings
 * themselves, not copies (a change may hold megabytes). */
class JournalPieces {
public:
    JournalPieces() { pieces_.push_back(OrvPiece{kJournalMagic, sizeof kJournalMagic - 1}); }

    /* text must outlive the pieces. */
    void put(const char *szName, const std::string &text)
    {
        texts_.push_back(std::string(szName) + ' ' + std::to_string(text.size()) + '\n');
        pieces_.push_back(OrvPiece{texts_.back().data(), texts_.back().size()});
        pieces_.push_back(OrvPiece{text.data(), text.size()});
        pieces_.push_back(OrvPiece{"\n", 1});
    }
    void putCopy(const char *szName, const std::string &text)
    {
        texts_.push_back(text);
        put(szName, texts_.back());
    }
    const std::vector<OrvPiece> &end()
    {
        pieces_.push_back(OrvPiece{"end\n", 4});
        return pieces_;
    }

private:
    std::deque<std::string> texts_; /* a deque: what it holds stays put */
    std::vector<OrvPiece> pieces_;
};

static const std::vector<OrvPiece> &journalPieces(JournalPieces &out, const QuomoChangeMeta &meta,
                                                  const QuomoStagedList &staged)
{
    static const std::string none;
    out.put("token", meta.token);
    out.putCopy("time", std::to_string(meta.time));
    out.put("user", meta.user);
    out.put("addr", meta.addr);
    out.put("action", meta.action);
    out.put("iftype", meta.ifName);
    out.putCopy("revertof", std::to_string(meta.revertOf));
    for (const QuomoStaged &s : staged) {
        out.putCopy(s.remove ? "remove" : "write", quomoRelativePath(s.path));
        out.put("data", s.data);
        out.put("record", s.record);
        out.put("recorddata", s.record.empty() ? none : quomoRecordedData(s));
    }
    return out.end();
}

/* Reads one "<name> <length>\n<bytes>\n" item at *at. */
static bool takeText(const std::string &in, size_t &at, std::string &name, std::string &text)
{
    size_t space = in.find(' ', at);
    size_t nl = in.find('\n', at);
    if (space == std::string::npos || nl == std::string::npos || space > nl)
        return false;
    name = in.substr(at, space - at);
    std::string digits = in.substr(space + 1, nl - space - 1);
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    size_t len = (size_t)strtoull(digits.c_str(), NULL, 10);
    if (len > in.size() - nl - 1 || in.size() - nl - 1 - len < 1 || in[nl + 1 + len] != '\n')
        return false;
    text = in.substr(nl + 1, len);
    at = nl + 2 + len;
    return true;
}

static bool expectText(const std::string &in, size_t &at, const char *szName, std::string &text)
{
    std::string name;
    return takeText(in, at, name, text) && name == szName;
}

/* A journal's path names a file under etc/ and never leaves it. */
static bool journalPathUsable(const std::string &path)
{
    return path.compare(0, 4, "etc/") == 0 && path.find("/../") == std::string::npos &&
           path.find("/./") == std::string::npos && path.find('\0') == std::string::npos &&
           path.back() != '/';
}

static bool parseJournal(const std::string &in, QuomoChangeMeta &meta, QuomoStagedList &staged)
{
    if (in.compare(0, sizeof kJournalMagic - 1, kJournalMagic) != 0)
        return false;
    size_t at = sizeof kJournalMagic - 1;
    std::string time, revertOf;
    if (!expectText(in, at, "token", meta.token) || !expectText(in, at, "time", time) ||
        !expectText(in, at, "user", meta.user) || !expectText(in, at, "addr", meta.addr) ||
        !expectText(in, at, "action", meta.action) || !expectText(in, at, "iftype", meta.ifName) ||
        !expectText(in, at, "revertof", revertOf))
        return false;
    meta.time = strtoll(time.c_str(), NULL, 10);
    meta.revertOf = strtoll(revertOf.c_str(), NULL, 10);
    while (in.compare(at, std::string::npos, "end\n") != 0) {
        QuomoStaged s;
        std::string kind, path;
        char szPath[QUOMO_PATH_LEN];
        if (!takeText(in, at, kind, path) || (kind != "write" && kind != "remove") ||
            !journalPathUsable(path) || !orvPath(szPath, sizeof szPath, "/%s", path.c_str()) ||
            !expectText(in, at, "data", s.data) || !expectText(in, at, "record", s.record) ||
            !expectText(in, at, "recorddata", s.recordData))
            return false;
        s.path = szPath;
        s.remove = kind == "remove";
        s.kept = false;
        s.beforeKnown = false;
        s.hadBefore = false;
        s.recordOwn = true;
        staged.push_back(std::move(s));
    }
    return true;
}

static int writeJournal(const QuomoChangeMeta &meta, const QuomoStagedList &staged)
{
    char szPath[QUOMO_PATH_LEN];
    if (!journalPath(szPath, sizeof szPath)) {
        orvNoteFailure(szPath, ENAMETOOLONG);
        return 0;
    }
    JournalPieces journal;
    const std::vector<OrvPiece> &pieces = journalPieces(journal, meta, staged);
    return orvReplaceFilePieces(szPath, pieces.data(), pieces.size(), 0600) && orvSyncDir(szPath);
}

int quomoJournalPending(void)
{
    char szPath[QUOMO_PATH_LEN];
    struct stat st;
    return journalPath(szPath, sizeof szPath) && lstat(szPath, &st) == 0;
}

void quomoJournalDiscard(void)
{
    char szPath[QUOMO_PATH_LEN];
    if (journalPath(szPath, sizeof szPath) && unlink(szPath) == 0)
        orvSyncDir(szPath);
}

/* ---- commit ---- */

/* The entry changes the disk: not a kept file, nor the removal of one that
 * was not there. */
static bool alters(const QuomoStaged &s)
{
    return !s.kept && !(s.remove && s.beforeKnown && !s.hadBefore);
}

static bool anyAlters(const QuomoStagedList &staged)
{
    for (const QuomoStaged &s : staged) {
        if (alters(s))
            return true;
    }
    return false;
}

/* Syncs the directories of the entries that change the disk. */
static int syncDirsOf(const QuomoStagedList &staged)
{
    std::set<std::string> dirs;
    for (const QuomoStaged &s : staged)
        if (alters(s))
            dirs.insert(s.path.substr(0, s.path.rfind('/') + 1) + ".");
    int ok = 1;
    for (const std::string &dir : dirs)
        ok = orvSyncDir(dir.c_str()) && ok;
    return ok;
}

static int applyOne(QuomoStaged &s)
{
    if (s.kept)
        return 1;
    if (s.remove) {
        if (unlink(s.path.c_str()) == 0 || errno == ENOENT)
            return 1;
        int err = errno;
        ORV_LOG("Failed to remove [%s]: %s", s.path.c_str(), strerror(err));
        orvNoteFailure(s.path.c_str(), err);
        return 0;
    }
    int ok = orvCommitReplace(s.temp.c_str(), s.path.c_str());
    s.temp.clear();
    return ok;
}

/* Puts back the files of staged[0 .. count-1] as they were before. */
static void putBack(QuomoStagedList &staged, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const QuomoStaged &s = staged[i];
        if (s.kept)
            continue;
        bool ok = s.hadBefore ? orvReplaceFile(s.path.c_str(), s.before.data(), s.before.size(), 0666)
                              : (unlink(s.path.c_str()) == 0 || errno == ENOENT);
        if (!ok)
            ORV_LOG("Could not put back %s", s.path.c_str());
    }
}

int quomoChangeCommit(const QuomoChangeMeta *meta)
{
    if (!g_change.open)
        return 1;
    QuomoStagedList &staged = g_change.staged;
    if (meta && anyAlters(staged)) {
        if (!writeJournal(*meta, staged)) {
            quomoChangeAbandon();
            return 0;
        }
        g_change.journaled = true;
    }
    size_t done = 0;
    while (done < staged.size() && applyOne(staged[done]))
        ++done;
    if (done < staged.size()) {
        removeTemporaries(staged);
        putBack(staged, done);
        syncDirsOf(staged);
        if (g_change.journaled)
            quomoJournalDiscard();
        g_change = Change();
        return 0;
    }
    if (!syncDirsOf(staged)) {
        /* Every file is in place; only its durability is in doubt, and the
         * journal stays to redo it after a crash. */
        g_change = Change();
        return 0;
    }
    return 1;
}

void quomoChangeClose(void)
{
    if (g_change.journaled)
        quomoJournalDiscard();
    removeTemporaries(g_change.staged);
    g_change = Change();
}

/* ---- after a crash ---- */

int quomoJournalRollForward(QuomoChangeMeta &meta, QuomoStagedList &staged)
{
    char szPath[QUOMO_PATH_LEN];
    std::string text;
    if (!journalPath(szPath, sizeof szPath))
        return 0;
    int read = orvReadFile(szPath, text);
    if (read == 0)
        return 0;
    staged.clear();
    if (read < 0 || !parseJournal(text, meta, staged)) {
        /* Written whole before the first rename, or not at all: one that
         * cannot be read never began its renames. */
        ORV_LOG("Dropped an unreadable change journal %s", szPath);
        quomoJournalDiscard();
        staged.clear();
        return 0;
    }
    for (QuomoStaged &s : staged) {
        int ok = s.remove ? (unlink(s.path.c_str()) == 0 || errno == ENOENT)
                          : orvReplaceFile(s.path.c_str(), s.data.data(), s.data.size(), 0666);
        if (!ok) {
            ORV_LOG("Cannot finish the interrupted change at %s: %s", s.path.c_str(), strerror(errno));
            orvNoteFailure(s.path.c_str(), errno ? errno : EIO);
            return -1;
        }
    }
    if (!syncDirsOf(staged))
        return -1;
    ORV_LOG("Finished the change of %s (%s) that a killed request left", meta.action.c_str(),
            meta.user.c_str());
    return 1;
}

/* ---- files ---- */

int quomoReplace(const char *szPath, const char *data, size_t len)
{
    QuomoChangeScope scope;
    return scope.commit(quomoStageFile(szPath, data, len));
}

int quomoRemoveFile(const char *szPath)
{
    QuomoChangeScope scope;
    return scope.commit(quomoStageRemove(szPath));
}

int quomoMakeDhcpdDir(void)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, QUOMO_DHCPD_DIR)) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        orvNoteFailure(szDir, ENAMETOOLONG);
        return 0;
    }
    /* mkdir(2) of a directory that exists is one failing system call: cheap
     * enough to make sure of it before every file. */
    if (!orvMakeDirs(szDir, 0755)) {
        ORV_LOG("Failed to mkdir [%s]", szDir);
        return 0;
    }
    return 1;
}

/* Removes the temporaries in the directory dir (under the root) of the file
 * named base (NULL: of any file); returns how many. */
static int removeTemporariesIn(const char *dir, const char *base)
{
    char szDir[QUOMO_PATH_LEN];
    if (!orvPath(szDir, sizeof szDir, "%s", dir))
        return 0;
    DIR *d = opendir(szDir);
    if (!d)
        return 0;
    int removed = 0;
    while (struct dirent *e = readdir(d)) {
        if (!orvIsReplaceTemporary(e->d_name, base))
            continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (unlinkat(dirfd(d), e->d_name, 0) == 0)
            ++removed;
        else
            ORV_LOG("Failed to remove [%s/%s]: %s", szDir, e->d_name, strerror(errno));
    }
    closedir(d);
    return removed;
}

int quomoRemoveStaleTemporaries(void)
{
    /* In /etc only the library's own file: the directory is the system's.
     * Beside the status file the lease log's writers tidy their own under
     * the log's lock. */
    return removeTemporariesIn(QUOMO_DHCPD_DIR, NULL) +
           removeTemporariesIn(QUOMO_ETC_DIR, QUOMO_APPLIANCE_CONF_NAME) +
           removeTemporariesIn(QUOMO_PACKAGE_ETC, QUOMO_SERVICE_STATUS_NAME) +
           removeTemporariesIn(QUOMO_PRIVATE_DIR, QUOMO_JOURNAL_NAME);
}

/* Syncs the directory (under the root) when it exists. */
static int syncIfPresent(const char *dir)
{
    char szDir[QUOMO_PATH_LEN];
    char szEntry[QUOMO_PATH_LEN];
    struct stat st;
    if (!orvPath(szDir, sizeof szDir, "%s", dir) || stat(szDir, &st) != 0 || !S_ISDIR(st.st_mode))
        return 1;
    /* orvSyncDir takes a path inside the directory. */
    return orvFormat(szEntry, sizeof szEntry, "%s/.", szDir) ? orvSyncDir(szEntry) : 0;
}

int quomoSyncSave(void)
{
    int ok = syncIfPresent(QUOMO_DHCPD_DIR);
    return syncIfPresent(QUOMO_ETC_DIR) && ok;
}
