// Where the values of the data files were read, kept for the checks that run after a
// reader has stored them.
//
// A component checks some of its input arrays only once they are complete (the
// sediment input checks, the overland input checks); by then the file, the record and
// the text of a value are no longer at hand. Readers note them here under the name the
// checks give the array ("STRX", "XDRIP", "FBETA") and the value's indices, and a check
// that fails shows, on the line after its report, where its first failing value came
// from.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "services/records.h"

namespace quendal {

class InputPlaces {
 public:
  void note(std::string_view item, long i, long j, const FieldPlace& place) {
    auto at = places_.find(item);
    if (at == places_.end()) at = places_.emplace(std::string(item), Entries{}).first;
    at->second[{i, j}] = place;
  }
  // nullptr when the value was not noted.
  const FieldPlace* find(std::string_view item, long i, long j = 0) const {
    const auto at = places_.find(item);
    if (at == places_.end()) return nullptr;
    const auto entry = at->second.find({i, j});
    return entry == at->second.end() ? nullptr : &entry->second;
  }
  // Drops the places of `item` (a reader that reads its file again notes them anew).
  void forget(std::string_view item) {
    const auto at = places_.find(item);
    if (at != places_.end()) places_.erase(at);
  }
  void clear() { places_.clear(); }

 private:
  using Entries = std::map<std::pair<long, long>, FieldPlace>;
  std::map<std::string, Entries, std::less<>> places_;
};

}  // namespace quendal
