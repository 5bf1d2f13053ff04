#include "contaminant/cm_data_file.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "include/dimensions.h"
#include "services/contaminant_sections.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/titled_block.h"

namespace quendal {

namespace {

std::string i6(long long value) { return edit_integer(value, 6); }
std::string i3(long long value) { return edit_integer(value, 3); }

// A row of a row block names its element, soil type or contaminant by its first value,
// a real: rounded to the nearest integer, halves away from zero. A value that is not
// finite or lies beyond 1e9 either way names nothing; it is never converted, since the
// conversion would overflow.
constexpr double LARGEST_ROW_INDEX = 1e9;
std::optional<long long> row_index(double value) {
  if (!std::isfinite(value) || std::fabs(value) > LARGEST_ROW_INDEX) return std::nullopt;
  return static_cast<long long>(std::round(value));
}

class Reader {
 public:
  Reader(const FrameState& frame, const SubsurfaceState& subsurface, int nsed,
         ContaminantParameters& cm, RunIo& io)
      : f_(frame), v_(subsurface), nsed_(nsed), cm_(cm), io_(io) {}

  void read();

 private:
  const FrameState& f_;
  const SubsurfaceState& v_;
  const int nsed_;
  ContaminantParameters& cm_;
  RunIo& io_;
  TitledBlockState state_;

  // Counts local to the file: the rows that follow them are bounded by these.
  int nclbnd_ = 0, nconcm_ = 0, nscm_ = 0, nsedcm_ = 0, nfex_ = 0, ncbc_ = 0;
  int default_bottom_cell_ = 0;
  std::vector<int> bottom_cell_pairs_;

  [[noreturn]] void refuse(int number, const std::string& message, const std::string& detail = {}) {
    report_block_fatal(io_, CM_PRINT_UNIT, number, 0, message, detail);
  }
  static std::string read_from(const FieldPlace& place) {
    return "read from " + describe_place(place);
  }

  // Where the values of the last section read stood, its title line left out.
  FieldLog at_;
  template <class Read>
  void placed(Read read) {
    at_ = read_with_places(io_, CM_DATA_UNIT, read);
  }
  const FieldPlace& at(std::size_t i) const {
    static const FieldPlace nowhere;
    return i < at_.size() ? at_[i] : nowhere;
  }

  // One count of the file and the place it was read from: a count of rows that follow
  // cannot be negative.
  struct Count {
    int value = 0;
    FieldPlace place;
  };
  Count nconcm_at_, nscm_at_, nsedcm_at_;
  Count count(std::string_view key, const char* label) {
    Count c;
    c.value = integer(key);
    c.place = at(0);
    if (c.value < 0) {
      refuse_at(c.place, std::string(label) + " = " + std::to_string(c.value) +
                             ": a number of rows cannot be negative");
    }
    return c;
  }

  int integer(std::string_view key) {
    int n = 0;
    placed([&] {
      READ_INTEGER_BLOCK(io_, state_, 0, CM_DATA_UNIT, CM_PRINT_UNIT, key, 1, 1,
                         std::span<int>(&n, 1));
    });
    return n;
  }
  bool logical(std::string_view key) {
    bool b = false;
    READ_LOGICAL_BLOCK(io_, state_, CM_DATA_UNIT, CM_PRINT_UNIT, key, 1, 1, std::span<bool>(&b, 1));
    return b;
  }
  double real(std::string_view key) {
    double x = 0.0;
    placed([&] {
      READ_REAL_BLOCK(io_, state_, 0, CM_DATA_UNIT, CM_PRINT_UNIT, key, 1, 1,
                      std::span<double>(&x, 1));
    });
    return x;
  }
  // na * nb reals in free format; a row block is nb rows of na values.
  std::vector<double> reals(std::string_view key, int na, int nb = 1) {
    std::vector<double> v(static_cast<std::size_t>(na) * static_cast<std::size_t>(nb), 0.0);
    placed([&] { READ_REAL_BLOCK(io_, state_, 0, CM_DATA_UNIT, CM_PRINT_UNIT, key, na, nb, v); });
    return v;
  }
  // One value per contaminant with data, into entries 1..NCONCM of a per-contaminant
  // array, each within the bounds of `quantity`.
  void per_contaminant(std::string_view key, Array1<double>& target, const char* what,
                       Quantity quantity) {
    const std::vector<double> v = reals(key, nconcm_);
    for (int m = 1; m <= nconcm_; ++m) {
      const std::size_t i = static_cast<std::size_t>(m - 1);
      target(m) = v[i];
      require_within(quantity, std::string(what) + " of contaminant " + std::to_string(m), v[i],
                     at(i));
    }
  }
  // Values `first`..`last` of each row of `width` values against the bounds of `quantity`.
  void check_rows(const std::vector<double>& rows, std::size_t width, std::size_t first,
                  std::size_t last, Quantity quantity, const std::string& what) {
    for (std::size_t r = 0; width > 0 && r < rows.size() / width; ++r) {
      for (std::size_t j = first; j <= last && j < width; ++j) {
        const std::size_t i = r * width + j;
        require_within(quantity,
                       what + " (row " + std::to_string(r + 1) + ", value " + std::to_string(j + 1) + ")",
                       rows[i], at(i));
      }
    }
  }

