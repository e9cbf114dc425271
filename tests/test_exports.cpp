// The library's interface: the header, the version script and the built
// library name the same functions.
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <initializer_list>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <stdio.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "quomodhcp.h"
#include "lib_test.h"
#include "sandbox.h"

[[maybe_unused]] static std::string infoName(const std::string &ifName, const std::string &tag)
{
    return "etc/dhcpd/dhcpd-" + ifName + "-" + tag + ".info";
}

[[maybe_unused]] static std::string numberedInfo(const std::string &ifName, int index)
{
    return infoName(ifName, ifName + std::to_string(index));
}

// ---- the library's interface ----

static std::set<std::string> namesIn(const std::string &file, const std::regex &pattern)
{
    std::ifstream in(std::string(ORVATH_SOURCE_DIR) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    std::set<std::string> names;
    std::string all = text.str();
    for (std::sregex_iterator m(all.begin(), all.end(), pattern), end; m != end; ++m)
        names.insert((*m)[1]);
    return names;
}

// The version script and the header name the same functions, and the built
// library exports each of them and none of its own helpers.
TEST(LibraryInterface, VersionScriptHeaderAndLibraryAgree)
{
    std::set<std::string> declared =
        namesIn("lib/quomodhcp.h", std::regex(R"(\nQUOMO_API [A-Za-z0-9_]+ \**([A-Za-z0-9_]+)\()"));
    std::set<std::string> listed = namesIn("lib/quomodhcp.map", std::regex(R"(\n +([A-Za-z0-9_]+);)"));
    EXPECT_EQ(86u, declared.size());
    EXPECT_EQ(declared, listed);

    std::string bin = ORVATH_BIN;
    std::string lib = bin.substr(0, bin.rfind('/')) + "/libquomodhcp.so.1";
    void *handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    for (const std::string &name : declared)
        EXPECT_NE(nullptr, dlsym(handle, name.c_str())) << name;
    for (const char *hidden : {"quomoSetSubnet", "quomoParseLeaseRecord", "quomoCommitPending"})
        EXPECT_EQ(nullptr, dlsym(handle, hidden)) << hidden;
    dlclose(handle);
}
