#include "services/edit_descriptors.h"

#include <cctype>
#include <stdexcept>

namespace quendal {

namespace {

EditItem make_item(EditKind kind) {
  EditItem it;
  it.kind = kind;
  return it;
}

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  // Parses items up to the matching ')' (or the end at level 0) into `out`.
  // At level 0 records where the last top-level group started.
  void parse_list(std::vector<EditItem>& out, int level, std::size_t* reversion) {
    bool expect_item = true;
    while (true) {
      skip_blanks();
      if (at_end()) {
        if (level > 0) fail("missing ')'");
        return;
      }
      char c = s_[pos_];
      if (c == ')') {
        if (level == 0) fail("unbalanced ')'");
        ++pos_;
        return;
      }
      if (c == ',') {
        ++pos_;
        expect_item = true;
        continue;
      }
      if (c == '/') {
        ++pos_;
        out.push_back(make_item(EditKind::NewRecord));
        expect_item = true;
        continue;
      }
      if (c == ':') {
        ++pos_;
        out.push_back(make_item(EditKind::Colon));
        expect_item = true;
        continue;
      }
      (void)expect_item;
      parse_item(out, level, reversion);
      expect_item = false;
    }
  }

 private:
  void parse_item(std::vector<EditItem>& out, int level, std::size_t* reversion) {
    int repeat = -1;
    bool negative = false;
    if (s_[pos_] == '-' || s_[pos_] == '+') {
      negative = s_[pos_] == '-';
      ++pos_;
    }
    if (std::isdigit(static_cast<unsigned char>(peek()))) repeat = number();
    skip_blanks();
    if (at_end()) fail("descriptor expected");
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[pos_])));

    if (c == '/') {  // n/ : n new records
      ++pos_;
      int n = repeat < 0 ? 1 : repeat;
      for (int r = 0; r < n; ++r) out.push_back(make_item(EditKind::NewRecord));
      return;
    }
    if (c == '(') {
      ++pos_;
      std::vector<EditItem> group;
      parse_list(group, level + 1, nullptr);
      if (level == 0 && reversion) *reversion = out.size();
      int n = repeat < 0 ? 1 : repeat;
      for (int r = 0; r < n; ++r) out.insert(out.end(), group.begin(), group.end());
      return;
    }
    if (c == '\'' || c == '"') {
      EditItem it = make_item(EditKind::Literal);
      it.text = quoted(s_[pos_]);
      int n = repeat < 0 ? 1 : repeat;
      for (int r = 0; r < n; ++r) out.push_back(it);
      return;
    }
    if (c == 'P') {
      ++pos_;
      if (repeat < 0) fail("P needs a scale factor");
      EditItem it = make_item(EditKind::Scale);
      it.count = negative ? -repeat : repeat;
      out.push_back(it);
      return;  // a descriptor may follow without a comma: 1PE12.4
    }
    if (negative) fail("sign only allowed before P");
    if (c == 'X') {
      ++pos_;
      EditItem it = make_item(EditKind::Skip);
      it.count = repeat < 0 ? 1 : repeat;
      out.push_back(it);
      return;
    }
    if (c == 'T') {
      ++pos_;
      char n = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
      EditItem it = make_item(EditKind::TabTo);
      if (n == 'L') {
        ++pos_;
        it.kind = EditKind::TabLeft;
      } else if (n == 'R') {
        ++pos_;
        it.kind = EditKind::Skip;
      }
      it.count = required_number("T");
      out.push_back(it);
      return;
    }
    if (c == 'B') {
      ++pos_;
      char n = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
      if (n != 'N' && n != 'Z') fail("BN or BZ expected");
      ++pos_;
      out.push_back(make_item(n == 'N' ? EditKind::BlankNull : EditKind::BlankZero));
      return;
    }

    EditItem it;
    ++pos_;
    switch (c) {
      case 'I':
        it.kind = EditKind::Integer;
        it.width = required_number("I");
        if (peek() == '.') {
          ++pos_;
          it.digits = required_number("I.m");
        }
        break;
      case 'F':
        it.kind = EditKind::Fixed;
        real_widths(it, "F", false);
        break;
      case 'D':
        it.kind = EditKind::Exponent;
        it.exponent_letter = 'D';
        real_widths(it, "D", false);
        break;
      case 'E':
        if (std::toupper(static_cast<unsigned char>(peek())) == 'S') {
          ++pos_;
          it.kind = EditKind::Scientific;
          real_widths(it, "ES", true);
        } else {
          it.kind = EditKind::Exponent;
          real_widths(it, "E", true);
        }
        break;
      case 'G':
        it.kind = EditKind::General;
        real_widths(it, "G", true);
        break;
      case 'L':
        it.kind = EditKind::Logical;
        it.width = required_number("L");
        break;
      case 'A':
        it.kind = EditKind::Alpha;
        if (std::isdigit(static_cast<unsigned char>(peek()))) it.width = number();
        break;
      default:
        fail(std::string("unknown descriptor '") + c + "'");
    }
    int n = repeat < 0 ? 1 : repeat;
    for (int r = 0; r < n; ++r) out.push_back(it);
  }

  void real_widths(EditItem& it, const char* name, bool allow_exponent) {
    it.width = required_number(name);
    if (peek() != '.') fail(std::string(name) + "w.d expected");
    ++pos_;
    it.digits = required_number(name);
    if (allow_exponent && std::toupper(static_cast<unsigned char>(peek())) == 'E') {
      ++pos_;
      it.exponent = required_number("exponent width");
    }
  }

  std::string quoted(char quote) {
    ++pos_;
    std::string text;
    while (true) {
      if (at_end()) fail("unterminated literal");
      char c = s_[pos_++];
      if (c == quote) {
        if (peek() == quote) {
          text += quote;
          ++pos_;
          continue;
        }
        return text;
      }
      text += c;
    }
  }

  int required_number(const char* what) {
    if (!std::isdigit(static_cast<unsigned char>(peek()))) {
      fail(std::string("number expected after ") + what);
    }
    return number();
  }
  int number() {
    int n = 0;
    while (std::isdigit(static_cast<unsigned char>(peek()))) n = n * 10 + (s_[pos_++] - '0');
    return n;
  }
  char peek() const { return at_end() ? '\0' : s_[pos_]; }
  bool at_end() const { return pos_ >= s_.size(); }
  void skip_blanks() {
    while (!at_end() && s_[pos_] == ' ') ++pos_;
  }
  [[noreturn]] void fail(const std::string& why) const {
    throw std::invalid_argument("bad format \"" + std::string(s_) + "\" at position " +
                                std::to_string(pos_ + 1) + ": " + why);
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

FormatSpec::FormatSpec(std::string_view text) : text_(text) {
  std::string_view body = text;
  // strip blanks and one pair of outer parentheses
  while (!body.empty() && body.front() == ' ') body.remove_prefix(1);
  while (!body.empty() && body.back() == ' ') body.remove_suffix(1);
  if (body.size() >= 2 && body.front() == '(' && body.back() == ')') {
    // only when the first '(' matches the last ')'
    int depth = 0;
    bool outer = true;
    char quote = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
      char c = body[i];
      if (quote) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"') quote = c;
      else if (c == '(') ++depth;
      else if (c == ')' && --depth == 0 && i + 1 < body.size()) {
        outer = false;
        break;
      }
    }
    if (outer) body = body.substr(1, body.size() - 2);
  }
  Parser p(body);
  reversion_ = 0;
  p.parse_list(items_, 0, &reversion_);
  for (const auto& it : items_) has_data_ = has_data_ || it.is_data();
}

}  // namespace quendal
