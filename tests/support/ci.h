// Tests that need a tool of the machine (dnsmasq, busybox, network
// namespaces, ...) skip where it is missing, except under CI=1: there every
// tool must be present, and a test that would skip fails instead.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

inline bool ciRequiresEveryTool()
{
    const char *ci = getenv("CI");
    return ci && strcmp(ci, "1") == 0;
}

// Leaves the current test function (or SetUp): skipped with the reason, or
// failed under CI=1. Streams the reason like GTEST_SKIP().
#define SKIP_FOR_MISSING_TOOL()                                                                    \
    return ::testing::internal::AssertHelper(                                                      \
               ciRequiresEveryTool() ? ::testing::TestPartResult::kFatalFailure                    \
                                     : ::testing::TestPartResult::kSkip,                           \
               __FILE__, __LINE__, ciRequiresEveryTool() ? "CI=1 and a tool is missing" : "") =    \
        ::testing::Message()
