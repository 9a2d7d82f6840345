// The page workers: a burst of waiting pages calls up a thread each; once
// idle for a while, the threads beyond the usual number end, and the pool
// still runs every page submitted afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/serve/workers.h"

namespace halvane::serve {
namespace {

using namespace std::chrono;

bool WaitFor(const std::function<bool()>& done, milliseconds limit) {
  for (const auto end = steady_clock::now() + limit; steady_clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return done();
}

TEST(Workers, ThreadsAboveTheUsualNumberEndWhenIdle) {
  Workers w(2, 16, milliseconds(100));
  std::atomic<int> ran{0};
  // Eight pages that wait without their slot: a thread each.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(w.TrySubmit([&] {
      w.WithoutSlot([] { std::this_thread::sleep_for(milliseconds(50)); });
      ++ran;
    }));
  }
  ASSERT_TRUE(w.WaitIdle(steady_clock::now() + seconds(5)));
  EXPECT_EQ(ran, 8);
  EXPECT_EQ(w.Threads(), 8u);
  EXPECT_TRUE(WaitFor([&] { return w.Threads() == 2; }, milliseconds(3000))) << w.Threads();
  // Never fewer than the usual number, and the pool goes on working.
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(w.Threads(), 2u);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(w.TrySubmit([&] { ++ran; }));
  ASSERT_TRUE(w.WaitIdle(steady_clock::now() + seconds(5)));
  EXPECT_EQ(ran, 12);
}

}  // namespace
}  // namespace halvane::serve
