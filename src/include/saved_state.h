// A component's state as a hot-start record carries it: a few counts, then labelled
// items, each a run of values in the order the component lists them. The component
// says which items it carries and how many values each holds (its layout), fills them
// from its live state when a record is written, and takes them back when it continues a
// restarted run.
#pragma once

#include <string>
#include <vector>

namespace quendal {

struct SavedItem {
  std::string label;           // "DLS=", as the record writes it
  std::vector<double> values;
};

struct SavedState {
  // True while the record restored holds the component's state and the component has
  // not yet taken it back.
  bool given = false;
  // "record n (time t h)": the record of the hot-start file it came from, for messages.
  std::string source;
  // The counts the layout of the items depends on (the component says which).
  std::vector<long> counts;
  std::vector<SavedItem> items;
};

}  // namespace quendal