  // Fatal error 3001 when a section of `needed` values would not fit the workspace of
  // NELEE values the file was laid out for.
  void check_workspace(long long needed, const char* what, const char* label, const Count& count) {
    if (needed <= NELEE) return;
    refuse(3001,
           "Insufficient workspace (have NELEE =" + i6(NELEE) + ", need" + i6(needed) +
               ") for the number of " + what + " given (" + label + " =" + i6(count.value) + ")",
           full_value_line(label, count.value, 6) + read_from(count.place));
  }
  // Where a count's own field in a message cannot show it (asterisks), the value in full.
  static std::string full_value_line(const char* label, long long value, int width) {
    if (edit_integer(value, width).find('*') == std::string::npos) return {};
    return trim(label) + " in full: " + std::to_string(value) + "; ";
  }
  // The index of a row of `section`, which must lie in first..last; otherwise fatal
  // error `number`, naming the section and what the index should have been.
  int checked_index(double value, int first, int last, int number, const char* section,
                    const char* what, int row) {
    const std::optional<long long> index = row_index(value);
    if (index && *index >= first && *index <= last) return static_cast<int>(*index);
    refuse(number,
           std::string("Index") + (index ? i6(*index) : std::string(6, '*')) +
               " (given as part of data item " + section + ") is not a valid " + what,
           "Row " + std::to_string(row) + " of " + section + " gives " + free_format_item(value) +
               "; valid: " + std::to_string(first) + " to " + std::to_string(last));
  }
  void check_count(int number, const Count& count, const char* what, const char* label, int limit) {
    if (count.value >= 1 && count.value <= limit) return;
    refuse(number,
           std::string("Number of ") + what + " with data (" + label + " =" + i6(count.value) +
               ") must be positive & not greater than" + i6(limit),
           full_value_line(label, count.value, 6) + read_from(count.place));
  }
  // Rows of (index, NCONCM values) naming column elements, copied into `target`.
  void copy_column_rows(const std::vector<double>& rows, int count, const char* section,
                        Array2<double>& target) {
    const std::size_t width = static_cast<std::size_t>(nconcm_) + 1;
    for (int r = 1; r <= count; ++r) {
      const double* row = rows.data() + (r - 1) * width;
      const int iel = checked_index(row[0], f_.NLF + 1, f_.NEL, 3002, section, "column element", r);
      for (int m = 1; m <= nconcm_; ++m) target(iel, m) = row[m];
    }
  }
  // Rows of (contaminant, n values), copied into target(1..n, contaminant) when given.
  void copy_contaminant_rows(std::string_view key, const char* section, int n,
                             Array2<double>* target, std::optional<Quantity> quantity,
                             const std::string& what) {
    const std::size_t width = static_cast<std::size_t>(n) + 1;
    const std::vector<double> rows = reals(key, n + 1, nconcm_);
    if (quantity) {
      check_rows(rows, width, 1, width - 1, *quantity, what + " of :" + section);
    }
    for (int r = 1; r <= nconcm_; ++r) {
      const double* row = rows.data() + (r - 1) * width;
      const int m = checked_index(row[0], 1, nconcm_, 3007, section, "contaminant number", r);
      if (target == nullptr) continue;
      for (int j = 1; j <= n; ++j) (*target)(j, m) = row[j];
    }
  }

