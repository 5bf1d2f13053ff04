#include "sediment/sy_data_file.h"

#include <algorithm>
#include <span>
#include <vector>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
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

  [[noreturn]] void refuse(int number, const std::string& message) {
    report_block_fatal(io_, SY_PRINT_UNIT, number, 0, message);
  }
  // The readers deliver values through work vectors of NELEE entries; a section that
  // would need more is refused before it is read.
  void check_workspace(long long required) {
    if (required <= NELEE) return;
    refuse(2005, format_line("('Workspace available is NELEE = ',I5,"
                             "'; workspace required in subroutine SYREAD is ',I6)",
                             NELEE, required));
  }
  std::vector<int> ints(std::string_view key, int count) {
    std::vector<int> v(static_cast<std::size_t>(std::max(count, 0)), 0);
    READ_TITLED_BLOCK(io_, state_, TITLED_INTEGERS, SY_DATA_UNIT, SY_PRINT_UNIT, key, count, 1, 0,
                      nullptr, v, {});
    return v;
  }
  std::vector<double> reals(std::string_view key, int count) {
    std::vector<double> v(static_cast<std::size_t>(std::max(count, 0)), 0.0);
    READ_TITLED_BLOCK(io_, state_, TITLED_REALS, SY_DATA_UNIT, SY_PRINT_UNIT, key, count, 1, 0,
                      nullptr, {}, v);
    return v;
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
  const std::vector<int> counts = ints(":SY11", links ? 8 : 5);
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
    refuse(SY_SIZE_GROUP_COUNT_ERROR, sy_size_group_count_message(s_.NSED));
  }
  const std::vector<double> controls = reals(":SY12", links ? 7 : 2);
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
  const std::vector<double> diameters = reals(":SY21", nsed);
  for (int k = 1; k <= nsed; ++k) s_.DRSED(k) = diameters[k - 1];

  // Rows of one soil type (or vegetation type) each, type 1 first.
  const std::vector<double> soils = reals(":SY22", 5 * ns_);
  Array1<double>* columns[5] = {&s_.GKR, &s_.GKF, &s_.RHOSO, &s_.SY_SOIL_SHEAR_PARAMETER, &s_.BKB};
  for (int soil = 1; soil <= ns_; ++soil) {
    for (int c = 0; c < 5; ++c) (*columns[c])(soil) = soils[5 * (soil - 1) + c];
  }
  const std::vector<double> compositions = reals(":SY23", nsed * ns_);
  for (int soil = 1; soil <= ns_; ++soil) {
    for (int k = 1; k <= nsed; ++k) s_.SOSDFN(soil, k) = compositions[nsed * (soil - 1) + (k - 1)];
  }
  const std::vector<double> drips = reals(":SY24", 3 * nv);
  for (int veg = 1; veg <= nv; ++veg) {
    s_.XDRIP(veg) = drips[3 * (veg - 1)];
    s_.DRDRIP(veg) = drips[3 * (veg - 1) + 1];
    s_.FDRIP(veg) = drips[3 * (veg - 1) + 2];
  }

  if (f_.NLF > 0) {
    const std::vector<int> bank_soils = ints(":SY31", f_.NLF);
    for (int link = 1; link <= f_.NLF; ++link) s_.NTSOBK(link) = bank_soils[link - 1];
    const std::vector<double> porosities = reals(":SY32", f_.NLF);
    for (int link = 1; link <= f_.NLF; ++link) s_.PBSED(link) = porosities[link - 1];
  }
}

