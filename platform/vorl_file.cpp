/*
 * Key/value and line files.
 *
 * Readers treat a missing file as empty, and read only regular files, never
 * through a symbolic link (orvOpenRead). Writers never change a file in
 * place: they write the new content to a hidden temporary file in the same
 * directory, flush it to disk and rename it over the old one, so a reader or
 * a crash sees either the old or the new file, never a half-written one.
 * Lines may be of any length.
 */
#include "vorl.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "orvath_common.h"

namespace {

/* A file opened for reading, or "empty" when it does not exist. */
struct Reader {
    FILE *fp = nullptr;
    char *line = nullptr;
    size_t cap = 0;
    ssize_t len = 0;

    ~Reader()
    {
        free(line);
        if (fp)
            fclose(fp);
    }
    /* 1 opened, 0 no such file, -1 error (logged): a link, a FIFO or a
     * device at path is not read (orvOpenRead). */
    int open(const char *path)
    {
        fp = orvFopenRead(path);
        if (fp)
            return 1;
        if (errno == ENOENT || errno == ENOTDIR)
            return 0;
        ORV_LOG("Failed to open [%s]: %s", path, strerror(errno));
        orvNoteFailure(path, errno);
        return -1;
    }
    /* 1 when a line was read (line/len, line end included), 0 at the end,
     * -1 on a read error (logged). */
    int next(const char *path)
    {
        if (!fp)
            return 0;
        len = getline(&line, &cap, fp);
        if (len >= 0)
            return 1;
        if (ferror(fp)) {
            int err = errno;
            ORV_LOG("Failed to read [%s]: %s", path, strerror(err));
            orvNoteFailure(path, err);
            return -1;
        }
        return 0;
    }
    /* Length of the current line without its line end ("\n" or "\r\n"). */
    size_t textLength() const
    {
        size_t n = (size_t)len;
        if (n > 0 && line[n - 1] == '\n')
            --n;
        if (n > 0 && line[n - 1] == '\r')
            --n;
        return n;
    }
};

/* The new content of a file, collected whole and then put in place by
 * orvReplaceFile: a symbolic link at the path is replaced itself, never
 * written through. */
struct Rewrite {
    std::string target; /* the file that is replaced */
    std::string data;
    bool lastWasNewline = true; /* nothing written, or last byte '\n' */

    int begin(const char *path)
    {
        target = path;
        data.clear();
        return 0;
    }
    void write(const char *text, size_t n)
    {
        if (n == 0)
            return;
        data.append(text, n);
        lastWasNewline = text[n - 1] == '\n';
    }
    void write(const std::string &text) { write(text.data(), text.size()); }
    /* Ends an unterminated last line so that appended text starts a line. */
    void endLine()
    {
        if (!lastWasNewline)
            write("\n", 1);
    }
    /* A new file gets the usual 0666 less the umask; an existing one keeps
     * its mode and owner. */
    int commit() { return orvReplaceFile(target.c_str(), data.data(), data.size(), 0666) ? 0 : -1; }
};

/* Opens the file for reading (a missing file reads as empty) and starts
 * writing its replacement. 0 on success, -1 on failure (logged). */
int beginRewrite(const char *path, Reader &in, Rewrite &out)
{
    if (in.open(path) < 0)
        return -1;
    return out.begin(path);
}

int badArgument(const char *function)
{
    ORV_LOG("Invalid argument to %s", function);
    VORLCErrSet(VORL_ERR_BAD_ARGUMENT);
    return -1;
}

bool hasLineBreak(const char *text) { return strpbrk(text, "\r\n") != nullptr; }

/* Length of text without one trailing "\n" or "\r\n". */
size_t withoutLineEnd(const char *text)
{
    size_t n = strlen(text);
    if (n > 0 && text[n - 1] == '\n')
        --n;
    if (n > 0 && text[n - 1] == '\r')
        --n;
    return n;
}

/* True when the line's text before its first '=' is exactly key. */
bool lineHasKey(const char *line, size_t len, const char *key, size_t keyLen)
{
    const char *eq = (const char *)memchr(line, '=', len);
    return eq && (size_t)(eq - line) == keyLen && memcmp(line, key, keyLen) == 0;
}

/* The line for key and value: szFormat with its first "%s" replaced by the
 * key and its second by the value ("%%" is a percent sign), or key=value.
 * Any other conversion is refused (false), so a format can never read
 * arguments that are not there. The line always ends in a newline. */
bool formatKeyLine(const char *szFormat, const char *key, const char *value, std::string &out)
{
    out.clear();
    if (!szFormat) {
        out = std::string(key) + "=" + value;
    } else {
        int used = 0;
        for (const char *p = szFormat; *p; ++p) {
            if (*p != '%') {
                out += *p;
            } else if (p[1] == '%') {
                out += '%';
                ++p;
            } else if (p[1] == 's' && used < 2) {
                out += used == 0 ? key : value;
                ++used;
                ++p;
            } else {
                return false;
            }
        }
        if (used != 2)
            return false;
    }
    if (out.empty() || out.back() != '\n')
        out += '\n';
    return true;
}

/* Copies text[0 .. len-1] into buf (cut to the buffer, logged when cut) and
 * returns the copied length + 1. */
int copyResult(char *buf, int cbBuf, const char *text, size_t len, const char *path)
{
    size_t room = (size_t)cbBuf - 1;
    if (len > room) {
        ORV_LOG("Text from [%s] cut to %d bytes", path, cbBuf - 1);
        len = room;
    }
    memcpy(buf, text, len);
    buf[len] = '\0';
    return (int)strlen(buf) + 1;
}

} // namespace

