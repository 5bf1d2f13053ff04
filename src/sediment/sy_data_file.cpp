#include "sediment/sy_data_file.h"

#include <algorithm>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/titled_block.h"

namespace quendal {

namespace {

std::string padded(std::string text) {
  text.resize(BLOCK_MESSAGE_LENGTH, ' ');
  return text;
}

class Reader {
 public:
  Reader(const FrameState& frame, int ns, SedimentState& sediment, RunIo& io)
      : f_(frame), ns_(ns), s_(sediment), io_(io) {}

  void read();

 private:
  const FrameState& f_;
  const int ns_;
  SedimentState& s_;
  RunIo& io_;
  TitledBlockState state_;

  [[noreturn]] void refuse(int number, const std::string& message,
                           const std::string& detail = {}) {
    report_block_fatal(io_, SY_PRINT_UNIT, number, 0, message, detail);
  }
  // The detail of a refused count: its value in full when the message could not show
  // it, and where it was read.
  static std::string count_detail(const std::string& message,
                                  std::initializer_list<std::pair<std::string_view, long long>> values,
                                  const FieldLog& places, std::size_t i) {
    std::string detail = values_in_full(message, values);
    if (i < places.size()) {
      detail += (detail.empty() ? "" : "; ") + std::string("read from ") + describe_place(places[i]);
    }
    return detail;
  }
  // The readers deliver values through work vectors of NELEE entries; a section that
  // would need more is refused before it is read.
  void check_workspace(long long required) {
    if (required <= NELEE) return;
    refuse(2005, format_line("('Workspace available is NELEE = ',I5,"
                             "'; workspace required in subroutine SYREAD is ',I6)",
                             NELEE, required));
  }
  // The values of a section; `places` (when given) gets the place of each, the title's
  // left out.
  std::vector<int> ints(std::string_view key, int count, FieldLog* places = nullptr) {
    std::vector<int> v(static_cast<std::size_t>(std::max(count, 0)), 0);
    placed(places, [&] {
      READ_TITLED_BLOCK(io_, state_, TITLED_INTEGERS, SY_DATA_UNIT, SY_PRINT_UNIT, key, count, 1,
                        0, nullptr, v, {});
    });
    return v;
  }
  std::vector<double> reals(std::string_view key, int count, FieldLog* places = nullptr) {
    std::vector<double> v(static_cast<std::size_t>(std::max(count, 0)), 0.0);
    placed(places, [&] {
      READ_TITLED_BLOCK(io_, state_, TITLED_REALS, SY_DATA_UNIT, SY_PRINT_UNIT, key, count, 1, 0,
                        nullptr, {}, v);
    });
    return v;
  }
  template <class Read>
  void placed(FieldLog* places, Read read) {
    if (places == nullptr) {
      read();
    } else {
      *places = read_with_places(io_, SY_DATA_UNIT, read);
    }
  }
  // Notes where value i of `values` was read, for the input checks: under `item` at
  // (index, 0), or (index, k) for a table of `per` values per index.
  void note(const char* item, const FieldLog& places, std::size_t i, long index, long k = 0) {
    if (i < places.size()) io_.places.note(item, index, k, places[i]);
  }
  std::string text(std::string_view key, std::size_t length) {
    std::string t(length, ' ');
    READ_TITLED_BLOCK(io_, state_, TITLED_TEXT, SY_DATA_UNIT, SY_PRINT_UNIT, key, 0, 0, 0, &t, {},
                      {});
    return t;
  }
  CategoryGridTarget target(bool links_too) const {
    CategoryGridTarget t;
    t.p = links_too ? 0 : 1;
    t.min_ncat = 0;
    t.last = f_.NEL;
    t.nx = f_.NX;
    t.ny = f_.NY;
    t.banks_on = f_.BANKS_ON;
    return t;
  }

