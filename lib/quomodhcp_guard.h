/*
 * Owners for what the library's sources acquire: a string list or an open
 * file is released at whichever exit its function takes. Not exported.
 */
#ifndef QUOMODHCP_GUARD_H
#define QUOMODHCP_GUARD_H

#include <stdio.h>

#include "quomodhcp_internal.h"
#include "vorl.h"

/* A string list from quomoListAlloc, freed when the owner goes. Test with
 * ok(): allocation may have failed (already logged). */
class QuomoList {
public:
    QuomoList() : list_(quomoListAlloc()) {}
    ~QuomoList() { VORLCSzListFree(list_); }
    QuomoList(const QuomoList &) = delete;
    QuomoList &operator=(const QuomoList &) = delete;

    bool ok() const { return list_ != NULL; }
    /* For the splitters, which fill (and may replace) the list. */
    PVORL_SZLIST *out() { return &list_; }
    const char *get(int i) const { return VORLCSzListGet(list_, i); }

private:
    PVORL_SZLIST list_;
};

/* A FILE * closed when the owner goes. A file that was written is closed
 * with close(), whose result says whether everything reached it. */
class QuomoFile {
public:
    explicit QuomoFile(FILE *fp = NULL) : fp_(fp) {}
    ~QuomoFile()
    {
        if (fp_)
            fclose(fp_);
    }
    QuomoFile(const QuomoFile &) = delete;
    QuomoFile &operator=(const QuomoFile &) = delete;

    FILE *get() const { return fp_; }
    explicit operator bool() const { return fp_ != NULL; }
    /* Closes now: 0, or EOF when buffered data could not be written. */
    int close()
    {
        FILE *fp = fp_;
        fp_ = NULL;
        return fp ? fclose(fp) : 0;
    }

private:
    FILE *fp_;
};

#endif /* QUOMODHCP_GUARD_H */
