#include "subsurface/vss_data_file.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/titled_block.h"
#include "services/units.h"

namespace quendal {
namespace {

// A profile has room for one layer fewer than a column, so that a link can add its bed
// layer, and entry NLYR + 1 of the layer levels holds the column's top.
constexpr int PROFILE_LAYER_ROOM = NLYREE - 1;
const char* const FACE_NAMES[5] = {"", "E", "N", "W", "S"};

std::string i_text(long long value, int width) { return edit_integer(value, width); }

// Cumulative depths c(0..n) and mid-points m(1..n+1) of a cell zone.
struct Zone {
  std::vector<double> c, m;
  double depth() const { return c.back(); }
  // The depth a layer boundary at depth d moves to, or d when no zone cell holds it.
  double snapped(double d) const {
    for (std::size_t j = 1; j < m.size(); ++j) {
      if (d < m[j]) return c[j - 1];
    }
    return d;
  }
};

Zone make_zone(const Array1<double>& values, double min_thickness) {
  Zone z;
  const long n = values.size();
  z.c.assign(static_cast<std::size_t>(n) + 1, 0.0);
  z.m.assign(static_cast<std::size_t>(n) + 2, 0.0);  // m[0] unused
  for (long j = 1; j <= n; ++j) {
    z.c[j] = z.c[j - 1] + values(j);
    z.m[j] = 0.5 * (z.c[j - 1] + z.c[j]);
  }
  z.m[n + 1] = z.c[n] + min_thickness;
  return z;
}

class Reader {
 public:
  Reader(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss, RunIo& io)
      : f_(frame), s_(surface), v_(vss), io_(io) {}

  void read();

 private:
  const FrameState& f_;
  const SurfaceState& s_;
  SubsurfaceState& v_;
  RunIo& io_;
  TitledBlockState state_;
  bool unused_definition_warned_ = false;
  int base_count_ = 0;  // the eighth count of :VS11, which only decides on :VS17 and :VS18

  RecordSink& print() { return io_.units.print(); }
  std::string where() {
    if (!io_.units.is_open(VSS_DATA_UNIT)) return "VSS data file not open";
    const Unit& u = io_.units.unit(VSS_DATA_UNIT);
    return "file " + u.path() + ", record " + std::to_string(u.record_number());
  }
  [[noreturn]] void refuse(int number, int element, const std::string& message) {
    report_block_fatal(io_, PRINT_UNIT, number, element,
                       message + " (" + trim_right(state_.current_line) + ")", where());
  }
  // The same, with the place of the value refused on the line after it.
  [[noreturn]] void refuse(int number, int element, const std::string& message,
                           const FieldPlace& place) {
    report_block_fatal(io_, PRINT_UNIT, number, element,
                       message + " (" + trim_right(state_.current_line) + ")",
                       value_read_from(place));
  }
  // Refuses a count or index outside first..last.
  void check_room(const char* what, long long value, long long first, long long last,
                  int element = 0) {
    if (value >= first && value <= last) return;
    const std::string message = std::string(what) + i_text(value, 7) + " outside" +
                                i_text(first, 2) + " to" + i_text(last, 6);
    const std::string full = values_in_full(message, {{"value", value}});
    report_block_fatal(io_, PRINT_UNIT, VSS_ROOM_ERROR, element,
                       message + " (" + trim_right(state_.current_line) + ")",
                       full.empty() ? where() : full + "; " + where());
  }

  template <class Read>
  FieldLog placed(Read read, bool titled = true) {
    return read_with_places(io_, VSS_DATA_UNIT, read, titled);
  }
  // The depths of the items of a mode-6 section (item, m, m soils, m depths per item)
  // against the bounds of a depth below the ground.
  void check_item_depths(const FieldLog& log, const char* section) {
    std::size_t at = 0;
    while (at + 1 < log.size()) {
      long item = 0, points = 0;
      if (!parse_fortran_integer(log[at].text, item) ||
          !parse_fortran_integer(log[at + 1].text, points) || points < 0) {
        return;
      }
      const std::size_t reals = at + 2 + static_cast<std::size_t>(points);
      for (long k = 1; k <= points && reals + k - 1 < log.size(); ++k) {
        const FieldPlace& place = log[reals + static_cast<std::size_t>(k) - 1];
        double depth = 0.0;
        parse_fortran_real(place.text, 0, 0, depth);
        require_within(Quantity::DEPTH,
                       std::string("depth of the bottom of layer ") + std::to_string(k) +
                           " of item " + std::to_string(item) + " of " + section,
                       depth, place);
      }
      at = reals + static_cast<std::size_t>(points);
    }
  }

  void ints(std::string_view key, int na, int nb, std::span<int> values) {
    READ_TITLED_BLOCK(io_, state_, TITLED_INTEGERS, VSS_DATA_UNIT, PRINT_UNIT, key, na, nb, 0,
                      nullptr, values, {});
  }
  void reals(std::string_view key, int na, int nb, std::span<double> values) {
    READ_TITLED_BLOCK(io_, state_, TITLED_REALS, VSS_DATA_UNIT, PRINT_UNIT, key, na, nb, 0,
                      nullptr, {}, values);
  }
  // A grid of the catchment (NX columns, NY rows) of codes below `categories`.
  std::vector<int> grid(std::string_view key, int categories) {
    std::vector<int> g(static_cast<std::size_t>(f_.NX) * f_.NY, 0);
    READ_TITLED_BLOCK(io_, state_, TITLED_INTEGER_GRID, VSS_DATA_UNIT, PRINT_UNIT, key, f_.NX,
                      f_.NY, categories, nullptr, g, {});
    return g;
  }
  template <class Fn>
  void for_grid_squares(const std::vector<int>& g, Fn fn) {
    for (int y = 1; y <= f_.NY; ++y) {
      for (int x = 1; x <= f_.NX; ++x) {
        const int e = f_.ICMXY(x, y);
        if (e > 0) fn(e, g[static_cast<std::size_t>(x - 1) + static_cast<std::size_t>(f_.NX) * (y - 1)]);
      }
    }
  }

