#include "platform/hook.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TTrace : TObject {
  std::string order;
};

struct TName : TObject {
  explicit TName(char c) : name(c) {}
  char name;
};

Ref<TTrace> trace;

Ref<TObject> Record(int, Ref<TObject> data, Ref<TObject> context) {
  trace->order += std::static_pointer_cast<TName>(context)->name;
  return data;
}

Ref<TObject> Swallow(int, Ref<TObject>, Ref<TObject>) { return nullptr; }

Ref<TObject> Replace(int, Ref<TObject>, Ref<TObject> context) { return context; }

Ref<TName> Name(char c) { return std::make_shared<TName>(c); }

class HookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trace = std::make_shared<TTrace>();
    id = AllocHookId();
  }
  void TearDown() override { trace.reset(); }
  int id = 0;
};

TEST_F(HookTest, HooksRunByDescendingPriorityAndInAdditionOrderAmongEquals) {
  auto a = Name('A'), b = Name('B'), c = Name('C'), d = Name('D'), e = Name('E');
  AddHook(id, &Record, a, 0);
  AddHook(id, &Record, b, 0);
  AddHook(id, &Record, c, 5);
  AddHook(id, &Record, d, -10000);
  AddHook(id, &Record, e, 0);
  RunHooks(id, trace);
  EXPECT_EQ(trace->order, "CABED");
}

TEST_F(HookTest, EachHookSeesWhatThePreviousReturnedSoOneCanSwallowTheData) {
  auto seen = Name('x');
  AddHook(id, &Record, Name('1'), 10);
  AddHook(id, &Swallow, nullptr, 5);
  AddHook(id, &Record, Name('2'), 0);  // still runs, but with null data
  EXPECT_EQ(RunHooks(id, seen), nullptr);
  EXPECT_EQ(trace->order, "12");

  int other = AllocHookId();
  auto replacement = Name('r');
  AddHook(other, &Replace, replacement, 0);
  EXPECT_EQ(RunHooks(other, seen), replacement);
  EXPECT_EQ(RunHooks(AllocHookId(), seen), seen);  // empty list: data unchanged
}

TEST_F(HookTest, RemoveTakesOnlyTheFirstHookWithTheSameFunctionAndContext) {
  auto a = Name('A'), b = Name('B');
  AddHook(id, &Record, a, 0);
  AddHook(id, &Record, b, 0);
  AddHook(id, &Record, a, 0);
  RemoveHook(id, &Record, a);
  RemoveHook(id, &Swallow, b);  // wrong function: nothing removed
  RemoveHook(id, &Record, Name('A'));  // equal name, other object: nothing removed
  RunHooks(id, trace);
  EXPECT_EQ(trace->order, "BA");
}

// Hooks that remove themselves or a later hook while the list runs.
Ref<TName> victim;

Ref<TObject> RemoveSelf(int id, Ref<TObject> data, Ref<TObject> context) {
  trace->order += 'S';
  RemoveHook(id, &RemoveSelf, context);
  return data;
}

Ref<TObject> RemoveVictim(int id, Ref<TObject> data, Ref<TObject>) {
  trace->order += 'V';
  RemoveHook(id, &Record, victim);
  victim.reset();  // the list held the last other reference
  return data;
}

TEST_F(HookTest, AHookMayRemoveItselfOrALaterHookWhileTheListRuns) {
  AddHook(id, &Record, Name('A'), 3);
  AddHook(id, &RemoveSelf, nullptr, 2);
  AddHook(id, &Record, Name('B'), 1);
  RunHooks(id, trace);
  RunHooks(id, trace);
  EXPECT_EQ(trace->order, "ASBAB");

  trace->order.clear();
  int other = AllocHookId();
  victim = Name('X');
  AddHook(other, &RemoveVictim, nullptr, 5);
  AddHook(other, &Record, victim, 4);
  AddHook(other, &Record, Name('C'), 3);
  RunHooks(other, trace);
  EXPECT_EQ(trace->order, "VC");
}

TEST_F(HookTest, InvalidIdsAreIgnored) {
  auto data = Name('d');
  AddHook(0, &Record, Name('Z'), 0);
  AddHook(300, &Record, Name('Z'), 0);
  EXPECT_EQ(RunHooks(0, data), data);
  EXPECT_EQ(RunHooks(-1, data), data);
  EXPECT_EQ(RunHooks(256, data), data);
  RemoveHook(1000, &Record, nullptr);
  EXPECT_EQ(trace->order, "");
}

}  // namespace
