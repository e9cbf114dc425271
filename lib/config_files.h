/*
 * A whole configuration as the history keeps it: the files the system
 * writes under /etc/dhcpd and the "pxeenable" pseudo-file, by path under the
 * root, in path order. Shared by the snapshot (config_files.cpp) and the
 * store (history_store.cpp).
 */
#ifndef QUOMODHCP_CONFIG_FILES_H
#define QUOMODHCP_CONFIG_FILES_H

#include <string>
#include <utility>
#include <vector>

#include "quomodhcp.h"

struct QuomoConfig {
    std::vector<std::pair<std::string, std::string>> files;
};

/* Sorts the files by path, as every configuration is kept. */
void quomoConfigSort(QuomoConfig &config);

/* See QUOMODHCPConfigRead and the others of the history section of
 * quomodhcp.h. */
QuomoConfig *quomoConfigRead(void);
void quomoConfigFree(QuomoConfig *pConfig);
int quomoConfigCount(const QuomoConfig *pConfig);
int quomoConfigFile(const QuomoConfig *pConfig, int i, const char **pszPath, const char **ppData, size_t *pLen);
int quomoConfigFind(const QuomoConfig *pConfig, const char *szPath, const char **ppData, size_t *pLen);
int quomoConfigEqual(const QuomoConfig *pA, const QuomoConfig *pB);
void quomoConfigSummary(const QuomoConfig *pConfig, const char *szIfName, char *szBuf, size_t cbBuf);
int quomoConfigRestore(const QuomoConfig *pTarget);

#endif /* QUOMODHCP_CONFIG_FILES_H */
