#include "services/predicates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quendal {
namespace {

struct PredicateCase {
  double x;
  bool zero, non_zero, one, positive, non_negative, negative, non_positive, no_data;
};

TEST(Predicates, TruthTable) {
  const double eps = std::numeric_limits<double>::epsilon();
  const PredicateCase cases[] = {
      //  x            zero   nonzero one    pos    nonneg neg    nonpos nodata
      {0.0, true, false, false, false, true, false, true, false},
      {1e-21, true, false, false, true, true, false, true, false},
      {-1e-21, true, false, false, false, true, true, true, false},
      {1e-20, false, true, false, true, true, false, false, false},  // tolerance is strict
      {-1e-20, false, true, false, false, false, true, true, false},
      {1.0, false, true, true, true, true, false, false, false},
      {1.0 + eps, false, true, false, true, true, false, false, false},  // 1e-20 << spacing at 1
      {999999.0, false, true, false, true, true, false, false, true},
      {999999.99, false, true, false, true, true, false, false, true},
      {std::nextafter(999999.0, 0.0), false, true, false, true, true, false, false, false},
      {-999999.0, false, true, false, false, false, true, true, false},
      {1e300, false, true, false, true, true, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    EXPECT_EQ(IS_ZERO(c.x), c.zero);
    EXPECT_EQ(IS_NON_ZERO(c.x), c.non_zero);
    EXPECT_EQ(IS_ONE(c.x), c.one);
    EXPECT_EQ(IS_NOT_ONE(c.x), !c.one);
    EXPECT_EQ(IS_POSITIVE(c.x), c.positive);
    EXPECT_EQ(IS_NON_NEGATIVE(c.x), c.non_negative);
    EXPECT_EQ(IS_NEGATIVE(c.x), c.negative);
    EXPECT_EQ(IS_NON_POSITIVE(c.x), c.non_positive);
    EXPECT_EQ(IS_NO_DATA(c.x), c.no_data);
  }
}

TEST(Predicates, PositiveDifferenceAndAllZero) {
  EXPECT_EQ(POSITIVE_DIFFERENCE(2.0, 3.0), 0.0);
  EXPECT_EQ(POSITIVE_DIFFERENCE(3.0, 2.0), 1.0);
  EXPECT_EQ(POSITIVE_DIFFERENCE_INT(2, 3), 0);
  EXPECT_EQ(POSITIVE_DIFFERENCE_INT(5, -2), 7);

  const double v[] = {0.0, 5.0, 1e-21, 7.0, 0.0};
  EXPECT_FALSE(ALL_ZERO_REAL(v, 5));
  EXPECT_TRUE(ALL_ZERO_REAL(v, 3, 2));  // v[0], v[2], v[4]
  EXPECT_TRUE(ALL_ZERO_REAL(v, 0));
  const int t[] = {0, 0, 0, 1};
  EXPECT_TRUE(ALL_ZERO_INTEGER(t, 3));
  EXPECT_FALSE(ALL_ZERO_INTEGER(t, 4));
  EXPECT_TRUE(ALL_ZERO_INTEGER(t, 0));
}

TEST(Predicates, FillAndCopyWithStrides) {
  double v[3] = {1, 2, 3};
  FILL_REAL_VECTOR(9.0, 0, v);
  EXPECT_EQ(v[0], 1.0);
  FILL_REAL_VECTOR(9.0, 2, v);
  EXPECT_EQ(v[1], 9.0);
  EXPECT_EQ(v[2], 3.0);

  const double x[] = {1, 2, 3};
  double y[3] = {0, 0, 0};
  COPY_REAL_VECTOR(3, x, -1, y, 1);  // walks x from its far end
  EXPECT_EQ(y[0], 3.0);
  EXPECT_EQ(y[1], 2.0);
  EXPECT_EQ(y[2], 1.0);

  double z[4] = {0, 0, 0, 0};
  COPY_REAL_VECTOR(2, x, 1, z, 2);
  EXPECT_EQ(z[0], 1.0);
  EXPECT_EQ(z[2], 2.0);
  EXPECT_EQ(z[1], 0.0);

  double w[2] = {0, 0};
  COPY_REAL_VECTOR(3, x, 1, w, 0);  // zero stride keeps the last value in y(1)
  EXPECT_EQ(w[0], 3.0);
  EXPECT_EQ(w[1], 0.0);
}

}  // namespace
}  // namespace quendal
