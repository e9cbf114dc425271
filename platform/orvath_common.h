/*
 * Helpers shared by the library, the platform layer and the programs:
 * logging, bounded text, and the file-system root.
 */
#ifndef ORVATH_COMMON_H
#define ORVATH_COMMON_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Logs at LOG_ERR. Use ORV_LOG, which prefixes "<source file>:<line> ".
 * With ORVATH_LOG_STDERR=1 in the environment the line also goes to stderr. */
void orvLogf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
const char *orvBaseName(const char *path);
#define ORV_LOG(fmt, ...) orvLogf("%s:%d " fmt, orvBaseName(__FILE__), __LINE__, ##__VA_ARGS__)

/* snprintf into buf; always NUL-terminated. False when the text was cut
 * (or buf is unusable). */
int orvFormat(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
/* Copies src (NULL: "") into buf, cut to size-1 characters, NUL-terminated.
 * False when the text was cut. */
int orvCopy(char *buf, size_t size, const char *src);

/* The root under which every file of the system lies: ORVATH_ROOT, or "" for
 * "/" when unset or empty. A trailing "/" is dropped. */
const char *orvRoot(void);
/* Formats an absolute path (fmt begins with "/") under the root into buf.
 * False when it did not fit. */
int orvPath(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

#ifdef __cplusplus
}
#endif

#endif /* ORVATH_COMMON_H */
