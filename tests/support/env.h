// Where the tests find their inputs and whether an X display is there.
#pragma once
#include <string>

#include <gtest/gtest.h>

// The source tree (tests read committed files from it) and the public corpora
// beside the repository ($TESS_TESTDATA overrides; empty when absent).
std::string SourceDir();
std::string TestDataDir();
// True when $DISPLAY names an X server that accepts a connection.
bool DisplayAvailable();

#define TESS_REQUIRE_DISPLAY()                                                   \
  do {                                                                           \
    if (!DisplayAvailable()) GTEST_SKIP() << "no X display (run under xvfb-run)"; \
  } while (0)

#define TESS_REQUIRE_TESTDATA(sub)                                                  \
  do {                                                                              \
    if (TestDataDir().empty()) GTEST_SKIP() << "test corpora folder not found: " sub; \
  } while (0)
