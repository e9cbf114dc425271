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

#endif /* QUOMODHCP_CONFIG_FILES_H */