  void read_title_and_columns();
  void read_counts();
  void read_initial_concentrations(int m);
  void read_boundaries();
  void read_soils_and_rates();
};

// ":CM1" to ":CM11": the title, NCON, the base switch and the bottom cells.
void Reader::read_title_and_columns() {
  REPORT_DATA_FILE_STATUS(io_, state_, 0, CM_DATA_UNIT, CM_PRINT_UNIT, "CMD");
  std::vector<std::string> title(1, std::string(BLOCK_LINE_LENGTH, ' '));
  READ_CHARACTER_BLOCK(io_, state_, CM_DATA_UNIT, CM_PRINT_UNIT, ":CM1", 1, 1, title);
  RecordSink& out = io_.units.sink(CM_PRINT_UNIT);
  out.write_record("");
  out.write_record(" " + title[0]);
  out.write_record("");

  cm_.NCON = integer(":CM3");
  cm_.CM_BASE_FLUX_ON = logical(":CM5");
  default_bottom_cell_ = integer(":CM7");
  const Count nclbnd = count(":CM9", "NCLBND");
  nclbnd_ = nclbnd.value;
  if (nclbnd_ > 0) {
    check_workspace(2LL * nclbnd_, "non-default columns", "CM9: NCLBND ", nclbnd);
    bottom_cell_pairs_.assign(2 * static_cast<std::size_t>(nclbnd_), 0);
    READ_INTEGER_BLOCK(io_, state_, 0, CM_DATA_UNIT, CM_PRINT_UNIT, ":CM11", 2, nclbnd_,
                       bottom_cell_pairs_);
  }

  // The bottom cells read here are replaced at initialisation (every column is solved
  // from its lowest cell); they are still read and checked, since files carry them.
  for (int iel = f_.NLF + 1; iel <= f_.NEL; ++iel) {
    cm_.CM_BOTTOM_CELL(iel) =
        default_bottom_cell_ == -1 ? v_.LAYER_BOTTOM_CELL(iel, 1) : default_bottom_cell_;
  }
  for (int p = 1; p <= nclbnd_; ++p) {
    const int iel = bottom_cell_pairs_[2 * static_cast<std::size_t>(p - 1)];
    checked_index(iel, f_.NLF + 1, f_.NEL, 3002, "CM11", "column element", p);
    cm_.CM_BOTTOM_CELL(iel) = bottom_cell_pairs_[2 * static_cast<std::size_t>(p - 1) + 1];
  }
}

// ":CM13" to ":CM23": the sorption switch, the bed depths and the counts with data.
void Reader::read_counts() {
  cm_.CM_NONLINEAR_ON = logical(":CM13");
  cm_.CM_SURFACE_LAYER_DEPTH = real(":CM15");
  require_within(Quantity::DEPTH, "stream-bed surface layer depth", cm_.CM_SURFACE_LAYER_DEPTH,
                 at(0));
  cm_.CM_BED_DEPTH = real(":CM17");
  require_within(Quantity::DEPTH, "stream-bed depth", cm_.CM_BED_DEPTH, at(0));
  auto counted = [&](std::string_view key, Count& c) {
    c.value = integer(key);
    c.place = at(0);
    return c.value;
  };
  nconcm_ = counted(":CM19", nconcm_at_);
  nscm_ = counted(":CM21", nscm_at_);
  nsedcm_ = counted(":CM23", nsedcm_at_);
  check_count(3003, nconcm_at_, "contaminants", "CM19: NCONCM", CM_MAX_CONTAMINANTS);
}

// ":CM25" and its ":CM26" or ":CM26a" to ":CM26e" for contaminant m.
void Reader::read_initial_concentrations(int m) {
  cm_.CM_CATEGORY_TABLES_ON[static_cast<std::size_t>(m)] = logical(":CM25");
  const std::string of = " of contaminant " + std::to_string(m);
  const bool tables = cm_.CM_CATEGORY_TABLES_ON[static_cast<std::size_t>(m)];
  cm_.CM_UNIFORM_REL_CONC(m) = real(tables ? ":CM26a" : ":CM26");
  require_within(Quantity::CONCENTRATION, "uniform initial relative concentration" + of,
                 cm_.CM_UNIFORM_REL_CONC(m), at(0));
  if (!tables) return;
  // The texts of 2101 and 2102 name other sections than the ones they check; users
  // search for them as they stand.
  const int ncat = integer(":CM26b");
  if (ncat < 1 || ncat > CM_MAX_CATEGORIES) {
    refuse(2101, "Error in NCAT in :CM26 in CM data file",
           "NCAT = " + std::to_string(ncat) + " for contaminant " + std::to_string(m) +
               "; valid: 1 to " + std::to_string(CM_MAX_CATEGORIES) + "; " + read_from(at(0)));
  }
  cm_.NCAT(m) = ncat;
  READ_INTEGER_BLOCK_MN(io_, state_, f_, f_.NX, f_.NY, f_.BANKS_ON, ncat, CM_DATA_UNIT,
                        CM_PRINT_UNIT, ":CM26c", ElementColumn<int>(cm_.NCATTY, m));
  for (int k = 1; k <= ncat; ++k) {
    const int ntbl = integer(":CM26d");
    if (ntbl < 1 || ntbl > CM_MAX_TABLE_ROWS) {
      refuse(2102, "Error in NTBL in :CM26a in CM data file",
             "NTBL = " + std::to_string(ntbl) + " for category " + std::to_string(k) +
                 " of contaminant " + std::to_string(m) + "; valid: 1 to " +
                 std::to_string(CM_MAX_TABLE_ROWS) + "; " + read_from(at(0)));
    }
    cm_.NTBL(k, m) = ntbl;
    const std::vector<double> pairs = reals(":CM26e", 2, ntbl);
    const std::string table = " of category " + std::to_string(k) + of;
    check_rows(pairs, 2, 0, 0, Quantity::DEPTH, "depth of the table" + table);
    check_rows(pairs, 2, 1, 1, Quantity::CONCENTRATION,
               "relative concentration of the table" + table);
    for (int j = 1; j <= ntbl; ++j) {
      const std::size_t i = 2 * static_cast<std::size_t>(j - 1);
      cm_.DTAB(k, j, m) = pairs[i];
      cm_.CTAB(k, j, m) = pairs[i + 1];
      if (i + 1 < at_.size()) {
        io_.places.note(cm_table_place_item("DTAB", m), k, j, at_[i]);
        io_.places.note(cm_table_place_item("CTAB", m), k, j, at_[i + 1]);
      }
    }
  }
}

// ":CM27" to ":CM37": rain, boundary inflow and base concentrations.
void Reader::read_boundaries() {
  per_contaminant(":CM27", cm_.CM_RAIN_REL_CONC, "relative concentration of the rain",
                  Quantity::CONCENTRATION);
  const long long width = nconcm_ + 1;

  const Count nfex = count(":CM29", "NFEX");
  nfex_ = nfex.value;
  std::vector<double> rows;
  if (nfex_ > 0) {
    check_workspace(nfex_ * width, "flow-receiving columns", "CM29: NFEX", nfex);
    rows = reals(":CM31", static_cast<int>(width), nfex_);
    check_rows(rows, static_cast<std::size_t>(width), 1, static_cast<std::size_t>(nconcm_),
               Quantity::CONCENTRATION, "relative concentration of the inflow of :CM31");
  }
  for (int m = 1; m <= nconcm_; ++m) {
    for (int iel = f_.NLF + 1; iel <= f_.NEL; ++iel) cm_.CM_INFLOW_REL_CONC(iel, m) = 0.0;
  }
  copy_column_rows(rows, std::max(nfex_, 0), "CM31", cm_.CM_INFLOW_REL_CONC);

  // Only the array of the base condition in force is filled; the other keeps its values.
  Array2<double>& base =
      cm_.CM_BASE_FLUX_ON ? cm_.CM_BASE_FLUX_REL_CONC : cm_.CM_BASE_FIXED_REL_CONC;
  const std::vector<double> base_default = reals(":CM33", nconcm_);
  check_rows(base_default, static_cast<std::size_t>(nconcm_), 0,
             static_cast<std::size_t>(nconcm_) - 1, Quantity::CONCENTRATION,
             "relative concentration at the column base of :CM33");
  for (int m = 1; m <= nconcm_; ++m) {
    for (int iel = f_.NLF + 1; iel <= f_.NEL; ++iel) {
      base(iel, m) = base_default[static_cast<std::size_t>(m - 1)];
    }
  }
  const Count ncbc = count(":CM35", "NCBC");
  ncbc_ = ncbc.value;
  if (ncbc_ > 0) {
    check_workspace(ncbc_ * width, "non-default columns", "CM35: NCBC", ncbc);
    const std::vector<double> base_rows = reals(":CM37", static_cast<int>(width), ncbc_);
    check_rows(base_rows, static_cast<std::size_t>(width), 1, static_cast<std::size_t>(nconcm_),
               Quantity::CONCENTRATION, "relative concentration at the column base of :CM37");
    copy_column_rows(base_rows, ncbc_, "CM37", base);
  }
}

// ":CM39" to ":CM61": surface source, soil compositions and the rate and sorption
// parameters.
void Reader::read_soils_and_rates() {
  per_contaminant(":CM39", cm_.CM_SURFACE_SOURCE, "surface source", Quantity::SURFACE_SOURCE);
  check_count(3004, nscm_at_, "soil types", "CM21: NSCM", NSEE);
  const std::vector<double> soils = reals(":CM41", 4, nscm_);
  check_rows(soils, 4, 1, 3, Quantity::FRACTION, "size-group fraction of a soil of :CM41");
  for (int r = 1; r <= nscm_; ++r) {
    const double* row = soils.data() + 4 * (r - 1);
    const int s = checked_index(row[0], 1, nscm_, 3006, "CM41", "soil type", r);
    for (int z = 1; z <= 3; ++z) cm_.CM_SOIL_SIZE_FRACTIONS(s, z) = row[z];
  }

  per_contaminant(":CM43", cm_.CM_FREUNDLICH_EXPONENT, "Freundlich exponent",
                  Quantity::FREUNDLICH_EXPONENT);
  per_contaminant(":CM45", cm_.CM_DECAY_RATE, "decay rate", Quantity::DECAY_RATE);
  per_contaminant(":CM47", cm_.CM_BED_LAYER_EXCHANGE, "bed layer exchange coefficient",
                  Quantity::BED_EXCHANGE);
  per_contaminant(":CM49", cm_.CM_WATER_BED_EXCHANGE, "water-bed exchange coefficient",
                  Quantity::BED_EXCHANGE);
  check_count(3005, nsedcm_at_, "sediment sizes", "CM23: NSEDCM", NSEDEE);

  copy_contaminant_rows(":CM51", "CM51", nsedcm_, &cm_.CM_SEDIMENT_KD,
                        Quantity::SORPTION_COEFFICIENT, "sorption coefficient on sediment");
  copy_contaminant_rows(":CM53", "CM53", nscm_, &cm_.CM_DEAD_SPACE_EXCHANGE,
                        Quantity::DEAD_SPACE_EXCHANGE, "dead-space exchange coefficient");
  copy_contaminant_rows(":CM55", "CM55", nscm_, &cm_.CM_DYNAMIC_SORPTION_FRACTION,
                        Quantity::FRACTION, "dynamic sorption fraction");

  // Kept in the file for its layout; nothing uses the values.
  reals(":CM57", nscm_);
  reals(":CM59", nconcm_);
  copy_contaminant_rows(":CM61", "CM61", nscm_, nullptr, std::nullopt, "");
}

void Reader::read() {
  read_title_and_columns();
  read_counts();
  for (int m = 1; m <= nconcm_; ++m) read_initial_concentrations(m);
  read_boundaries();
  read_soils_and_rates();
  REPORT_DATA_FILE_STATUS(io_, state_, 1, CM_DATA_UNIT, CM_PRINT_UNIT, "CMD");

  // The file must cover the run.
  if (nconcm_ < cm_.NCON || nscm_ < v_.NS || nsedcm_ < nsed_) {
    const Count* short_count = nconcm_ < cm_.NCON ? &nconcm_at_
                               : nscm_ < v_.NS    ? &nscm_at_
                                                  : &nsedcm_at_;
    const char* label = nconcm_ < cm_.NCON ? "NCONCM" : nscm_ < v_.NS ? "NSCM" : "NSEDCM";
    refuse(CM_COUNT_ERROR,
           "No. of contaminants/soils/sediments with data (CM19-23: NCONCM/NSCM/NSEDCM = " +
               i3(nconcm_) + "/" + i3(nscm_) + "/" + i3(nsedcm_) + ") must be at least " +
               i3(cm_.NCON) + "/" + i3(v_.NS) + "/" + i3(nsed_),
           "NCONCM/NSCM/NSEDCM in full " + std::to_string(nconcm_) + "/" + std::to_string(nscm_) +
               "/" + std::to_string(nsedcm_) + ", at least " + std::to_string(cm_.NCON) + "/" +
               std::to_string(v_.NS) + "/" + std::to_string(nsed_) + "; " + label + " " +
               read_from(short_count->place));
  }
}

}  // namespace

std::string cm_table_place_item(std::string_view array, int m) {
  return std::string(array) + " of contaminant " + std::to_string(m);
}

void CM_READ_DATA_FILE(const FrameState& frame, const SubsurfaceState& subsurface, int nsed,
                       ContaminantParameters& contaminant, RunIo& io) {
  Reader(frame, subsurface, nsed, contaminant, io).read();
}

}  // namespace quendal