  void size_state();
  void read_title_and_version();
  void read_counts_and_controls();
  void read_size_groups_soils_and_vegetation();
  void read_element_data();
  void copy_soil_compositions();
  void read_boundaries();
};

void Reader::size_state() {
  const int nel = f_.NEL, nlf = f_.NLF, nv = f_.NV;
  s_.DLS.resize(nel, 0.0);
  s_.FBETA.resize(nel, NSEDEE, 0.0);
  s_.FDEL.resize(nel, NSEDEE, 0.0);
  s_.PLS.resize(nel, 0.0);
  s_.FCG.resize(nel, 0.0);
  s_.FCROCK.resize(nel, 0.0);
  s_.PBSED.resize(nlf, 0.0);
  s_.NTSOBK.resize(nlf, 0);
  s_.SOSDFN.resize(ns_, NSEDEE, 0.0);
  s_.DRSED.resize(NSEDEE, 0.0);
  for (Array1<double>* a : {&s_.GKR, &s_.GKF, &s_.RHOSO, &s_.SY_SOIL_SHEAR_PARAMETER, &s_.BKB}) {
    a->resize(ns_, 0.0);
  }
  for (Array1<double>* a : {&s_.XDRIP, &s_.DRDRIP, &s_.FDRIP}) a->resize(nv, 0.0);
  s_.NSYC.resize(4, 0);
  s_.NSYBCD.resize(NSYBEE, 3, 0);
  for (Array2<double>* a : {&s_.GBC, &s_.ABC, &s_.BBC}) a->resize(NSEDEE, NSYCEE, 0.0);
  if (s_.SY_SURFACE_SOIL_TYPE.size() != nel) s_.SY_SURFACE_SOIL_TYPE.resize(nel, 0);
}

// :SY01 and :SY02.
void Reader::read_title_and_version() {
  RecordSink& out = io_.units.sink(SY_PRINT_UNIT);
  const std::string title = text(":SY01", BLOCK_LINE_LENGTH);
  out.write_record("");
  out.write_record(" " + title);
  out.write_record("");
  // Data files of every release of this version are accepted: the field need only hold
  // the version without its last digit.
  const std::string version = text(":SY02", 8);
  const std::string release = SY_MODULE_VERSION.substr(0, SY_MODULE_VERSION.size() - 1);
  if (version.find(release) != std::string::npos) {
    out.write_record("    SY Module Version " + SY_MODULE_VERSION);
    out.write_record("");
  } else {
    REPORT_ERROR(io_, SEVERITY_WARNING, 2011, SY_PRINT_UNIT, 0, 0,
                 padded("SY module is version " + SY_MODULE_VERSION +
                        "; SYD data file is version " + version));
  }
}

// :SY11 and :SY12; the five link values of each only when there are links.
void Reader::read_counts_and_controls() {
  const bool links = f_.NLF > 0;
  check_workspace(8);
  FieldLog at;
  const std::vector<int> counts = ints(":SY11", links ? 8 : 5, &at);
  for (const char* item : {"NEPS", "ISUSED", "NFINE"}) io_.places.forget(item);
  note("NEPS", at, 4, 1);
  note("ISUSED", at, 6, 1);
  note("NFINE", at, 7, 1);
  s_.NSED = counts[0];
  s_.SY_OVERLAND_CAPACITY_SWITCH = counts[1];
  s_.SY_CRITICAL_SHEAR_SWITCH = counts[2];
  s_.SY_CHECK_INTERVAL = counts[3];
  s_.NEPS = counts[4];
  if (links) {
    s_.SY_CHANNEL_CAPACITY_SWITCH = counts[5];
    s_.ISUSED = counts[6];
    s_.NFINE = counts[7];
  }
  if (s_.NSED < 1 || s_.NSED > NSEDEE) {
    const std::string message = sy_size_group_count_message(s_.NSED);
    refuse(SY_SIZE_GROUP_COUNT_ERROR, message, count_detail(message, {{"NSED", s_.NSED}}, at, 0));
  }
  const std::vector<double> controls = reals(":SY12", links ? 7 : 2, &at);
  for (const char* item : {"FPCRIT", "DLSMAX", "ALPHA", "DCBEDO"}) io_.places.forget(item);
  note("FPCRIT", at, 0, 1);
  note("DLSMAX", at, 1, 1);
  note("ALPHA", at, 2, 1);
  note("DCBEDO", at, 4, 1);
  // The input checks see that none is negative; what no sediment can have is refused here.
  require_at_most(Quantity::FRACTION, "FPCRIT (a volume concentration)", controls[0], at[0]);
  require_at_most(Quantity::DEPTH, "DLSMAX", controls[1], at[1]);
  if (links) require_at_most(Quantity::DEPTH, "DCBEDO", controls[4], at[4]);
  s_.FPCRIT = controls[0];
  s_.DLSMAX = controls[1];
  if (links) {
    s_.ALPHA = controls[2];
    s_.SY_CAPACITY_CONCENTRATION_THRESHOLD = controls[3];
    s_.DCBEDO = controls[4];
    s_.SY_FINES_FRACTION_LIMIT = controls[5];
    s_.SY_FINES_CONCENTRATION_LIMIT = controls[6];
  }
}

// :SY21 to :SY24, and the links' bank soils and bed porosities (:SY31, :SY32).
void Reader::read_size_groups_soils_and_vegetation() {
  const int nsed = s_.NSED, nv = f_.NV;
  check_workspace(std::max(static_cast<long long>(std::max(nsed, 5)) * ns_, 3LL * nv));
  const char* const noted[] = {"DRSED", "GKR",  "GKF",    "RHOSO", "BKB", "SOSDFN",
                               "XDRIP", "DRDRIP", "FDRIP", "NTSOBK", "PBSED"};
  for (const char* item : noted) io_.places.forget(item);
  FieldLog at;
  const std::vector<double> diameters = reals(":SY21", nsed, &at);
  for (int k = 1; k <= nsed; ++k) {
    s_.DRSED(k) = diameters[k - 1];
    note("DRSED", at, k - 1, k);
    require_at_most(Quantity::GRAIN_DIAMETER, "grain diameter DRSED of size group " + std::to_string(k),
                    diameters[k - 1], at[k - 1]);
  }

  // Rows of one soil type (or vegetation type) each, type 1 first.
  const std::vector<double> soils = reals(":SY22", 5 * ns_, &at);
  Array1<double>* columns[5] = {&s_.GKR, &s_.GKF, &s_.RHOSO, &s_.SY_SOIL_SHEAR_PARAMETER, &s_.BKB};
  const char* const column_names[5] = {"GKR", "GKF", "RHOSO", "", "BKB"};
  for (int soil = 1; soil <= ns_; ++soil) {
    for (int c = 0; c < 5; ++c) {
      const std::size_t i = static_cast<std::size_t>(5 * (soil - 1) + c);
      (*columns[c])(soil) = soils[i];
      if (*column_names[c] != '\0') note(column_names[c], at, i, soil);
    }
    require_at_most(Quantity::SOIL_DENSITY, "RHOSO of soil type " + std::to_string(soil),
                    s_.RHOSO(soil), at[static_cast<std::size_t>(5 * (soil - 1) + 2)]);
  }
  const std::vector<double> compositions = reals(":SY23", nsed * ns_, &at);
  for (int soil = 1; soil <= ns_; ++soil) {
    for (int k = 1; k <= nsed; ++k) {
      const std::size_t i = static_cast<std::size_t>(nsed * (soil - 1) + (k - 1));
      s_.SOSDFN(soil, k) = compositions[i];
      note("SOSDFN", at, i, soil, k);
    }
  }
  const std::vector<double> drips = reals(":SY24", 3 * nv, &at);
  for (int veg = 1; veg <= nv; ++veg) {
    const std::size_t i = static_cast<std::size_t>(3 * (veg - 1));
    s_.XDRIP(veg) = drips[i];
    s_.DRDRIP(veg) = drips[i + 1];
    s_.FDRIP(veg) = drips[i + 2];
    note("XDRIP", at, i, veg);
    note("DRDRIP", at, i + 1, veg);
    note("FDRIP", at, i + 2, veg);
    const std::string of = " of vegetation type " + std::to_string(veg);
    require_at_most(Quantity::VEGETATION_HEIGHT, "drip fall height XDRIP" + of, drips[i], at[i]);
    require_at_most(Quantity::DRIP_DIAMETER, "drip drop diameter DRDRIP" + of, drips[i + 1],
                    at[i + 1]);
  }

  if (f_.NLF > 0) {
    const std::vector<int> bank_soils = ints(":SY31", f_.NLF, &at);
    for (int link = 1; link <= f_.NLF; ++link) {
      s_.NTSOBK(link) = bank_soils[link - 1];
      note("NTSOBK", at, static_cast<std::size_t>(link - 1), link);
    }
    const std::vector<double> porosities = reals(":SY32", f_.NLF, &at);
    for (int link = 1; link <= f_.NLF; ++link) {
      s_.PBSED(link) = porosities[link - 1];
      note("PBSED", at, static_cast<std::size_t>(link - 1), link);
    }
  }
}

// :SY41 to :SY53.
void Reader::read_element_data() {
  int ncat = 0;
  // Each section notes where its values came from under the name the input checks
  // give the array.
  auto of = [](CategoryGridTarget t, const char* item) {
    t.place_item = item;
    return t;
  };
  const CategoryGridTarget columns = target(false);
  const CategoryGridTarget all = target(true);
  READ_CATEGORY_GRID(io_, state_, f_, of(columns, "FCG"), SY_DATA_UNIT, SY_PRINT_UNIT, ":SY41",
                     ncat, s_.FCG);
  READ_CATEGORY_GRID(io_, state_, f_, of(columns, "FCROCK"), SY_DATA_UNIT, SY_PRINT_UNIT, ":SY42",
                     ncat, s_.FCROCK);
  READ_CATEGORY_GRID(io_, state_, f_, of(columns, "PLS"), SY_DATA_UNIT, SY_PRINT_UNIT, ":SY43",
                     ncat, s_.PLS);
  CategoryGridTarget depths = of(all, "DLS");
  depths.check = [](double value, const FieldPlace& place) {
    require_at_most(Quantity::DEPTH, "loose sediment depth DLS", value, place);
  };
  READ_CATEGORY_GRID(io_, state_, f_, depths, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY51", ncat, s_.DLS);
  CategoryGridTarget compositions = of(all, "FBETA");
  compositions.min_ncat = -1;
  READ_CATEGORY_GRID(io_, state_, f_, compositions, s_.NSED, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY52",
                     ncat, s_.FBETA);
  if (ncat == -1) copy_soil_compositions();
  READ_CATEGORY_GRID(io_, state_, f_, of(all, "FDEL"), s_.NSED, SY_DATA_UNIT, SY_PRINT_UNIT,
                     ":SY53", ncat, s_.FDEL);
}

// Option -1 of :SY52: a link's bed is made of its bank soil, a column's loose sediment
// of its top soil. A soil type outside 1..NS copies nothing: the input check refuses a
// bank soil out of range and the interface check a top soil out of range, so such an
// element never reaches a step. The copies take the places of the soil's fractions.
void Reader::copy_soil_compositions() {
  auto copy = [&](int element, int soil) {
    if (soil < 1 || soil > ns_) return;
    for (int k = 1; k <= s_.NSED; ++k) {
      s_.FBETA(element, k) = s_.SOSDFN(soil, k);
      if (const FieldPlace* place = io_.places.find("SOSDFN", soil, k)) {
        const FieldPlace fraction = *place;
        io_.places.note("FBETA", element, k, fraction);
      }
    }
  };
  for (int link = 1; link <= f_.NLF; ++link) copy(link, s_.NTSOBK(link));
  for (int iel = f_.NLF + 1; iel <= f_.NEL; ++iel) copy(iel, s_.SY_SURFACE_SOIL_TYPE(iel));
}

// :SY61 to :SY64.
void Reader::read_boundaries() {
  FieldLog at;
  const std::vector<int> counts = ints(":SY61", 5, &at);
  // The input checks name the record of the counts (their sums) and of a boundary's row.
  for (const char* item : {"NSYCEE", "NSYBCD"}) io_.places.forget(item);
  if (!at.empty()) io_.places.note("NSYCEE", 1, 0, joined_place(at, at[0].file, at[0].record));
  s_.NSYB = counts[0];
  for (int type = 1; type <= 4; ++type) s_.NSYC(type) = counts[type];
  if (s_.NSYB <= 0) return;
  if (s_.NSYB > NSYBEE) {
    const std::string message = format_line(
        "('No. of boundaries NSYB=',I5,' is greater than NSYBEE=',I4,']')", s_.NSYB, NSYBEE);
    refuse(2007, message, count_detail(message, {{"NSYB", s_.NSYB}}, at, 0));
  }
  const long long nsed = s_.NSED;
  check_workspace(std::max({3LL * s_.NSYB, s_.NSYC(1) * nsed, 2 * s_.NSYC(3) * nsed}));

  FieldLog rows_at;
  const std::vector<int> rows = ints(":SY62", 3 * s_.NSYB, &rows_at);
  for (int b = 1; b <= s_.NSYB; ++b) {
    const int element = rows[3 * (b - 1)];
    const int type = rows[3 * (b - 1) + 1];
    int category = rows[3 * (b - 1) + 2];
    if (type < 1 || type > 4) {
      const std::string message = format_line(
          "('Boundary type NSYBCD(',I4,',2)=',I2,' is not is the range [1,4]')", b, type);
      refuse(2008, message,
             count_detail(message, {{"type", type}}, rows_at, static_cast<std::size_t>(3 * (b - 1) + 1)));
    }
    // Types 2 and 4 number their categories after those of types 1 and 3.
    if (type % 2 == 0) category += s_.NSYC(type - 1);
    const auto first = rows_at.begin() + 3 * (b - 1);
    if (rows_at.end() - first >= 3) {
      const FieldLog row(first, first + 3);
      io_.places.note("NSYBCD", b, 0, joined_place(row, row[0].file, row[0].record));
    }
    s_.NSYBCD(b, 1) = element;
    s_.NSYBCD(b, 2) = type;
    s_.NSYBCD(b, 3) = category;
  }
  if (s_.NSYC(1) > 0) {
    if (s_.NSYC(1) > NSYCEE) {
      const std::string message = format_line(
          "('No. of steady flux categories NSYC(1)=',I4,' is greater than NSYCEE=',I3,']')",
          s_.NSYC(1), NSYCEE);
      refuse(2009, message, count_detail(message, {{"NSYC(1)", s_.NSYC(1)}}, at, 1));
    }
    io_.places.forget("GBC");
    FieldLog values_at;
    const std::vector<double> fluxes = reals(":SY63", s_.NSED * s_.NSYC(1), &values_at);
    for (int c = 1; c <= s_.NSYC(1); ++c) {
      for (int k = 1; k <= s_.NSED; ++k) {
        const std::size_t i = static_cast<std::size_t>(s_.NSED * (c - 1) + (k - 1));
        s_.GBC(k, c) = fluxes[i];
        note("GBC", values_at, i, k, c);
      }
    }
  }
  if (s_.NSYC(3) > 0) {
    if (s_.NSYC(3) > NSYCEE) {
      const std::string message = format_line(
          "('No. of steady rating categories NSYC(3)=',I4,' is greater than NSYCEE=',I3,']')",
          s_.NSYC(3), NSYCEE);
      refuse(2010, message, count_detail(message, {{"NSYC(3)", s_.NSYC(3)}}, at, 3));
    }
    io_.places.forget("ABC");
    io_.places.forget("BBC");
    FieldLog values_at;
    const std::vector<double> ratings = reals(":SY64", 2 * s_.NSED * s_.NSYC(3), &values_at);
    for (int c = 1; c <= s_.NSYC(3); ++c) {
      for (int k = 1; k <= s_.NSED; ++k) {
        const std::size_t i = static_cast<std::size_t>(2 * s_.NSED * (c - 1) + 2 * (k - 1));
        s_.ABC(k, c) = ratings[i];
        s_.BBC(k, c) = ratings[i + 1];
        note("ABC", values_at, i, k, c);
        note("BBC", values_at, i + 1, k, c);
      }
    }
  }
}

void Reader::read() {
  size_state();
  READ_TITLED_BLOCK(io_, state_, TITLED_CHECK_OPEN, SY_DATA_UNIT, SY_PRINT_UNIT, "SYD", 0, 0, 0,
                    nullptr, {}, {});
  read_title_and_version();
  read_counts_and_controls();
  read_size_groups_soils_and_vegetation();
  read_element_data();
  read_boundaries();
  READ_TITLED_BLOCK(io_, state_, TITLED_CLOSE, SY_DATA_UNIT, SY_PRINT_UNIT, "SYD", 0, 0, 0, nullptr,
                    {}, {});
}

}  // namespace

std::string sy_size_group_count_message(int nsed) {
  return format_line("('No. of size groups NSED=',I4,' is not in range [1,NSEDEE=',I3,']')", nsed,
                     NSEDEE);
}

void SYREAD(const FrameState& frame, int ns, SedimentState& sediment, RunIo& io) {
  Reader(frame, ns, sediment, io).read();
}

}  // namespace quendal