int VORLCFileGetKeyValue(const char *szPath, const char *szKey, char *szBuf, int cbBuf, int flags)
{
    (void)flags;
    if (!szPath || !szKey || !*szKey || !szBuf || cbBuf <= 0)
        return badArgument("VORLCFileGetKeyValue");
    Reader in;
    int rc = in.open(szPath);
    if (rc <= 0)
        return rc;
    size_t keyLen = strlen(szKey);
    while ((rc = in.next(szPath)) > 0) {
        size_t len = in.textLength();
        if (!lineHasKey(in.line, len, szKey, keyLen))
            continue;
        const char *value = in.line + keyLen + 1;
        size_t valueLen = len - keyLen - 1;
        if (valueLen >= 2 && value[0] == '"' && value[valueLen - 1] == '"') {
            ++value;
            valueLen -= 2;
        }
        return copyResult(szBuf, cbBuf, value, valueLen, szPath);
    }
    return rc;
}

int VORLCFileSetKeyValue(const char *szPath, const char *szKey, const char *szValue,
                         const char *szFormat)
{
    if (!szPath || !szKey || !*szKey || !szValue || strchr(szKey, '=') || hasLineBreak(szKey) ||
        hasLineBreak(szValue))
        return badArgument("VORLCFileSetKeyValue");
    std::string newLine;
    if (!formatKeyLine(szFormat, szKey, szValue, newLine))
        return badArgument("VORLCFileSetKeyValue");

    Reader in;
    Rewrite out;
    if (beginRewrite(szPath, in, out) != 0)
        return -1;
    size_t keyLen = strlen(szKey);
    bool replaced = false;
    int rc;
    while ((rc = in.next(szPath)) > 0) {
        if (!replaced && lineHasKey(in.line, in.textLength(), szKey, keyLen)) {
            out.write(newLine);
            replaced = true;
        } else {
            out.write(in.line, (size_t)in.len);
        }
    }
    if (rc < 0)
        return -1;
    if (!replaced) {
        out.endLine();
        out.write(newLine);
    }
    return out.commit() == 0 ? 1 : -1;
}

int VORLCFileGetLine(const char *szPath, const char *szText, char *szBuf, int cbBuf, int flags)
{
    (void)flags;
    if (!szPath || !szText || !szBuf || cbBuf <= 0)
        return badArgument("VORLCFileGetLine");
    Reader in;
    int rc = in.open(szPath);
    if (rc <= 0)
        return rc;
    while ((rc = in.next(szPath)) > 0) {
        size_t len = in.textLength();
        in.line[len] = '\0';
        if (strstr(in.line, szText))
            return copyResult(szBuf, cbBuf, in.line, len, szPath);
    }
    return rc;
}

int VORLCFileAddLine(const char *szPath, const char *szAnchor, const char *szLine, int flags)
{
    (void)flags;
    if (!szPath || szAnchor || !szLine)
        return badArgument("VORLCFileAddLine");
    size_t lineLen = withoutLineEnd(szLine);
    std::string line(szLine, lineLen);
    if (hasLineBreak(line.c_str()))
        return badArgument("VORLCFileAddLine");

    Reader in;
    Rewrite out;
    if (beginRewrite(szPath, in, out) != 0)
        return -1;
    if (in.fp) {
        char chunk[8192];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, in.fp)) > 0)
            out.write(chunk, n);
        if (ferror(in.fp)) {
            ORV_LOG("Failed to read [%s]: %s", szPath, strerror(errno));
            return -1;
        }
    }
    out.endLine();
    line += '\n';
    out.write(line);
    return out.commit() == 0 ? 1 : -1;
}

int VORLCFileRemoveLine(const char *szPath, const char *szLine)
{
    if (!szPath || !szLine)
        return badArgument("VORLCFileRemoveLine");
    size_t wantLen = withoutLineEnd(szLine);

    Reader in;
    int rc = in.open(szPath);
    if (rc <= 0)
        return rc;
    Rewrite out;
    if (out.begin(szPath) != 0)
        return -1;
    int removed = 0;
    while ((rc = in.next(szPath)) > 0) {
        size_t len = in.textLength();
        if (len == wantLen && memcmp(in.line, szLine, len) == 0 && removed < INT_MAX)
            ++removed;
        else
            out.write(in.line, (size_t)in.len);
    }
    if (rc < 0)
        return -1;
    if (removed == 0)
        return 0; /* unchanged: the temporary file is dropped */
    return out.commit() == 0 ? removed : -1;
}

int VORLCFileExist(const char *szPath)
{
    struct stat st;
    return szPath && stat(szPath, &st) == 0 ? 1 : 0;
}

int VORLCFileTouch(const char *szPath)
{
    if (!szPath)
        return badArgument("VORLCFileTouch");
    if (VORLCFileExist(szPath))
        return 0;
    /* O_EXCL: a dangling symbolic link is not followed to create its target. */
    int fd = open(szPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST)
        return 0;
    if (fd < 0) {
        ORV_LOG("Failed to create [%s]: %s", szPath, strerror(errno));
        return -1;
    }
    close(fd);
    return 0;
}
