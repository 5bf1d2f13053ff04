// A record sink that keeps what it is given, for the tests to compare.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "services/records.h"

namespace quendal {

class StringSink : public RecordSink {
 public:
  void write_record(std::string_view record) override { records.emplace_back(record); }
  // The records joined, each followed by '\n'.
  std::string text() const {
    std::string s;
    for (const auto& r : records) {
      s += r;
      s += '\n';
    }
    return s;
  }
  std::vector<std::string> records;
};

}  // namespace quendal
