#include "platform/appstub.h"

#include <cstdio>

#include "platform/runtime_error.h"

int AppStubMain(int, char**, void (*body)()) {
  try {
    body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Unhandled runtime error: %s\n", e.what());
    return 1;
  }
  return 0;
}
