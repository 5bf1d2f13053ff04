// 1-based arrays of the model state.
//
// The model indexes elements 1..NEL, faces 1..4, cells 1..LL; these templates keep
// that indexing in the code. The first index runs fastest in memory, so a loop over
// the first index walks contiguous storage. With QUENDAL_CHECK_BOUNDS defined (the
// test build) every access is checked and an out-of-range index aborts with a
// message naming the index and the bounds.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quendal {

namespace detail {
[[noreturn]] inline void bounds_failure(int dim, long index, long lo, long hi) {
  std::fprintf(stderr, "array index out of bounds: dimension %d index %ld not in %ld..%ld\n", dim,
               index, lo, hi);
  std::abort();
}
}  // namespace detail

#ifdef QUENDAL_CHECK_BOUNDS
#define QUENDAL_BOUNDS(dim, i, lo, hi) \
  do {                                 \
    if ((i) < (lo) || (i) > (hi)) ::quendal::detail::bounds_failure(dim, i, lo, hi); \
  } while (0)
#else
#define QUENDAL_BOUNDS(dim, i, lo, hi) ((void)0)
#endif

// Vector with index range lo..hi (default 1..n).
template <class T>
class Array1 {
 public:
  Array1() = default;
  explicit Array1(long n, const T& value = T()) { resize(n, value); }
  Array1(long lo, long hi, const T& value) { resize_range(lo, hi, value); }

  void resize(long n, const T& value = T()) { resize_range(1, n, value); }
  void resize_range(long lo, long hi, const T& value = T()) {
    lo_ = lo;
    hi_ = hi < lo - 1 ? lo - 1 : hi;
    data_.assign(static_cast<std::size_t>(hi_ - lo_ + 1), value);
  }
  void fill(const T& value) { data_.assign(data_.size(), value); }

  T& operator()(long i) {
    QUENDAL_BOUNDS(1, i, lo_, hi_);
    return data_[static_cast<std::size_t>(i - lo_)];
  }
  const T& operator()(long i) const {
    QUENDAL_BOUNDS(1, i, lo_, hi_);
    return data_[static_cast<std::size_t>(i - lo_)];
  }

  long lower() const { return lo_; }
  long upper() const { return hi_; }
  long size() const { return hi_ - lo_ + 1; }
  bool empty() const { return data_.empty(); }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }
  auto begin() { return data_.begin(); }
  auto end() { return data_.end(); }
  auto begin() const { return data_.begin(); }
  auto end() const { return data_.end(); }

 private:
  long lo_ = 1, hi_ = 0;
  std::vector<T> data_;
};

// Matrix (i, j), i fastest; default ranges 1..n1 and 1..n2.
template <class T>
class Array2 {
 public:
  Array2() = default;
  Array2(long n1, long n2, const T& value = T()) { resize(n1, n2, value); }

  void resize(long n1, long n2, const T& value = T()) { resize_range(1, n1, 1, n2, value); }
  void resize_range(long lo1, long hi1, long lo2, long hi2, const T& value = T()) {
    lo1_ = lo1;
    lo2_ = lo2;
    n1_ = hi1 < lo1 ? 0 : hi1 - lo1 + 1;
    n2_ = hi2 < lo2 ? 0 : hi2 - lo2 + 1;
    data_.assign(static_cast<std::size_t>(n1_ * n2_), value);
  }
  void fill(const T& value) { data_.assign(data_.size(), value); }

  T& operator()(long i, long j) { return data_[offset(i, j)]; }
  const T& operator()(long i, long j) const { return data_[offset(i, j)]; }

  long lower(int dim) const { return dim == 1 ? lo1_ : lo2_; }
  long upper(int dim) const { return dim == 1 ? lo1_ + n1_ - 1 : lo2_ + n2_ - 1; }
  long extent(int dim) const { return dim == 1 ? n1_ : n2_; }
  bool empty() const { return data_.empty(); }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  std::size_t offset(long i, long j) const {
    QUENDAL_BOUNDS(1, i, lo1_, lo1_ + n1_ - 1);
    QUENDAL_BOUNDS(2, j, lo2_, lo2_ + n2_ - 1);
    return static_cast<std::size_t>((i - lo1_) + n1_ * (j - lo2_));
  }
  long lo1_ = 1, lo2_ = 1, n1_ = 0, n2_ = 0;
  std::vector<T> data_;
};

// Three-index array (i, j, k), i fastest; default ranges start at 1.
template <class T>
class Array3 {
 public:
  Array3() = default;
  Array3(long n1, long n2, long n3, const T& value = T()) { resize(n1, n2, n3, value); }

  void resize(long n1, long n2, long n3, const T& value = T()) {
    resize_range(1, n1, 1, n2, 1, n3, value);
  }
  void resize_range(long lo1, long hi1, long lo2, long hi2, long lo3, long hi3,
                    const T& value = T()) {
    lo1_ = lo1;
    lo2_ = lo2;
    lo3_ = lo3;
    n1_ = hi1 < lo1 ? 0 : hi1 - lo1 + 1;
    n2_ = hi2 < lo2 ? 0 : hi2 - lo2 + 1;
    n3_ = hi3 < lo3 ? 0 : hi3 - lo3 + 1;
    data_.assign(static_cast<std::size_t>(n1_ * n2_ * n3_), value);
  }
  void fill(const T& value) { data_.assign(data_.size(), value); }

  T& operator()(long i, long j, long k) { return data_[offset(i, j, k)]; }
  const T& operator()(long i, long j, long k) const { return data_[offset(i, j, k)]; }

  long lower(int dim) const { return dim == 1 ? lo1_ : dim == 2 ? lo2_ : lo3_; }
  long upper(int dim) const { return lower(dim) + extent(dim) - 1; }
  long extent(int dim) const { return dim == 1 ? n1_ : dim == 2 ? n2_ : n3_; }
  bool empty() const { return data_.empty(); }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  std::size_t offset(long i, long j, long k) const {
    QUENDAL_BOUNDS(1, i, lo1_, lo1_ + n1_ - 1);
    QUENDAL_BOUNDS(2, j, lo2_, lo2_ + n2_ - 1);
    QUENDAL_BOUNDS(3, k, lo3_, lo3_ + n3_ - 1);
    return static_cast<std::size_t>((i - lo1_) + n1_ * ((j - lo2_) + n2_ * (k - lo3_)));
  }
  long lo1_ = 1, lo2_ = 1, lo3_ = 1, n1_ = 0, n2_ = 0, n3_ = 0;
  std::vector<T> data_;
};

}  // namespace quendal
