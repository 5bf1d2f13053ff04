// The walks over a component's carried state. A component lists its items once, in
// record order, as a function template that takes one of these as `io` and calls
// io.item("LABEL=") before each item and io(array, indices...) for each of its values;
// the same list then gives the layout of a record, the values of the live state, and
// the values of a record put back into the live state, so that the three cannot drift
// apart.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "include/saved_state.h"

namespace quendal {

// The items and their counts; arrays are not touched (they need not be sized yet).
class SavedLayout {
 public:
  SavedState state;
  void item(const char* label) { state.items.push_back(SavedItem{label, {}}); }
  template <class Array, class... Index>
  void operator()(const Array&, Index...) {
    state.items.back().values.push_back(0.0);
  }
};

// The values of the live state.
class SavedWriter {
 public:
  SavedState state;
  void item(const char* label) { state.items.push_back(SavedItem{label, {}}); }
  template <class Array, class... Index>
  void operator()(const Array& a, Index... i) {
    state.items.back().values.push_back(static_cast<double>(a(i...)));
  }
};

// Puts the values of `saved` back, item by item. The walk that reads them must be the
// one that laid them out: a label or a count that differs is a program error.
class SavedReader {
 public:
  explicit SavedReader(const SavedState& saved) : saved_(saved) {}
  void item(const char* label) {
    check_item_complete();
    ++item_;
    value_ = 0;
    if (item_ >= saved_.items.size() || saved_.items[item_].label != label) {
      throw std::logic_error(std::string("saved state: item ") + label + " out of place");
    }
  }
  template <class Array, class... Index>
  void operator()(Array& a, Index... i) {
    const SavedItem& it = saved_.items.at(item_);
    if (value_ >= it.values.size()) throw std::logic_error("saved state: " + it.label + " too short");
    a(i...) = static_cast<std::remove_reference_t<decltype(a(i...))>>(it.values[value_++]);
  }
  // After the walk: every item and value taken.
  void finish() {
    check_item_complete();
    if (item_ + 1 != saved_.items.size()) throw std::logic_error("saved state: items left over");
  }

 private:
  void check_item_complete() const {
    if (item_ < saved_.items.size() && value_ != saved_.items[item_].values.size()) {
      throw std::logic_error("saved state: " + saved_.items[item_].label + " not all taken");
    }
  }
  const SavedState& saved_;
  std::size_t item_ = static_cast<std::size_t>(-1);
  std::size_t value_ = 0;
};

}  // namespace quendal
