// A parsed edit-descriptor list such as "(' !!!',A11,I5.4,' at time =',F12.2)".
//
// The data files and the print file were laid out with the classic edit descriptors;
// writing them the same way keeps every column where the users' tools expect it.
// The list is flattened (repeat counts expanded) and keeps the point that format
// reversion returns to: the start of the last top-level parenthesised group, or the
// start of the list when it has none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quendal {

enum class EditKind {
  Integer,    // Iw or Iw.m
  Fixed,      // Fw.d
  Exponent,   // Ew.d[Ee], Dw.d
  Scientific, // ESw.d[Ee]
  General,    // Gw.d[Ee]
  Logical,    // Lw
  Alpha,      // A or Aw
  Skip,       // nX (also TRn)
  TabTo,      // Tn (absolute column n)
  TabLeft,    // TLn
  NewRecord,  // /
  Literal,    // 'text' or "text"
  Scale,      // kP
  Colon,      // : stop when no items remain
  BlankNull,  // BN
  BlankZero,  // BZ
};

struct EditItem {
  EditKind kind = EditKind::Literal;
  int width = -1;     // w; -1 where the descriptor has none (A, G0 is not supported)
  int digits = -1;    // d, or m of Iw.m; -1 when absent
  int exponent = -1;  // e of Ew.dEe; -1 when absent
  int count = 0;      // n of nX/Tn/TLn, k of kP
  char exponent_letter = 'E';  // 'D' for Dw.d
  std::string text;   // literal text

  bool is_data() const {
    return kind == EditKind::Integer || kind == EditKind::Fixed || kind == EditKind::Exponent ||
           kind == EditKind::Scientific || kind == EditKind::General ||
           kind == EditKind::Logical || kind == EditKind::Alpha;
  }
};

class FormatSpec {
 public:
  // Parses a descriptor list, with or without its outer parentheses. Throws
  // std::invalid_argument naming the fault for a malformed list (a program error:
  // formats are written in the code, never read from files).
  explicit FormatSpec(std::string_view text);

  const std::vector<EditItem>& items() const { return items_; }
  std::size_t reversion_index() const { return reversion_; }
  bool has_data_items() const { return has_data_; }
  const std::string& text() const { return text_; }

 private:
  std::vector<EditItem> items_;
  std::size_t reversion_ = 0;
  bool has_data_ = false;
  std::string text_;
};

}  // namespace quendal