// :SY41 to :SY53.
void Reader::read_element_data() {
  int ncat = 0;
  const CategoryGridTarget columns = target(false);
  const CategoryGridTarget all = target(true);
  READ_CATEGORY_GRID(io_, state_, f_, columns, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY41", ncat, s_.FCG);
  READ_CATEGORY_GRID(io_, state_, f_, columns, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY42", ncat,
                     s_.FCROCK);
  READ_CATEGORY_GRID(io_, state_, f_, columns, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY43", ncat, s_.PLS);
  READ_CATEGORY_GRID(io_, state_, f_, all, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY51", ncat, s_.DLS);
  CategoryGridTarget compositions = all;
  compositions.min_ncat = -1;
  READ_CATEGORY_GRID(io_, state_, f_, compositions, s_.NSED, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY52",
                     ncat, s_.FBETA);
  if (ncat == -1) copy_soil_compositions();
  READ_CATEGORY_GRID(io_, state_, f_, all, s_.NSED, SY_DATA_UNIT, SY_PRINT_UNIT, ":SY53", ncat,
                     s_.FDEL);
}

// Option -1 of :SY52: a link's bed is made of its bank soil, a column's loose sediment
// of its top soil. A soil type outside 1..NS copies nothing: the input check refuses a
// bank soil out of range and the interface check a top soil out of range, so such an
// element never reaches a step.
void Reader::copy_soil_compositions() {
  auto copy = [&](int element, int soil) {
    if (soil < 1 || soil > ns_) return;
    for (int k = 1; k <= s_.NSED; ++k) s_.FBETA(element, k) = s_.SOSDFN(soil, k);
  };
  for (int link = 1; link <= f_.NLF; ++link) copy(link, s_.NTSOBK(link));
  for (int iel = f_.NLF + 1; iel <= f_.NEL; ++iel) copy(iel, s_.SY_SURFACE_SOIL_TYPE(iel));
}

// :SY61 to :SY64.
void Reader::read_boundaries() {
  const std::vector<int> counts = ints(":SY61", 5);
  s_.NSYB = counts[0];
  for (int type = 1; type <= 4; ++type) s_.NSYC(type) = counts[type];
  if (s_.NSYB <= 0) return;
  if (s_.NSYB > NSYBEE) {
    refuse(2007, format_line("('No. of boundaries NSYB=',I5,' is greater than NSYBEE=',I4,']')",
                             s_.NSYB, NSYBEE));
  }
  const long long nsed = s_.NSED;
  check_workspace(std::max({3LL * s_.NSYB, s_.NSYC(1) * nsed, 2 * s_.NSYC(3) * nsed}));

  const std::vector<int> rows = ints(":SY62", 3 * s_.NSYB);
  for (int b = 1; b <= s_.NSYB; ++b) {
    const int element = rows[3 * (b - 1)];
    const int type = rows[3 * (b - 1) + 1];
    int category = rows[3 * (b - 1) + 2];
    if (type < 1 || type > 4) {
      refuse(2008, format_line("('Boundary type NSYBCD(',I4,',2)=',I2,' is not is the range [1,4]')",
                               b, type));
    }
    // Types 2 and 4 number their categories after those of types 1 and 3.
    if (type % 2 == 0) category += s_.NSYC(type - 1);
    s_.NSYBCD(b, 1) = element;
    s_.NSYBCD(b, 2) = type;
    s_.NSYBCD(b, 3) = category;
  }
  if (s_.NSYC(1) > 0) {
    if (s_.NSYC(1) > NSYCEE) {
      refuse(2009, format_line("('No. of steady flux categories NSYC(1)=',I4,"
                               "' is greater than NSYCEE=',I3,']')",
                               s_.NSYC(1), NSYCEE));
    }
    const std::vector<double> fluxes = reals(":SY63", s_.NSED * s_.NSYC(1));
    for (int c = 1; c <= s_.NSYC(1); ++c) {
      for (int k = 1; k <= s_.NSED; ++k) s_.GBC(k, c) = fluxes[s_.NSED * (c - 1) + (k - 1)];
    }
  }
  if (s_.NSYC(3) > 0) {
    if (s_.NSYC(3) > NSYCEE) {
      refuse(2010, format_line("('No. of steady rating categories NSYC(3)=',I4,"
                               "' is greater than NSYCEE=',I3,']')",
                               s_.NSYC(3), NSYCEE));
    }
    const std::vector<double> ratings = reals(":SY64", 2 * s_.NSED * s_.NSYC(3));
    for (int c = 1; c <= s_.NSYC(3); ++c) {
      for (int k = 1; k <= s_.NSED; ++k) {
        s_.ABC(k, c) = ratings[2 * s_.NSED * (c - 1) + 2 * (k - 1)];
        s_.BBC(k, c) = ratings[2 * s_.NSED * (c - 1) + 2 * (k - 1) + 1];
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