  void size_state();
  void read_options();
  void read_soils();
  void read_soil_table(int soil);
  void read_zones();
  void read_layers();
  void set_profile(int e, int item, const Array2<int>& soils, const Array2<double>& depths,
                   Array1<char>& marked);
  void read_link_beds();
  void read_aquifer_connections();
  void read_wells_and_springs();
  void read_lateral_boundaries();
  void read_base_boundaries();
};

void Reader::size_state() {
  const int nel = f_.NEL;
  v_.NLYR.resize(nel, 0);
  v_.NTSOIL.resize(nel, NLYREE, 0);
  v_.LAYER_BOTTOM_LEVEL.resize(nel, NLYREE + 1, 0.0);
  v_.WELL_NUMBER.resize(nel, 0);
  v_.WELL_SERIES_COLUMN.resize(nel, 1);
  v_.WELL_WATER_SOURCE.resize(nel, 0);
  v_.WELL_SCREEN_BOTTOM_DEPTH.resize(VSS_WELL_ROOM, 0.0);
  v_.WELL_SCREEN_TOP_DEPTH.resize(VSS_WELL_ROOM, 0.0);
  v_.SPRING_DEPTH.resize(nel, 0.0);
  v_.SPRING_LEVEL.resize(nel, 0.0);
  v_.SPRING_COEFFICIENT.resize(nel, 0.0);
  v_.LATERAL_BOUNDARY_TYPE.resize(nel, 0);
  v_.LATERAL_BOUNDARY_CATEGORY.resize(nel, 1);
  v_.LATERAL_BOUNDARY_FACE.resize(nel, 0);
  v_.BASE_BOUNDARY_TYPE.resize(nel, 0);
  v_.BASE_BOUNDARY_CATEGORY.resize(nel, 1);
  for (VssBoundaryLayers* b : {&v_.LFB, &v_.LHB, &v_.LGB}) {
    b->count.resize(VSS_CATEGORY_ROOM, 0);
    b->layers.resize(VSS_CATEGORY_LAYER_ROOM, VSS_CATEGORY_ROOM, 0);
    b->series_columns = 0;
  }
  v_.IAQCON_COUNT = 0;
  v_.IAQCON.resize(4, 0);
}

// :VS01, :VS03, :VS04.
void Reader::read_options() {
  std::string description(80, ' ');
  READ_TITLED_BLOCK(io_, state_, TITLED_TEXT, VSS_DATA_UNIT, PRINT_UNIT, ":VS01", 0, 0, 0,
                    &description, {}, {});
  print().write_record("");
  print().write_record(trim_right(description));
  print().write_record("");
  std::string dropped(80, ' ');
  read_section_texts(io_, state_, VSS_DATA_UNIT, PRINT_UNIT, 5, 1, 1,
                     std::span<std::string>(&dropped, 1));
  bool options[3] = {false, false, false};
  read_section_list(io_, state_, VSS_DATA_UNIT, PRINT_UNIT, 5, "logical", 3, 1,
                    std::span<bool>(options, 3));
  v_.VSS_SHORT_TABLES = options[0];
  v_.VSS_PRINT_SOIL_TABLES = options[1];
  v_.LHB_AS_LEVELS = options[2];

  int counts[4] = {0, 0, 0, 0};
  ints(":VS03", 4, 1, counts);
  check_room("Number of soil types NS =", counts[0], 1, NSEE);
  check_room("Number of near-surface cells =", counts[1], 0, MAX_CELLS_PER_COLUMN);
  check_room("Number of river-bed cells =", counts[2], 0, MAX_CELLS_PER_COLUMN);
  v_.NS = counts[0];
  v_.VSS_SURFACE_CELL_COUNT = counts[1];
  v_.VSS_BED_CELL_COUNT = counts[2];
  v_.VSS_INITIAL_MODE = counts[3];

  double values[5] = {0, 0, 0, 0, 0};
  const FieldLog at = placed([&] { reals(":VS04", 5, 1, values); });
  v_.VSS_INITIAL_DEPTH = values[0];
  v_.VSS_MIN_CELL_THICKNESS = values[1];
  // The cell count of a layer is its thickness over the cell size.
  if (!(values[2] > 0.0)) {
    refuse(VSS_SOIL_ERROR, 0,
           "Default cell size" + edit_general(values[2], 12, 4) + " m must be positive", at[2]);
  }
  // A negative initial depth puts the water table above the ground, under standing water.
  if (values[0] < -bound_of(Quantity::WATER_DEPTH).upper) {
    refuse_at(at[0], "initial depth of the phreatic surface = " + value_text(values[0]) +
                         " m lies deeper under water than any lake: at least " +
                         value_text(-bound_of(Quantity::WATER_DEPTH).upper) + " m");
  }
  require_at_most(Quantity::DEPTH, "initial depth of the phreatic surface", values[0], at[0]);
  require_within(Quantity::DEPTH, "least cell thickness", values[1], at[1]);
  require_within(Quantity::DEPTH, "default cell size", values[2], at[2]);
  v_.VSS_DEFAULT_CELL_SIZE = values[2] + 1e-6;
  v_.VERTICAL_MEAN_EXPONENT = values[3];
  v_.LATERAL_MEAN_EXPONENT = values[4];
}

// :VS05.
void Reader::read_soils() {
  const int ns = v_.NS;
  Array2<int> codes(ns, 3, 0);
  Array2<double> params(ns, 8, 0.0);
  // Per soil: three integers, then the eight reals.
  const FieldLog at = placed([&] {
    READ_TITLED_BLOCK(io_, state_, TITLED_SOILS, VSS_DATA_UNIT, PRINT_UNIT, ":VS05", ns, 0, ns,
                      nullptr, storage_of(codes), storage_of(params));
  });
  auto place = [&](int s, int k) -> const FieldPlace& {
    return at[static_cast<std::size_t>(11 * (s - 1) + 3 + (k - 1))];
  };
  v_.SOIL_FUNCTION_TYPE.resize(ns, 0);
  v_.SOIL_TABLE_ROWS.resize(ns, 0);
  for (Array1<double>* a : {&v_.SOIL_KX, &v_.SOIL_KY, &v_.SOIL_KZ, &v_.THSAT,
                            &v_.SOIL_RESIDUAL_THETA, &v_.SOIL_SPECIFIC_STORAGE, &v_.SOIL_VG_N,
                            &v_.SOIL_VG_ALPHA}) {
    a->resize(ns, 0.0);
  }
  for (Array2<double>* a : {&v_.SOIL_TABLE_PSI, &v_.SOIL_TABLE_THETA, &v_.SOIL_TABLE_K,
                            &v_.SOIL_TABLE_THETA_D2, &v_.SOIL_TABLE_K_D2}) {
    a->resize(VSS_TABLE_ROWS_ROOM, ns, 0.0);
  }
  for (int s = 1; s <= ns; ++s) {
    const int type = codes(s, 2);
    v_.SOIL_FUNCTION_TYPE(s) = type;
    v_.SOIL_TABLE_ROWS(s) = codes(s, 3);
    v_.SOIL_KX(s) = params(s, 1) / 86400.0;
    v_.SOIL_KY(s) = params(s, 2) / 86400.0;
    v_.SOIL_KZ(s) = params(s, 3) / 86400.0;
    v_.THSAT(s) = params(s, 4);
    v_.SOIL_RESIDUAL_THETA(s) = params(s, 5);
    v_.SOIL_SPECIFIC_STORAGE(s) = params(s, 6);
    v_.SOIL_VG_N(s) = params(s, 7);
    v_.SOIL_VG_ALPHA(s) = params(s, 8);
    const std::string soil = "Soil" + i_text(s, 5) + ": ";
    if (type < SOIL_VAN_GENUCHTEN || type > SOIL_NOT_AVAILABLE) {
      refuse(VSS_SOIL_ERROR, 0,
             soil + "function type" + i_text(type, 4) +
                 " is not 1 (van Genuchten), 2 (tabulated), 3 (exponential) or 4",
             at[static_cast<std::size_t>(11 * (s - 1) + 1)]);
    }
    // Effective saturation divides by the difference of the two moisture contents.
    if (!(v_.THSAT(s) > 0.0) || !(v_.THSAT(s) > v_.SOIL_RESIDUAL_THETA(s))) {
      refuse(VSS_SOIL_ERROR, 0,
             soil + "saturated moisture content" + edit_general(v_.THSAT(s), 12, 4) +
                 " must be positive and above the residual" +
                 edit_general(v_.SOIL_RESIDUAL_THETA(s), 12, 4),
             place(s, 4));
    }
    // m = 1 - 1/n must be positive, or the retention curve does not fall with suction.
    if (type == SOIL_VAN_GENUCHTEN && !(v_.SOIL_VG_N(s) > 1.0)) {
      refuse(VSS_SOIL_ERROR, 0,
             soil + "van Genuchten n" + edit_general(v_.SOIL_VG_N(s), 12, 4) +
                 " must be greater than 1",
             place(s, 7));
    }
    const std::string of = " of soil " + std::to_string(s);
    require_within(Quantity::CONDUCTIVITY, "Kx" + of, params(s, 1), place(s, 1));
    require_within(Quantity::CONDUCTIVITY, "Ky" + of, params(s, 2), place(s, 2));
    require_within(Quantity::CONDUCTIVITY, "Kz" + of, params(s, 3), place(s, 3));
    require_within(Quantity::MOISTURE_CONTENT, "saturated moisture content" + of, v_.THSAT(s),
                   place(s, 4));
    require_within(Quantity::MOISTURE_CONTENT, "residual moisture content" + of,
                   v_.SOIL_RESIDUAL_THETA(s), place(s, 5));
    require_within(Quantity::SPECIFIC_STORAGE, "specific storage" + of,
                   v_.SOIL_SPECIFIC_STORAGE(s), place(s, 6));
    if (type == SOIL_VAN_GENUCHTEN || type == SOIL_EXPONENTIAL) {
      require_within(Quantity::VAN_GENUCHTEN_ALPHA, "alpha" + of, v_.SOIL_VG_ALPHA(s),
                     place(s, 8));
    }
  }
  for (int s = 1; s <= ns; ++s) {
    const int type = v_.SOIL_FUNCTION_TYPE(s);
    if (type == SOIL_TABULATED || type == SOIL_NOT_AVAILABLE) read_soil_table(s);
  }
}

// The rows of tabulated soil s: a header record naming it, then psi, theta / THSAT, K
// per record, wet to dry.
void Reader::read_soil_table(int s) {
  const int rows = v_.SOIL_TABLE_ROWS(s);
  // The spline needs two rows at least.
  if (rows < 2 || rows > VSS_TABLE_ROWS_ROOM) {
    refuse(VSS_ROOM_ERROR, 0,
           "Soil" + i_text(s, 5) + ": table rows" + i_text(rows, 6) + " outside 2 to" +
               i_text(VSS_TABLE_ROWS_ROOM, 4));
  }
  int header = 0;
  read_section_list(io_, state_, VSS_DATA_UNIT, PRINT_UNIT, 14, "integer", 1, 1,
                    std::span<int>(&header, 1));
  if (header != s) {
    REPORT_ERROR(io_, SEVERITY_FATAL, 1051, PRINT_UNIT, 0, 0,
                 format_line("('Soil type ',I4,' not expected for soil property tables.')", s));
  }
  for (int r = 1; r <= rows; ++r) {
    double row[3] = {0, 0, 0};
    const FieldLog at = placed(
        [&] {
          read_section_list(io_, state_, VSS_DATA_UNIT, PRINT_UNIT, 14, "floating-point", 3, 1,
                            std::span<double>(row, 3));
        },
        false);
    v_.SOIL_TABLE_PSI(r, s) = row[0];
    v_.SOIL_TABLE_THETA(r, s) = row[1];
    v_.SOIL_TABLE_K(r, s) = row[2];
    // The spline runs on log10(-psi), which must rise from row to row.
    const bool negative = row[0] < 0.0;
    const bool decreasing = r == 1 || row[0] < v_.SOIL_TABLE_PSI(r - 1, s);
    if (!negative || !decreasing) {
      refuse(VSS_SOIL_ERROR, 0,
             "Soil" + i_text(s, 5) + ", table row" + i_text(r, 3) + ": psi" +
                 edit_general(row[0], 12, 4) +
                 " m must be negative and below the row before (wet to dry)",
             at[0]);
    }
    require_within(Quantity::FRACTION,
                   "moisture content (a fraction of THSAT) of table row " + std::to_string(r) +
                       " of soil " + std::to_string(s),
                   row[1], at[1]);
  }
  std::vector<double> x(static_cast<std::size_t>(rows)), y(x.size()), d2(x.size());
  for (int r = 1; r <= rows; ++r) x[r - 1] = std::log10(-v_.SOIL_TABLE_PSI(r, s));
  for (int r = 1; r <= rows; ++r) y[r - 1] = v_.SOIL_TABLE_THETA(r, s);
  natural_spline_second_derivatives(x.data(), y.data(), rows, d2.data());
  for (int r = 1; r <= rows; ++r) v_.SOIL_TABLE_THETA_D2(r, s) = d2[r - 1];
  if (v_.SOIL_FUNCTION_TYPE(s) == SOIL_TABULATED) {
    for (int r = 1; r <= rows; ++r) y[r - 1] = v_.SOIL_TABLE_K(r, s);
    natural_spline_second_derivatives(x.data(), y.data(), rows, d2.data());
    for (int r = 1; r <= rows; ++r) v_.SOIL_TABLE_K_D2(r, s) = d2[r - 1];
    // Relative conductivity is Se squared for every soil function, so that results stay
    // comparable between soils and with existing data sets.
    REPORT_ERROR(io_, SEVERITY_WARNING, VSS_NOTICE, PRINT_UNIT, 0, 0,
                 "Soil" + i_text(s, 5) +
                     ": the conductivity column of its table is not used; relative "
                     "conductivity is Se**2");
  }
}

// :VS06, :VS07 and the zone depths.
void Reader::read_zones() {
  v_.DCSZON.resize(v_.VSS_SURFACE_CELL_COUNT, 0.0);
  v_.DCRBED.resize(v_.VSS_BED_CELL_COUNT, 0.0);
  FieldLog surface_places, bed_places;
  if (v_.VSS_SURFACE_CELL_COUNT > 0) {
    surface_places =
        placed([&] { reals(":VS06", v_.VSS_SURFACE_CELL_COUNT, 1, storage_of(v_.DCSZON)); });
  }
  if (v_.VSS_BED_CELL_COUNT > 0) {
    bed_places = placed([&] { reals(":VS07", v_.VSS_BED_CELL_COUNT, 1, storage_of(v_.DCRBED)); });
  }
  for (const auto& [zone, places] : {std::pair{&v_.DCSZON, &surface_places},
                                     std::pair{&v_.DCRBED, &bed_places}}) {
    for (int j = 1; j <= zone->size(); ++j) {
      const double dz = (*zone)(j);
      const FieldPlace& place = (*places)[static_cast<std::size_t>(j - 1)];
      if (!(dz > 0.0)) {
        refuse(VSS_SOIL_ERROR, 0,
               "Cell zone thickness" + edit_general(dz, 12, 4) + " m must be positive", place);
      }
      require_within(Quantity::DEPTH, "cell zone thickness " + std::to_string(j), dz, place);
    }
  }
  print().write_record(free_format_record(FormatArgs("DCSZON: ").add(v_.DCSZON)));
  print().write_record(free_format_record(FormatArgs("DCRBED: ").add(v_.DCRBED)));
  v_.VSS_SURFACE_ZONE_DEPTH = make_zone(v_.DCSZON, 0.0).depth();
  v_.VSS_BED_ZONE_DEPTH = make_zone(v_.DCRBED, 0.0).depth();
}

// Element e takes profile `item` of the table: a grid square (or bank) its layers below
// its own ground, a link (banks on) its banks' layers and those of its own below the
// bed.
void Reader::set_profile(int e, int item, const Array2<int>& soils, const Array2<double>& depths,
                         Array1<char>& marked) {
  int n = 0;
  while (n < PROFILE_LAYER_ROOM && soils(item, n + 1) != 0) ++n;
  for (int k = 1; k <= n; ++k) {
    check_room("Soil type", soils(item, k), 1, v_.NS, e);
  }
  auto as_square = [&](int el) {
    marked(el) = 1;
    v_.NLYR(el) = n;
    for (int k = 1; k <= n; ++k) {
      v_.NTSOIL(el, k) = soils(item, k);
      v_.LAYER_BOTTOM_LEVEL(el, k) = f_.ZGRUND(el) - depths(item, k);
    }
  };
  if (f_.ICMREF(e, 1, 1) != KIND_CHANNEL_LINK) {
    as_square(e);
    return;
  }
  marked(e) = 1;
  const int side1 = f_.LINK_BANK_ELEMENT(e, 1), side2 = f_.LINK_BANK_ELEMENT(e, 2);
  as_square(side1);
  as_square(side2);
  const double t = v_.VSS_MIN_CELL_THICKNESS - s_.LINK_EQUIVALENT_BED(e) + f_.ZGRUND(side2);
  int kept = 0;
  while (kept < n && depths(item, kept + 1) >= t) ++kept;
  v_.NLYR(e) = kept;
  for (int k = 1; k <= kept; ++k) {
    v_.NTSOIL(e, k) = v_.NTSOIL(side2, k);
    v_.LAYER_BOTTOM_LEVEL(e, k) = v_.LAYER_BOTTOM_LEVEL(side2, k);
  }
}

// :VS08 to :VS08d, then the fits to the cell zones.
void Reader::read_layers() {
  const int nlf = f_.NLF, nel = f_.NEL;
  const bool banks = f_.BANKS_ON;
  int counts[2] = {0, 0};
  ints(":VS08", 2, 1, counts);
  const int profiles = counts[0], nelem = counts[1];
  check_room("Number of layer profiles =", profiles, 0, std::max(nel, 1));
  check_room("Number of elements with their own layers NELEM =", nelem, 0, nel);
  auto eligible = [&](int e) {
    const int kind = f_.ICMREF(e, 1, 1);
    return kind == KIND_GRID_SQUARE || (banks && kind == KIND_CHANNEL_LINK);
  };
  Array1<char> marked(nel, 0);
  Array1<int> profile_of(nel, 0);
  int without_profile = 0;
  if (profiles != 0) {
    Array2<int> soils(profiles, PROFILE_LAYER_ROOM, 0);
    Array2<double> depths(profiles, PROFILE_LAYER_ROOM, 0.0);
    check_item_depths(placed([&] {
                        READ_TITLED_BLOCK(io_, state_, TITLED_ITEMS, VSS_DATA_UNIT, PRINT_UNIT,
                                          ":VS08a", profiles, 0, profiles, nullptr,
                                          storage_of(soils), storage_of(depths));
                      }),
                      ":VS08a");
    if (profiles == 1) {
      for (int e = 1; e <= nel; ++e) profile_of(e) = 1;
    } else {
      if (banks && nlf > 0) {
        std::vector<int> links(static_cast<std::size_t>(nlf), 0);
        ints(":VS08b", nlf, 1, links);
        for (int l = 1; l <= nlf; ++l) {
          check_room("Layer profile of link", links[l - 1], 0, profiles, l);
          profile_of(l) = links[l - 1];
        }
      }
      const std::vector<int> g = grid(":VS08c", profiles);
      for_grid_squares(g, [&](int e, int p) {
        check_room("Layer profile of grid square", p, 0, profiles, e);
        profile_of(e) = p;
      });
    }
    for (int e = 1; e <= nel; ++e) {
      if (!eligible(e)) continue;
      if (profile_of(e) == 0) {
        ++without_profile;
      } else {
        set_profile(e, profile_of(e), soils, depths, marked);
      }
    }
  } else {
    without_profile = banks ? nel - 2 * nlf : nel - nlf;
  }
  if (without_profile != nelem) {
    REPORT_ERROR(io_, SEVERITY_FATAL, 1032, PRINT_UNIT, 0, 0,
                 format_line("('Error in number of VSS layer elements. ','NELEM should be ',I4)",
                             without_profile));
  }
  if (nelem != 0) {
    Array2<int> soils(nel, PROFILE_LAYER_ROOM, 0);
    Array2<double> depths(nel, PROFILE_LAYER_ROOM, 0.0);
    check_item_depths(placed([&] {
                        READ_TITLED_BLOCK(io_, state_, TITLED_ITEMS, VSS_DATA_UNIT, PRINT_UNIT,
                                          ":VS08d", nel, 0, nelem, nullptr, storage_of(soils),
                                          storage_of(depths));
                      }),
                      ":VS08d");
    for (int e = 1; e <= nel; ++e) {
      if (eligible(e) && !marked(e)) set_profile(e, e, soils, depths, marked);
    }
  }

  // Layer boundaries near the ground move to the boundaries of the near-surface cells.
  const Zone surface_zone = make_zone(v_.DCSZON, v_.VSS_MIN_CELL_THICKNESS);
  for (int e = f_.NGDBGN; e <= nel; ++e) {
    const int n = v_.NLYR(e);
    if (n <= 0) continue;
    for (int k = n; k >= 1; --k) {
      const double d = f_.ZGRUND(e) - v_.LAYER_BOTTOM_LEVEL(e, k);
      if (d > v_.VSS_SURFACE_ZONE_DEPTH + v_.VSS_MIN_CELL_THICKNESS) break;
      v_.LAYER_BOTTOM_LEVEL(e, k) = f_.ZGRUND(e) - surface_zone.snapped(d);
    }
    v_.LAYER_BOTTOM_LEVEL(e, n + 1) = f_.ZGRUND(e);
  }
  if (banks) {
    for (int l = 1; l <= nlf; ++l) {
      const int side1 = f_.LINK_BANK_ELEMENT(l, 1);
      for (int k = 1; k <= v_.NLYR(l); ++k) {
        v_.LAYER_BOTTOM_LEVEL(l, k) = v_.LAYER_BOTTOM_LEVEL(side1, k);
      }
    }
  }
  for (int e = 1; e <= nel; ++e) {
    const bool needs_layers = banks ? true : f_.ICMREF(e, 1, 1) == KIND_GRID_SQUARE;
    if (needs_layers && (!marked(e) || v_.NLYR(e) == 0)) {
      const std::string message =
          format_line("('Error reading VSS layers for element ',I4,'.')", e);
      REPORT_ERROR(io_, SEVERITY_ERROR, 1033, PRINT_UNIT, 0, 0, message);
      const std::string full = values_in_full(message, {{"element", e}});
      if (!full.empty()) REPORT_ERROR(io_, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, full);
      ++v_.VSS_ERROR_COUNT;
    }
  }
}

// :VS09, :VS09a: the bed layer of every link, then the fit to the bed cells.
void Reader::read_link_beds() {
  const int nlf = f_.NLF;
  if (!f_.BANKS_ON || nlf <= 0) return;
  std::vector<int> soil(static_cast<std::size_t>(nlf), 0);
  std::vector<double> thickness(static_cast<std::size_t>(nlf), 0.0);
  ints(":VS09", nlf, 1, soil);
  const FieldLog at = placed([&] { reals(":VS09a", nlf, 1, thickness); });
  for (int l = 1; l <= nlf; ++l) {
    require_within(Quantity::DEPTH, "bed layer thickness of link " + std::to_string(l),
                   thickness[l - 1], at[static_cast<std::size_t>(l - 1)]);
  }
  const double min_thickness = v_.VSS_MIN_CELL_THICKNESS;
  for (int l = 1; l <= nlf; ++l) {
    const double h = thickness[l - 1];
    const int n = v_.NLYR(l);
    if (!(h > min_thickness) || n < 1) continue;
    check_room("Bed soil type of link", soil[l - 1], 1, v_.NS, l);
    const double z = s_.LINK_EQUIVALENT_BED(l) - h;
    if (v_.LAYER_BOTTOM_LEVEL(l, n) + min_thickness <= z) {
      v_.NLYR(l) = n + 1;
      v_.NTSOIL(l, n + 1) = soil[l - 1];
      v_.LAYER_BOTTOM_LEVEL(l, n + 1) = z;
    } else {
      v_.NTSOIL(l, n) = soil[l - 1];
    }
  }
  const Zone bed_zone = make_zone(v_.DCRBED, min_thickness);
  for (int l = 1; l <= nlf; ++l) {
    const int n = v_.NLYR(l);
    if (n <= 0) continue;
    const double bed = s_.LINK_EQUIVALENT_BED(l);
    for (int k = n; k >= 1; --k) {
      const double d = bed - v_.LAYER_BOTTOM_LEVEL(l, k);
      if (d > min_thickness + v_.VSS_BED_ZONE_DEPTH) break;
      v_.LAYER_BOTTOM_LEVEL(l, k) = bed - bed_zone.snapped(d);
    }
    v_.LAYER_BOTTOM_LEVEL(l, n + 1) = bed;
  }
}

// :VS10, :VS10a.
void Reader::read_aquifer_connections() {
  int count = 0;
  ints(":VS10", 1, 1, std::span<int>(&count, 1));
  // Room: one entry for every layer of every face of every element.
  check_room("Number of aquifer connections IAQCON =", count, 0,
             static_cast<long long>(f_.NEL) * NLYREE * 4);
  v_.IAQCON_COUNT = count;
  v_.IAQCON.resize(4, count, 0);
  if (count > 0) {
    ints(":VS10a", 4, count, storage_of(v_.IAQCON));
    for (int j = 1; j <= count; ++j) {
      check_room("Element of an aquifer connection", v_.IAQCON(1, j), 1, f_.NEL);
      check_room("Element of an aquifer connection", v_.IAQCON(3, j), 1, f_.NEL);
    }
  }
}

// :VS11 to :VS13b.
void Reader::read_wells_and_springs() {
  int counts[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  ints(":VS11", 8, 1, counts);
  const int nel = f_.NEL;
  check_room("Number of well series columns =", counts[0], 0, nel);
  check_room("Number of springs =", counts[1], 0, nel);
  check_room("Number of LFB categories =", counts[2], 0, VSS_CATEGORY_ROOM);
  check_room("Number of LHB categories =", counts[3], 0, VSS_CATEGORY_ROOM);
  check_room("Number of LGB categories =", counts[4], 0, VSS_CATEGORY_ROOM);
  check_room("Number of BFB categories =", counts[5], 0, nel);
  check_room("Number of BHB categories =", counts[6], 0, nel);
  v_.VSS_WELL_COUNT = counts[0];
  v_.VSS_SPRING_COUNT = counts[1];
  v_.VSS_LFB_COUNT = counts[2];
  v_.VSS_LHB_COUNT = counts[3];
  v_.VSS_LGB_COUNT = counts[4];
  v_.VSS_BFB_COUNT = counts[5];
  v_.VSS_BHB_COUNT = counts[6];
  base_count_ = counts[7];

  if (v_.VSS_WELL_COUNT > 0) {
    int rows = 0;
    ints(":VS12", 1, 1, std::span<int>(&rows, 1));
    check_room("Number of wells =", rows, 0, VSS_WELL_ROOM);
    std::vector<int> wells(static_cast<std::size_t>(3 * rows), 0);
    std::vector<double> screens(static_cast<std::size_t>(2 * rows), 0.0);
    ints(":VS12a", 3, rows, wells);
    for (int j = 1; j <= rows; ++j) {
      const int e = wells[3 * (j - 1)], column = wells[3 * (j - 1) + 1],
                r = wells[3 * (j - 1) + 2];
      check_room("Well element", e, 1, nel);
      check_room("Well series column", column, -2147483647, v_.VSS_WELL_COUNT, e);
      check_room("Element receiving well water", r, 0, nel, e);
      if (f_.BANKS_ON && f_.ICMREF(e, 1, 1) == KIND_CHANNEL_LINK) {
        refuse(VSS_PLACEMENT_ERROR, e,
               "Well on channel link" + i_text(e, 6) + ": a link has no cells to screen");
      }
      v_.WELL_SERIES_COLUMN(e) = std::max(column, 1);
      if (r > 0) v_.WELL_WATER_SOURCE(r) = e;
      v_.WELL_NUMBER(e) = j;
    }
    const FieldLog at = placed([&] { reals(":VS12b", 2, rows, screens); });
    for (int j = 1; j <= rows; ++j) {
      v_.WELL_SCREEN_BOTTOM_DEPTH(j) = screens[2 * (j - 1)];
      v_.WELL_SCREEN_TOP_DEPTH(j) = screens[2 * (j - 1) + 1];
      const std::string of = " of well row " + std::to_string(j);
      require_within(Quantity::DEPTH, "screen bottom depth" + of, screens[2 * (j - 1)],
                     at[static_cast<std::size_t>(2 * (j - 1))]);
      require_within(Quantity::DEPTH, "screen top depth" + of, screens[2 * (j - 1) + 1],
                     at[static_cast<std::size_t>(2 * (j - 1) + 1)]);
    }
  }

  const int springs = v_.VSS_SPRING_COUNT;
  if (springs > 0) {
    std::vector<int> rows(static_cast<std::size_t>(2 * springs), 0);
    std::vector<double> values(static_cast<std::size_t>(3 * springs), 0.0);
    ints(":VS13a", 2, springs, rows);
    for (int j = 1; j <= springs; ++j) check_room("Spring element", rows[2 * (j - 1)], 1, nel);
    const FieldLog at = placed([&] { reals(":VS13b", 3, springs, values); });
    for (int j = 1; j <= springs; ++j) {
      const int e = rows[2 * (j - 1)];
      const std::string of = " of spring row " + std::to_string(j);
      auto place = [&](int k) -> const FieldPlace& {
        return at[static_cast<std::size_t>(3 * (j - 1) + k)];
      };
      // A depth of 0 or less places no spring.
      require_at_most(Quantity::DEPTH, "spring depth" + of, values[3 * (j - 1)], place(0));
      require_within(Quantity::ELEVATION, "spring outlet level" + of, values[3 * (j - 1) + 1],
                     place(1));
      require_within(Quantity::SPRING_COEFFICIENT, "spring discharge coefficient" + of,
                     values[3 * (j - 1) + 2], place(2));
      v_.SPRING_DEPTH(e) = values[3 * (j - 1)];
      v_.SPRING_LEVEL(e) = values[3 * (j - 1) + 1];
      v_.SPRING_COEFFICIENT(e) = values[3 * (j - 1) + 2];
    }
  }
}

// :VS14 to :VS16b.
void Reader::read_lateral_boundaries() {
  const int count = std::max({v_.VSS_LFB_COUNT, v_.VSS_LHB_COUNT, v_.VSS_LGB_COUNT});
  if (count <= 0) return;
  for_grid_squares(grid(":VS14", count), [&](int e, int t) { v_.LATERAL_BOUNDARY_TYPE(e) = t; });
  for_grid_squares(grid(":VS15", count),
                   [&](int e, int g) { v_.LATERAL_BOUNDARY_CATEGORY(e) = std::max(g, 1); });
  v_.LFB.series_columns = v_.VSS_LFB_COUNT;
  v_.LHB.series_columns = v_.VSS_LHB_COUNT;
  v_.LGB.series_columns = v_.VSS_LGB_COUNT;
  int definitions = 0;
  ints(":VS16", 1, 1, std::span<int>(&definitions, 1));
  check_room("Number of boundary definitions =", definitions, 0, 2147483647);
  for (int d = 1; d <= definitions; ++d) {
    int head[3] = {0, 0, 0};
    ints(":VS16a", 3, 1, head);
    const int type = head[0], category = head[1], n = head[2];
    check_room("Number of boundary layers =", n, 0, VSS_CATEGORY_LAYER_ROOM);
    std::vector<int> layers(static_cast<std::size_t>(n), 0);
    ints(":VS16b", n, 1, layers);
    VssBoundaryLayers* b = type == VSS_LATERAL_FLOW   ? &v_.LFB
                           : type == VSS_LATERAL_HEAD ? &v_.LHB
                           : type == VSS_LATERAL_HEAD_GRADIENT ? &v_.LGB
                                                                : nullptr;
    if (!b) {
      if (!unused_definition_warned_) {
        unused_definition_warned_ = true;
        REPORT_ERROR(io_, SEVERITY_WARNING, VSS_NOTICE, PRINT_UNIT, 0, 0,
                     "Boundary definition of type" + i_text(type, 4) +
                         " (and any other than 3, 4, 5) is read and has no effect");
      }
      continue;
    }
    const int categories = type == VSS_LATERAL_FLOW   ? v_.VSS_LFB_COUNT
                           : type == VSS_LATERAL_HEAD ? v_.VSS_LHB_COUNT
                                                      : v_.VSS_LGB_COUNT;
    check_room("Boundary definition category", category, 1, categories);
    for (int layer : layers) check_room("Boundary layer", layer, 1, NLYREE);
    b->count(category) = n;
    b->series_columns += n - 1;
    for (int i = 1; i <= n; ++i) b->layers(i, category) = layers[i - 1];
  }

  // Every lateral boundary acts on the first face without a neighbour; it needs one,
  // and the layers its category lists must exist in the column.
  std::vector<int> gradient_elements;
  for (int e = 1; e <= f_.NEL; ++e) {
    const int type = v_.LATERAL_BOUNDARY_TYPE(e);
    const VssBoundaryLayers* b = type == VSS_LATERAL_FLOW   ? &v_.LFB
                                 : type == VSS_LATERAL_HEAD ? &v_.LHB
                                 : type == VSS_LATERAL_HEAD_GRADIENT ? &v_.LGB
                                                                      : nullptr;
    if (!b) continue;
    const int categories = type == VSS_LATERAL_FLOW   ? v_.VSS_LFB_COUNT
                           : type == VSS_LATERAL_HEAD ? v_.VSS_LHB_COUNT
                                                      : v_.VSS_LGB_COUNT;
    const int g = v_.LATERAL_BOUNDARY_CATEGORY(e);
    check_room("Lateral boundary category", g, 1, categories, e);
    for (int i = 1; i <= b->count(g); ++i) {
      check_room("Lateral boundary layer", b->layers(i, g), 1, v_.NLYR(e), e);
    }
    const int face = f_.NBFACE(e);
    if (face < 1) {
      refuse(VSS_PLACEMENT_ERROR, e,
             "Lateral boundary of type" + i_text(type, 2) + " on element" + i_text(e, 6) +
                 ", which has no face without a neighbour");
    }
    v_.LATERAL_BOUNDARY_FACE(e) = face;
    write_formatted(print(),
                    "(' Lateral boundary of type',I2,', category',I3,' on element',I6,"
                    "' acts on face',I2,' (',A,')')",
                    type, g, e, face, FACE_NAMES[face]);
    if (type == VSS_LATERAL_HEAD_GRADIENT) gradient_elements.push_back(e);
  }
  if (!gradient_elements.empty()) {
    std::string list;
    for (std::size_t i = 0; i < gradient_elements.size() && i < 10; ++i) {
      list += i_text(gradient_elements[i], 6);
    }
    if (gradient_elements.size() > 10) list += " ...";
    REPORT_ERROR(io_, SEVERITY_WARNING, VSS_NOTICE, PRINT_UNIT, gradient_elements[0], 0,
                 "Head-gradient boundaries have no effect, elements:" + list);
  }
}

// :VS17, :VS18.
void Reader::read_base_boundaries() {
  const int count = std::max({v_.VSS_BFB_COUNT, v_.VSS_BHB_COUNT, base_count_});
  if (count <= 0) return;
  const int nlf = f_.NLF;
  const bool links = f_.BANKS_ON && nlf > 0;
  auto read_pair = [&](std::string_view key, auto set) {
    if (links) {
      std::vector<int> values(static_cast<std::size_t>(nlf), 0);
      ints(key, nlf, 1, values);
      for (int l = 1; l <= nlf; ++l) {
        for (int e : {l, nlf + l, 2 * nlf + l}) set(e, values[l - 1]);
      }
    }
    for_grid_squares(grid(key, count), set);
  };
  read_pair(":VS17", [&](int e, int t) { v_.BASE_BOUNDARY_TYPE(e) = t; });
  read_pair(":VS18", [&](int e, int g) { v_.BASE_BOUNDARY_CATEGORY(e) = std::max(g, 1); });
  for (int e = 1; e <= f_.NEL; ++e) {
    const int type = v_.BASE_BOUNDARY_TYPE(e);
    if (type == VSS_BASE_FLOW) {
      check_room("Base flow boundary category", v_.BASE_BOUNDARY_CATEGORY(e), 1, v_.VSS_BFB_COUNT, e);
    } else if (type == VSS_BASE_HEAD) {
      check_room("Base head boundary category", v_.BASE_BOUNDARY_CATEGORY(e), 1, v_.VSS_BHB_COUNT, e);
    }
  }
}

void Reader::read() {
  size_state();
  read_options();
  read_soils();
  read_zones();
  read_layers();
  read_link_beds();
  read_aquifer_connections();
  read_wells_and_springs();
  read_lateral_boundaries();
  read_base_boundaries();
}

}  // namespace

void natural_spline_second_derivatives(const double* x, const double* y, int n, double* y2) {
  if (n < 1) return;
  std::vector<double> u(static_cast<std::size_t>(n), 0.0);
  y2[0] = 0.0;
  for (int i = 1; i < n - 1; ++i) {
    const double sig = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    const double p = sig * y2[i - 1] + 2.0;
    y2[i] = (sig - 1.0) / p;
    const double slope_change =
        (y[i + 1] - y[i]) / (x[i + 1] - x[i]) - (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
    u[i] = (6.0 * slope_change / (x[i + 1] - x[i - 1]) - sig * u[i - 1]) / p;
  }
  y2[n - 1] = 0.0;
  for (int k = n - 2; k >= 0; --k) y2[k] = y2[k] * y2[k + 1] + u[k];
}

void VSS_READ_DATA_FILE(const FrameState& frame, const SurfaceState& surface,
                        SubsurfaceState& vss, RunIo& io) {
  Reader(frame, surface, vss, io).read();
}

}  // namespace quendal
