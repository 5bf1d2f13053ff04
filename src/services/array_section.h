// A section of an array seen as a vector: a run of values a fixed stride apart,
// numbered from a chosen first index.
//
// The tridiagonal solver works on columns, rows or any slice of the callers' state
// arrays without copying them, and the array checks see the values they check under
// the callers' own numbering (lo..hi). Both take a VectorSection. It holds a pointer
// and does not own the values: it must not outlive the array it looks into.
//
// Access is bounds-checked when QUENDAL_CHECK_BOUNDS is on, like the arrays themselves.
#pragma once

#include <span>
#include <type_traits>
#include <vector>

#include "include/arrays.h"

namespace quendal {

template <class T>
class VectorSection {
 public:
  VectorSection() = default;

  // `count` values; the one numbered `first_index` is at `first`, each next one `stride`
  // places after the one before (a negative stride walks backwards through memory).
  VectorSection(T* first, long count, long stride = 1, long first_index = 1)
      : first_(first), count_(count < 0 ? 0 : count), stride_(stride), first_index_(first_index) {}

  // The whole of an Array1, numbered as the array numbers it.
  template <class U>
    requires std::is_same_v<std::remove_const_t<T>, U>
  VectorSection(Array1<U>& a) : VectorSection(a.data(), a.size(), 1, a.lower()) {}
  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<const U, T>)
  VectorSection(const Array1<U>& a) : VectorSection(a.data(), a.size(), 1, a.lower()) {}

  // A std::vector or span, numbered from 1.
  template <class U>
    requires std::is_same_v<std::remove_const_t<T>, U>
  VectorSection(std::vector<U>& v) : VectorSection(v.data(), static_cast<long>(v.size())) {}
  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<const U, T>)
  VectorSection(const std::vector<U>& v) : VectorSection(v.data(), static_cast<long>(v.size())) {}
  template <class U>
    requires std::is_same_v<std::remove_const_t<T>, std::remove_const_t<U>> &&
             (std::is_const_v<T> || !std::is_const_v<U>)
  VectorSection(std::span<U> s) : VectorSection(s.data(), static_cast<long>(s.size())) {}

  // A section of non-const values read as a section of const values.
  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<const U, T>)
  VectorSection(const VectorSection<U>& s)
      : VectorSection(s.pointer(), s.size(), s.stride(), s.first_index()) {}

  // The value numbered i (first_index() <= i <= last_index()).
  T& operator()(long i) const {
    QUENDAL_BOUNDS(1, i, first_index_, first_index_ + count_ - 1);
    return first_[(i - first_index_) * stride_];
  }
  // The k-th value counting from 1, whatever the section's numbering.
  T& nth(long k) const {
    QUENDAL_BOUNDS(1, k, 1, count_);
    return first_[(k - 1) * stride_];
  }

  long size() const { return count_; }
  long stride() const { return stride_; }
  long first_index() const { return first_index_; }
  long last_index() const { return first_index_ + count_ - 1; }
  T* pointer() const { return first_; }

 private:
  T* first_ = nullptr;
  long count_ = 0;
  long stride_ = 1;
  long first_index_ = 1;
};

using RealSection = VectorSection<double>;
using ConstRealSection = VectorSection<const double>;
using IntegerSection = VectorSection<int>;
using ConstIntegerSection = VectorSection<const int>;
// Logical arrays of the model are held as char (0 false, 1 true).
using FlagSection = VectorSection<char>;

}  // namespace quendal
