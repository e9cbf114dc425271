/*
 * A whole configuration as the history keeps it: the files the stores
 * declare they write (subnets, PXE, options, reservations, the subnets'
 * switches) and the "pxeenable" pseudo-file, by path under the root, in
 * path order. Shared by the history (history_store.cpp) and the requests'
 * changes (request_change.cpp).
 */
#ifndef QUOMODHCP_CONFIG_FILES_H
#define QUOMODHCP_CONFIG_FILES_H

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "quomodhcp.h"

struct QuomoConfig {
    std::vector<std::pair<std::string, std::string>> files;
};

/* An owned file as it lies on disk: what changes when anyone writes it. */
struct QuomoFileStamp {
    std::string path; /* under the root */
    int64_t size;
    int64_t mtime; /* nanoseconds */
    int64_t ino;
};

/* The union of what the stores declare: 1 when the system writes the file
 * at szRelPath (a path under the root, or the pseudo-file). */
bool quomoConfigOwns(const char *szRelPath);

/* Sorts the files by path, as every configuration is kept. */
void quomoConfigSort(QuomoConfig &config);
/* The owned files of /etc/dhcpd as they lie now, in path order, without
 * reading them; false when the directory cannot be listed. */
bool quomoConfigStamps(std::vector<QuomoFileStamp> &stamps);
/* The stamp of one owned file; false when it is no regular file. */
bool quomoConfigStampOf(const std::string &path, QuomoFileStamp &stamp);
/* The pseudo-file's content now: the "pxeenable" value; false when the key
 * is not set. */
bool quomoConfigPxeKey(std::string &value);

/* See QUOMODHCPConfigRead and the others of the history section of
 * quomodhcp.h. */
QuomoConfig *quomoConfigRead(void);
void quomoConfigFree(QuomoConfig *pConfig);
int quomoConfigCount(const QuomoConfig *pConfig);
int quomoConfigFile(const QuomoConfig *pConfig, int i, const char **pszPath, const char **ppData, size_t *pLen);
int quomoConfigFind(const QuomoConfig *pConfig, const char *szPath, const char **ppData, size_t *pLen);
int quomoConfigEqual(const QuomoConfig *pA, const QuomoConfig *pB);
void quomoConfigSummary(const QuomoConfig *pConfig, const char *szIfName, char *szBuf, size_t cbBuf);
int quomoConfigRestore(const QuomoConfig *pTarget, const char *szIfName, char *szWhy, size_t cbWhy);

#endif /* QUOMODHCP_CONFIG_FILES_H */
