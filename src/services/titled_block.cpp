#include "services/titled_block.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <utility>
#include <vector>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/grid_readers.h"
#include "services/record_reader.h"
#include "services/stops.h"

namespace quendal {

namespace {

std::string fit(std::string_view text, std::size_t length) {
  std::string s(text.substr(0, std::min(text.size(), length)));
  s.resize(length, ' ');
  return s;
}

std::string i_field(long long value, int width) { return edit_integer(value, width); }

// The elements the two banks of link l copy a grid value from: side 1 its neighbour over
// face 1 (north-south link) or 2, side 2 over face 3 or 4; a bank without that
// neighbour (an element outside first..last) takes the other bank's; 0 and 0 when
// neither has one.
std::pair<int, int> bank_copy_sources(const FrameState& frame, int l, long first, long last) {
  auto usable = [&](int e) { return e > 0 && e >= first && e <= last; };
  const bool north_south = frame.LINK_NORTH_SOUTH(l) != 0;
  int g1 = frame.ICMREF(frame.LINK_BANK_ELEMENT(l, 1), north_south ? 1 : 2, 2);
  int g2 = frame.ICMREF(frame.LINK_BANK_ELEMENT(l, 2), north_south ? 3 : 4, 2);
  if (!usable(g1)) g1 = g2;
  if (!usable(g2)) g2 = g1;
  if (!usable(g1)) return {0, 0};
  return {g1, g2};
}

[[noreturn]] void fatal(RunIo& io, int unit_out, int number, int element, std::string_view message,
                        const std::string& detail = {}) {
  report_block_fatal(io, unit_out, number, element, message, detail);
}

std::string unit_not_open(int unit) { return "Unit " + std::to_string(unit) + " is not open"; }

// The line after a report on value i of `placed`: where it was read; empty when its
// place is not known.
std::string read_from(const FieldLog& placed, std::size_t i) {
  return i < placed.size() ? value_read_from(placed[i]) : std::string();
}

std::string position(const RecordSource& source) {
  return "file " + source.source_name() + ", record " + std::to_string(source.record_number());
}

// Runs one read statement on unit_in; any failure to read is fatal error `number` with
// `message`, followed by what the record reader found.
// The message is made after the failure, so that it can show what was read up to it.
void guarded_read(RunIo& io, int unit_in, int unit_out, int number,
                  const std::function<std::string()>& message,
                  const std::function<void(RecordSource&)>& read) {
  if (!io.units.is_open(unit_in)) fatal(io, unit_out, number, 0, message(), unit_not_open(unit_in));
  RecordSource& source = io.units.unit(unit_in);
  try {
    read(source);
  } catch (const InputError& e) {
    fatal(io, unit_out, number, 0, message(), e.what());
  }
}
void guarded_read(RunIo& io, int unit_in, int unit_out, int number, const std::string& message,
                  const std::function<void(RecordSource&)>& read) {
  guarded_read(io, unit_in, unit_out, number, [&] { return message; }, read);
}

// Refuses na x nb values that do not fit the room of the array they are read into.
void check_room(RunIo& io, const TitledBlockState& state, int unit_out, int number,
                std::string_view what, std::string_view under, long long na, long long nb,
                std::size_t room) {
  if (na >= 0 && nb >= 0 && na * nb <= static_cast<long long>(room)) return;
  std::string message = std::string(what) + i_field(na, 6) + " x" + i_field(nb, 6) +
                        " outside room 0 to" + i_field(static_cast<long long>(room), 8) +
                        std::string(under) + state.current_line;
  fatal(io, unit_out, number, 0, message, values_in_full(message, {{"count", na}, {"times", nb}}));
}

std::string data_message(std::string_view kind, const TitledBlockState& state) {
  return "Reading " + std::string(kind) + " data under heading: " + state.current_line;
}

std::string grid_message(std::string_view kind, long long row, const TitledBlockState& state) {
  return "Reading " + std::string(kind) + " grid (IY=" + i_field(row, 4) +
         ") under title: " + state.current_line;
}

template <class T>
void read_list_impl(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                    int number, std::string_view kind, long long na, long long nb,
                    std::span<T> values) {
  check_room(io, state, unit_out, number, "Count of " + std::string(kind) + " values",
             " under heading: ", na, nb, values.size());
  std::span<T> wanted = values.first(static_cast<std::size_t>(na * nb));
  guarded_read(io, unit_in, unit_out, number, data_message(kind, state),
               [&](RecordSource& source) { read_list(source, wanted); });
}

// ---- the modes of READ_TITLED_BLOCK that only it has --------------------------------

// Mode 6: nc items, each (i, m), m integers, m reals, three read statements.
void read_items(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out, long long na,
                long long nc, std::span<int> ints, std::span<double> reals) {
  constexpr int number = 16;
  if (nc < 0) {
    const std::string message =
        "VSS item count" + i_field(nc, 6) + " is negative under title: " + state.current_line;
    fatal(io, unit_out, number, 0, message, values_in_full(message, {{"count", nc}}));
  }
  const long long item_room =
      std::max(0LL, std::min({na, static_cast<long long>(ints.size()),
                              static_cast<long long>(reals.size())}));
  for (long long n = 1; n <= nc; ++n) {
    int item = 0, points = 0;
    auto message = [&] {
      return "Reading VSS data for item no. " + i_field(item, 4) + " under title: " +
             state.current_line;
    };
    FieldLog placed;  // the item number's place, then the point count's
    guarded_read(io, unit_in, unit_out, number, message, [&](RecordSource& source) {
      FieldLogScope scope(source, placed);
      read_list(source, item, points);
    });
    // The value in full when its field shows asterisks, and where it was read.
    auto detail = [&](const std::string& text, std::string_view name, long long value,
                      std::size_t i) {
      std::string line = values_in_full(text, {{name, value}});
      const std::string where = read_from(placed, i);
      if (!where.empty()) line += (line.empty() ? "" : "; ") + where;
      return line;
    };
    if (item < 1 || item > item_room) {
      const std::string text = "VSS item no." + i_field(item, 6) + " outside room 1 to" +
                               i_field(item_room, 6) + " under title: " + state.current_line;
      fatal(io, unit_out, number, 0, text, detail(text, "item", item, 0));
    }
    // Entry (item, k) is at (item - 1) + na * (k - 1): the points that fit both arrays.
    const long long point_room =
        std::min((static_cast<long long>(ints.size()) - item) / na,
                 (static_cast<long long>(reals.size()) - item) / na) + 1;
    if (points < 0 || points > point_room) {
      const std::string text = "VSS item no." + i_field(item, 6) + " point count" +
                               i_field(points, 6) + " outside room 0 to" +
                               i_field(point_room, 6) + " under title: " + state.current_line;
      fatal(io, unit_out, number, 0, text, detail(text, "points", points, 1));
    }
    auto at = [&](int k) { return static_cast<std::size_t>((item - 1) + na * (k - 1)); };
    guarded_read(io, unit_in, unit_out, number, message(), [&](RecordSource& source) {
      ListRead r(source);
      for (int k = 1; k <= points; ++k) r >> ints[at(k)];
      r.finish();
    });
    guarded_read(io, unit_in, unit_out, number, message(), [&](RecordSource& source) {
      ListRead r(source);
      for (int k = 1; k <= points; ++k) r >> reals[at(k)];
      r.finish();
    });
  }
}

// Mode 7: soils 1..nc, three integers (the first the soil number) then eight reals, each
// group one read statement.
void read_soils(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out, long long na,
                long long nc, std::span<int> ints, std::span<double> reals) {
  constexpr int number = 14;
  // Soil s fills (s, 1..3) and (s, 1..8) at s - 1 + na * (k - 1).
  const long long soil_room =
      std::max(0LL, std::min({na, static_cast<long long>(ints.size()) - 2 * na,
                              static_cast<long long>(reals.size()) - 7 * na}));
  if (nc < 0 || nc > soil_room) {
    const std::string message = "Soil count" + i_field(nc, 6) + " outside room 0 to" +
                                i_field(soil_room, 6) + " under title: " + state.current_line;
    fatal(io, unit_out, number, 0, message, values_in_full(message, {{"count", nc}}));
  }
  for (long long s = 1; s <= nc; ++s) {
    const std::string message =
        "Reading soils data for soil no. " + i_field(s, 4) + " under title: " + state.current_line;
    auto at = [&](int k) { return static_cast<std::size_t>((s - 1) + na * (k - 1)); };
    std::string found_at;
    guarded_read(io, unit_in, unit_out, number, message, [&](RecordSource& source) {
      read_list(source, ints[at(1)], ints[at(2)], ints[at(3)]);
      found_at = position(source);
    });
    if (ints[at(1)] != s) {
      fatal(io, unit_out, number, 0, message,
            "Soil number " + std::to_string(ints[at(1)]) + " found in " + found_at);
    }
    guarded_read(io, unit_in, unit_out, number, message, [&](RecordSource& source) {
      ListRead r(source);
      for (int k = 1; k <= 8; ++k) r >> reals[at(k)];
      r.finish();
    });
  }
}

// ---- READ_CATEGORY_GRID -----------------------------------------------------------------

template <class T>
T& element_value(ElementColumn<T> column, long element) {
  if (!column.covers(element)) {
    throw std::out_of_range("element " + std::to_string(element) +
                            " outside the values array (" + std::to_string(column.first()) +
                            ".." + std::to_string(column.last()) + ")");
  }
  return column(element);
}

void check_grid_topology(const FrameState& frame, int nx, int ny) {
  if (nx < 0 || ny < 0 || (nx > 0 && ny > 0 && (frame.ICMXY.extent(1) < nx ||
                                                frame.ICMXY.extent(2) < ny))) {
    throw std::invalid_argument("grid of " + std::to_string(nx) + " x " + std::to_string(ny) +
                                " cells is larger than ICMXY");
  }
}

// The bank elements that took a neighbour's values take the places of those values: the
// same choice of neighbour as copy_to_bank_elements.
void note_bank_places(RunIo& io, const FrameState& frame, ElementColumn<double> column,
                      const std::string& item, int q) {
  for (int l = 1; l <= frame.NLF; ++l) {
    const auto [g1, g2] = bank_copy_sources(frame, l, column.first(), column.last());
    for (int side = 1; side <= 2; ++side) {
      const int from = side == 1 ? g1 : g2;
      for (int k = q == 1 ? 0 : 1; k <= (q == 1 ? 0 : q); ++k) {
        if (const FieldPlace* place = io.places.find(item, from, k)) {
          const FieldPlace copy = *place;
          io.places.note(item, frame.LINK_BANK_ELEMENT(l, side), k, copy);
        }
      }
    }
  }
}

void read_category_grid_impl(RunIo& io, TitledBlockState& state, const FrameState& frame,
                             const CategoryGridTarget& target, int q, int unit_in, int unit_out,
                             std::string_view key, int& ncat,
                             const std::function<ElementColumn<double>(int)>& column) {
  const bool keep_places = !target.place_item.empty() || static_cast<bool>(target.check);
  auto note = [&](int element, int k, const FieldPlace& place) {
    if (!target.place_item.empty()) io.places.note(target.place_item, element, q == 1 ? 0 : k, place);
  };
  auto see = [&](double value, const FieldPlace& place) {
    if (target.check) target.check(value, place);
  };
  if (!target.place_item.empty()) io.places.forget(target.place_item);
  const std::string base(key);
  int option = 0;
  const FieldLog option_at = read_with_places(io, unit_in, [&] {
    READ_TITLED_BLOCK(io, state, TITLED_INTEGERS, unit_in, unit_out, key, 1, 1, 0, nullptr,
                      std::span<int>(&option, 1), {});
  });
  ncat = option;
  if (ncat < target.min_ncat) {
    fatal(io, unit_out, 1, 0, "Invalid option NCAT =" + i_field(ncat, 4) + " at title line " + base,
          read_from(option_at, 0));
  }
  if (ncat < 0) return;

  const int nlf = frame.NLF;
  const int nx = target.nx, ny = target.ny;
  check_grid_topology(frame, nx, ny);
  const std::size_t cells = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  const bool links_given = target.p == 0 && nlf >= 1;

  if (ncat == 0) {
    std::vector<double> rwork(std::max<std::size_t>(cells, static_cast<std::size_t>(nlf)));
    for (int k = 1; k <= q; ++k) {
      ElementColumn<double> values = column(k);
      if (links_given) {
        const FieldLog at = read_with_places(io, unit_in, [&] {
          READ_TITLED_BLOCK(io, state, TITLED_REALS, unit_in, unit_out, base + "a", nlf, 1, 0,
                            nullptr, {},
                            std::span<double>(rwork.data(), static_cast<std::size_t>(nlf)));
        });
        for (int l = 1; l <= nlf; ++l) {
          element_value(values, l) = rwork[l - 1];
          if (keep_places && static_cast<std::size_t>(l) <= at.size()) {
            see(rwork[l - 1], at[l - 1]);
            note(l, k, at[l - 1]);
          }
        }
      }
      const FieldLog at = read_with_places(io, unit_in, [&] {
        READ_TITLED_BLOCK(io, state, TITLED_REAL_GRID, unit_in, unit_out, base + "b", nx, ny, 0,
                          nullptr, {}, std::span<double>(rwork.data(), cells));
      });
      for (int y = 1; y <= ny; ++y) {
        for (int x = 1; x <= nx; ++x) {
          const int e = frame.ICMXY(x, y);
          if (e <= 0) continue;
          const double value = rwork[(x - 1) + static_cast<std::size_t>(nx) * (y - 1)];
          element_value(values, e) = value;
          const std::size_t entry = grid_place_entry(x, y, nx, ny);
          if (keep_places && entry < at.size()) {
            see(value, at[entry]);
            note(e, k, at[entry]);
          }
        }
      }
    }
  } else {
    const long long needed = static_cast<long long>(q) * ncat;
    if (needed > NELEE) {
      fatal(io, unit_out, 8, 0,
            "Insufficient workspace for" + i_field(ncat, 4) + " categories in " + base +
                " : increase NELEE to at least" + i_field(needed, 6));
    }
    // Category j's q values are the j-th group of q.
    std::vector<double> table(static_cast<std::size_t>(needed));
    const FieldLog at = read_with_places(io, unit_in, [&] {
      READ_TITLED_BLOCK(io, state, TITLED_REALS, unit_in, unit_out, base + "c", q, ncat, 0,
                        nullptr, {}, table);
    });
    const bool table_placed = keep_places && at.size() >= table.size();
    if (table_placed) {
      for (std::size_t i = 0; i < table.size(); ++i) see(table[i], at[i]);
    }
    auto note_row = [&](int element, int category) {
      if (!table_placed) return;
      for (int k = 1; k <= q; ++k) {
        note(element, k, at[static_cast<std::size_t>(category - 1) * q + (k - 1)]);
      }
    };
    if (ncat == 1) {
      for (int e = target.p * nlf + 1; e <= target.last; ++e) {
        for (int k = 1; k <= q; ++k) element_value(column(k), e) = table[k - 1];
        note_row(e, 1);
      }
      return;  // one value set for all: nothing to copy to the banks
    }
    std::vector<int> iwork(std::max<std::size_t>(cells, static_cast<std::size_t>(nlf)));
    // `at` holds where the category was read.
    auto give = [&](int element, int category, char letter, const FieldLog& placed,
                    std::size_t at) {
      if (category < 1 || category > ncat) {
        fatal(io, unit_out, 9, element,
              "Invalid category value" + i_field(category, 4) + " while reading " + base + letter +
                  " : should be in range [1," + i_field(ncat, 4) + "]",
              read_from(placed, at));
      }
      for (int k = 1; k <= q; ++k) {
        element_value(column(k), element) = table[static_cast<std::size_t>(category - 1) * q + (k - 1)];
      }
      note_row(element, category);
    };
    if (links_given) {
      const FieldLog links_at = read_with_places(io, unit_in, [&] {
        READ_TITLED_BLOCK(io, state, TITLED_INTEGERS, unit_in, unit_out, base + "d", nlf, 1, 0,
                          nullptr, std::span<int>(iwork.data(), static_cast<std::size_t>(nlf)), {});
      });
      for (int l = 1; l <= nlf; ++l) give(l, iwork[l - 1], 'd', links_at, static_cast<std::size_t>(l - 1));
    }
    const FieldLog grid_at = read_with_places(io, unit_in, [&] {
      READ_TITLED_BLOCK(io, state, TITLED_INTEGER_GRID, unit_in, unit_out, base + "e", nx, ny,
                        ncat, nullptr, std::span<int>(iwork.data(), cells), {});
    });
    for (int y = 1; y <= ny; ++y) {
      for (int x = 1; x <= nx; ++x) {
        const int e = frame.ICMXY(x, y);
        if (e > 0) {
          give(e, iwork[(x - 1) + static_cast<std::size_t>(nx) * (y - 1)], 'e', grid_at,
               grid_place_entry(x, y, nx, ny));
        }
      }
    }
  }

  if (nlf >= 1 && target.banks_on) {
    for (int k = 1; k <= q; ++k) copy_to_bank_elements(io, frame, unit_out, 9, key, column(k));
    if (!target.place_item.empty()) note_bank_places(io, frame, column(1), target.place_item, q);
  }
}

}  // namespace

// ---- building blocks ------------------------------------------------------------------

std::size_t grid_place_entry(int x, int y, int nx, int ny) {
  return static_cast<std::size_t>(ny - y) * (static_cast<std::size_t>(nx) + 1) +
         static_cast<std::size_t>(x);
}

void report_block_fatal(RunIo& io, int unit_out, int number, int element,
                        std::string_view message, const std::string& detail) {
  report_fatal_with_detail(io, number, unit_out, element, fit(message, BLOCK_MESSAGE_LENGTH),
                           detail);
}

TitledBlockState::TitledBlockState()
    : current_line(BLOCK_LINE_LENGTH, ' '),
      last_line(fit("( nothing read yet )", BLOCK_LINE_LENGTH)) {}

bool key_ends_at(std::string_view line, std::size_t after) {
  return after >= line.size() || !std::isalnum(static_cast<unsigned char>(line[after]));
}

bool title_holds_key(std::string_view line, std::string_view key, TagMatch match) {
  for (std::size_t at = line.find(key); at != std::string_view::npos;
       at = line.find(key, at + 1)) {
    if (match == TagMatch::contains || key_ends_at(line, at + key.size())) return true;
  }
  return false;
}

void read_section_title(RunIo& io, TitledBlockState& state, int unit_in, int unit_out,
                        std::string_view key, TagMatch match) {
  const std::string heading_message =
      "Reading heading: " + std::string(key) + "; last item was: " + state.last_line;
  if (!io.units.is_open(unit_in)) {
    fatal(io, unit_out, 3, 0, heading_message, unit_not_open(unit_in));
  }
  std::string line;
  try {
    read_formatted(io.units.unit(unit_in), "(A80)", line);
  } catch (const InputError& e) {
    fatal(io, unit_out, 3, 0, heading_message, e.what());
  }
  state.current_line = fit(line, BLOCK_LINE_LENGTH);
  if (!title_holds_key(state.current_line, key, match)) {
    REPORT_ERROR(io, SEVERITY_WARNING, 2, unit_out, 0, 0,
                 fit("Title line mismatch: expected \"" + std::string(key) + "\" but found \"" +
                         state.current_line + "\"",
                     BLOCK_MESSAGE_LENGTH));
  }
}

void report_file_status(RunIo& io, TitledBlockState& state, bool check_open, int unit,
                        int unit_out, std::string_view name) {
  const bool open = io.units.is_open(unit);
  if (check_open && !open) {
    fatal(io, unit_out, 4, 0, std::string(name) + " data file not open: unit" + i_field(unit, 3));
  }
  const std::string file = fit(open ? io.units.unit(unit).path() : "(no name)", 48);
  if (!check_open) io.units.close(unit);
  state.current_line = fit(std::string(name) + " data file " + (check_open ? "open" : "closed") +
                               ": unit" + i_field(unit, 3) + "; " + file,
                           BLOCK_LINE_LENGTH);
  RecordSink& out = io.units.sink(unit_out);
  write_formatted(out, "(1X,A)", state.current_line);
  out.write_record("");
  state.last_line = state.current_line;
}

void read_section_texts(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                        int number, long long na, long long nb, std::span<std::string> texts) {
  check_room(io, state, unit_out, number, "Count of character values", " under heading: ", na,
             nb, texts.size());
  const std::string message = data_message("character", state);
  for (long long i = 0; i < na * nb; ++i) {
    std::string& text = texts[static_cast<std::size_t>(i)];
    guarded_read(io, unit_in, unit_out, number, message, [&](RecordSource& source) {
      std::string record;
      read_formatted(source, "(A)", record);
      text = fit(record, text.size());
    });
  }
}

void read_section_list(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                       int number, std::string_view kind, long long na, long long nb,
                       std::span<int> values) {
  read_list_impl(io, state, unit_in, unit_out, number, kind, na, nb, values);
}
void read_section_list(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                       int number, std::string_view kind, long long na, long long nb,
                       std::span<double> values) {
  read_list_impl(io, state, unit_in, unit_out, number, kind, na, nb, values);
}
void read_section_list(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                       int number, std::string_view kind, long long na, long long nb,
                       std::span<bool> values) {
  read_list_impl(io, state, unit_in, unit_out, number, kind, na, nb, values);
}

void read_section_integer_grid(RunIo& io, const TitledBlockState& state, int unit_in,
                               int unit_out, long long na, long long nb, int ncat,
                               std::span<int> grid) {
  constexpr int number = 10;
  check_room(io, state, unit_out, number, "Grid of integer values", " under title: ", na, nb,
             grid.size());
  for (long long y = nb; y >= 1; --y) {
    std::span<int> row = grid.subspan(static_cast<std::size_t>(na * (y - 1)),
                                      static_cast<std::size_t>(na));
    const std::string message = grid_message("integer", y, state);
    int found = 0;
    std::string found_at;
    guarded_read(io, unit_in, unit_out, number, message, [&](RecordSource& source) {
      found = ncat < 10 ? read_digit_row(source, row)
                        : read_wide_row(source, static_cast<int>(y), row,
                                        RowNumberField::FreeFormat);
      found_at = position(source);
    });
    if (found != y) {
      fatal(io, unit_out, number, 0, message,
            "Row number " + std::to_string(found) + " found in " + found_at);
    }
  }
}

void read_section_real_grid(RunIo& io, const TitledBlockState& state, int unit_in, int unit_out,
                            long long na, long long nb, std::span<double> grid) {
  constexpr int number = 11;
  check_room(io, state, unit_out, number, "Grid of floating-point values", " under title: ", na,
             nb, grid.size());
  for (long long y = nb; y >= 1; --y) {
    std::span<double> row = grid.subspan(static_cast<std::size_t>(na * (y - 1)),
                                         static_cast<std::size_t>(na));
    const std::string message = grid_message("floating-point", y, state);
    int found = 0;
    std::string found_at;
    guarded_read(io, unit_in, unit_out, number, message, [&](RecordSource& source) {
      read_list(source, found, row);
      found_at = position(source);
    });
    if (found != y) {
      fatal(io, unit_out, number, 0, message,
            "Row number " + std::to_string(found) + " found in " + found_at);
    }
  }
}

template <class T>
void copy_to_bank_elements(RunIo& io, const FrameState& frame, int unit_out, int number,
                           std::string_view key, ElementColumn<T> column) {
  for (int l = 1; l <= frame.NLF; ++l) {
    const int b1 = frame.LINK_BANK_ELEMENT(l, 1);
    const int b2 = frame.LINK_BANK_ELEMENT(l, 2);
    const auto [g1, g2] = bank_copy_sources(frame, l, column.first(), column.last());
    if (g1 == 0) {
      fatal(io, unit_out, number, l,
            "Bank elements" + i_field(b1, 6) + " and" + i_field(b2, 6) + " of link" +
                i_field(l, 6) + " have no neighbour to copy " + std::string(key) + " from");
    }
    element_value(column, b1) = column(g1);
    element_value(column, b2) = column(g2);
  }
}

template void copy_to_bank_elements<int>(RunIo&, const FrameState&, int, int, std::string_view,
                                         ElementColumn<int>);
template void copy_to_bank_elements<double>(RunIo&, const FrameState&, int, int,
                                            std::string_view, ElementColumn<double>);

// ---- READ_TITLED_BLOCK ------------------------------------------------------------------

void READ_TITLED_BLOCK(RunIo& io, TitledBlockState& state, int mode, int unit_in, int unit_out,
                       std::string_view key, int na, int nb, int nc, std::string* text,
                       std::span<int> ints, std::span<double> reals) {
  if (mode == TITLED_CLOSE || mode == TITLED_CHECK_OPEN) {
    report_file_status(io, state, mode == TITLED_CHECK_OPEN, unit_in, unit_out, key);
    return;
  }
  if (mode < TITLED_TEXT || mode > TITLED_SOILS) {
    throw std::invalid_argument("READ_TITLED_BLOCK: no mode " + std::to_string(mode));
  }
  if (mode == TITLED_TEXT && text == nullptr) {
    throw std::invalid_argument("READ_TITLED_BLOCK: mode 1 needs a text");
  }
  read_section_title(io, state, unit_in, unit_out, key);
  switch (mode) {
    case TITLED_TEXT:
      read_section_texts(io, state, unit_in, unit_out, 5, 1, 1, std::span<std::string>(text, 1));
      break;
    case TITLED_INTEGERS:
      read_section_list(io, state, unit_in, unit_out, 6, "integer", na, nb, ints);
      break;
    case TITLED_REALS:
      read_section_list(io, state, unit_in, unit_out, 7, "floating-point", na, nb, reals);
      break;
    case TITLED_INTEGER_GRID:
      read_section_integer_grid(io, state, unit_in, unit_out, na, nb, nc, ints);
      break;
    case TITLED_REAL_GRID:
      read_section_real_grid(io, state, unit_in, unit_out, na, nb, reals);
      break;
    case TITLED_ITEMS:
      read_items(io, state, unit_in, unit_out, na, nc, ints, reals);
      break;
    case TITLED_SOILS:
      read_soils(io, state, unit_in, unit_out, na, nc, ints, reals);
      break;
  }
  state.last_line = state.current_line;
}

void READ_CATEGORY_GRID(RunIo& io, TitledBlockState& state, const FrameState& frame,
                        const CategoryGridTarget& target, int unit_in, int unit_out,
                        std::string_view key, int& ncat, Array1<double>& values) {
  read_category_grid_impl(io, state, frame, target, 1, unit_in, unit_out, key, ncat,
                          [&](int) { return ElementColumn<double>(values); });
}

void READ_CATEGORY_GRID(RunIo& io, TitledBlockState& state, const FrameState& frame,
                        const CategoryGridTarget& target, int q, int unit_in, int unit_out,
                        std::string_view key, int& ncat, Array2<double>& values) {
  if (q < 1 || q > values.extent(2)) {
    throw std::invalid_argument("READ_CATEGORY_GRID: " + std::to_string(q) +
                                " values per element, the table has " +
                                std::to_string(values.extent(2)) + " columns");
  }
  read_category_grid_impl(io, state, frame, target, q, unit_in, unit_out, key, ncat,
                          [&](int k) { return ElementColumn<double>(values, values.lower(2) + k - 1); });
}

}  // namespace quendal
