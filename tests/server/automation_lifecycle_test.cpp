// Reference counting and the counts behind DllCanUnloadNow.
#include <gtest/gtest.h>

#include <vector>

#include "automation_support.h"

namespace halvane::automation {
namespace {

using testing::Create;
using testing::Let;
using testing::Method;
using testing::Text;

TEST(AutomationLifecycle, ReferenceCountsReturnToZero) {
  const std::uint32_t base = LiveObjectCount();
  {
    ObjectPtr a = Create("Halvane.Tree");
    EXPECT_EQ(LiveObjectCount(), base + 1);
    EXPECT_EQ(a->AddRef(), 2u);
    EXPECT_EQ(a->AddRef(), 3u);
    EXPECT_EQ(a->Release(), 2u);
    EXPECT_EQ(a->Release(), 1u);
    ObjectPtr b = a;  // copy adds a reference
    EXPECT_EQ(a->AddRef(), 3u);
    EXPECT_EQ(a->Release(), 2u);
    ObjectPtr c = std::move(b);  // move keeps the count
    EXPECT_FALSE(b);
    EXPECT_EQ(c->AddRef(), 3u);
    EXPECT_EQ(c->Release(), 2u);
    EXPECT_EQ(LiveObjectCount(), base + 1);
  }
  EXPECT_EQ(LiveObjectCount(), base);

  // One of every class, released by hand; the last Release frees each.
  std::vector<Object*> raw;
  for (const ClassInfo& c : Classes()) {
    ObjectPtr p = Create(c.prog_id);
    raw.push_back(p.release());
  }
  EXPECT_EQ(LiveObjectCount(), base + Classes().size());
  for (Object* o : raw) EXPECT_EQ(o->Release(), 0u);
  EXPECT_EQ(LiveObjectCount(), base);

  // A failed creation leaves nothing alive.
  ObjectPtr none;
  EXPECT_EQ(CreateObject("Halvane.Nothing", none), kClassENotAvailable);
  EXPECT_EQ(LiveObjectCount(), base);
}

TEST(AutomationLifecycle, ServerLocksAreCounted) {
  const std::uint32_t base = LockCount();
  LockServer(true);
  LockServer(true);
  EXPECT_EQ(LockCount(), base + 2);
  LockServer(false);
  LockServer(false);
  EXPECT_EQ(LockCount(), base);
  // An unlock without a lock does not wrap the count around.
  if (base == 0) {
    LockServer(false);
    EXPECT_EQ(LockCount(), 0u);
  }
}

TEST(AutomationLifecycle, ObjectsOfOneClassAreIndependent) {
  ObjectPtr a = Create("Halvane.Tree");
  ObjectPtr b = Create("Halvane.Tree");
  const std::string first = Text(Method(*a, "WriteMenuFooter"));
  // Each object emits its own page script once.
  EXPECT_EQ(Text(Method(*b, "WriteMenuFooter")), first);
  EXPECT_NE(Text(Method(*a, "WriteMenuFooter")), first);
  ASSERT_EQ(Let(*a, "Width", Variant("100")).hr, kOk);
  EXPECT_EQ(Text(testing::Get(*b, "Width")), Text(testing::Get(*Create("Halvane.Tree"), "Width")));
}

}  // namespace
}  // namespace halvane::automation
