#include "include/arrays.h"

#include <gtest/gtest.h>

#include <csignal>

namespace quendal {
namespace {

TEST(Arrays, OneBasedWithFirstIndexFastest) {
  Array2<int> a(3, 2);
  int n = 0;
  for (int j = 1; j <= 2; ++j)
    for (int i = 1; i <= 3; ++i) a(i, j) = n++;
  for (int k = 0; k < 6; ++k) EXPECT_EQ(a.data()[k], k);

  Array3<int> b(4, 3, 2);
  b(2, 3, 2) = 7;
  // offset = (2-1) + 4*((3-1) + 3*(2-1)) = 1 + 4*5 = 21
  EXPECT_EQ(b.data()[21], 7);
  EXPECT_EQ(b.extent(1), 4);
  EXPECT_EQ(b.upper(3), 2);
}

TEST(Arrays, CustomLowerBounds) {
  Array1<double> v(0, 5, -1.0);
  EXPECT_EQ(v.size(), 6);
  v(0) = 3.0;
  EXPECT_EQ(v.data()[0], 3.0);
  EXPECT_EQ(v(5), -1.0);

  Array2<int> counts;
  counts.resize_range(0, 100, 0, 3, 0);
  counts(100, 3) = 1;
  EXPECT_EQ(counts.data()[101 * 4 - 1], 1);

  Array1<int> empty(0);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.size(), 0);
}

#ifdef QUENDAL_CHECK_BOUNDS
// gcc's coverage runtime, present only in a build with --coverage.
extern "C" void __gcov_dump() __attribute__((weak));

// A death test's child dies by the abort, which skips the exit that writes a coverage
// build's counters: it writes them first, then dies by the abort all the same.
void write_counters_on_abort() {
  if (__gcov_dump == nullptr) return;
  std::signal(SIGABRT, [](int signal) {
    __gcov_dump();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  });
}

TEST(ArraysDeathTest, OutOfRangeIndexIsCaught) {
  Array2<double> a(2, 2);
  EXPECT_DEATH(
      {
        write_counters_on_abort();
        a(3, 1) = 0.0;
      },
      "dimension 1 index 3 not in 1..2");
  EXPECT_DEATH(a(1, 0) = 0.0, "dimension 2 index 0 not in 1..2");
  Array1<int> v(4);
  EXPECT_DEATH(v(5) = 0, "index 5 not in 1..4");
}
#endif

}  // namespace
}  // namespace quendal
