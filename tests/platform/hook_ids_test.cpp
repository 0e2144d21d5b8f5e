#include <gtest/gtest.h>

#include "platform/event.h"
#include "platform/hook.h"
#include "platform/runtime_error.h"

namespace {

TEST(HookIds, IdsCountFromOneAndTheTwoHundredFiftySixthIsARuntimeError) {
  int first = AllocHookId();
  EXPECT_GE(first, 1);
  int last = first;
  for (int id = first + 1; id <= 255; ++id) {
    last = AllocHookId();
    EXPECT_EQ(last, id);
  }
  EXPECT_EQ(last, 255);
  try {
    AllocHookId();
    FAIL() << "no error after id 255";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "Too many hook ids");
  }
  EXPECT_THROW(AllocHookId(), TRuntimeError);  // stays exhausted
}

}  // namespace
