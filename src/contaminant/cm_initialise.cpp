#include "contaminant/cm_initialise.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "contaminant/cm_bed_geometry.h"
#include "contaminant/cm_data_file.h"
#include "services/array_checks.h"
#include "services/error_reporting.h"

namespace quendal {

namespace {

constexpr int CM_PRINT = 25;  // the contaminant print file
constexpr int CHECK_SEVERITY = 2;  // counted; the checks end in one fatal report

// 2103 to 2106 for every contaminant that starts from category tables; fatal 2107 when
// any failed.
void check_category_tables(const FrameState& frame, ContaminantState& cm, RunIo& io) {
  int count = 0;
  std::vector<char> flags(static_cast<std::size_t>(std::max(CM_MAX_TABLE_ROWS, 1)) + 1);
  auto flag_section = [&](int lo, int n) { return FlagSection(flags.data(), n, 1, lo); };
  const long row_stride = CM_MAX_CATEGORIES;
  // The checks of category k of contaminant m name where its values were read: the
  // places the reader noted are put under the checks' names, row j at position j.
  const char* const first_depth = "DTAB[ncat,1]";
  const char* const depths = "DTAB[ncat,ntab]";
  const char* const concentrations = "CTAB[nmne,ntab]";
  auto note_table = [&](int k, int m) {
    for (const char* item : {first_depth, depths, concentrations}) io.places.forget(item);
    const std::string depth_item = cm_table_place_item("DTAB", m);
    const std::string concentration_item = cm_table_place_item("CTAB", m);
    for (int j = 1; j <= cm.NTBL(k, m); ++j) {
      if (const FieldPlace* place = io.places.find(depth_item, k, j)) {
        const FieldPlace depth = *place;
        if (j == 1) io.places.note(first_depth, k, 0, depth);
        io.places.note(depths, j, 0, depth);
      }
      if (const FieldPlace* place = io.places.find(concentration_item, k, j)) {
        const FieldPlace concentration = *place;
        io.places.note(concentrations, j, 0, concentration);
      }
    }
  };
  // The place of the first value a check refused, which the closing report names too.
  std::optional<FieldPlace> first_refused;
  auto remember = [&](int failures, const char* item, int lo, int n) {
    if (failures == 0 || first_refused) return;
    for (int i = 0; i < n; ++i) {
      if (flags[static_cast<std::size_t>(i)] == 0) continue;
      if (const FieldPlace* place = io.places.find(item, lo + i, 0)) first_refused = *place;
      return;
    }
  };
  for (int m = 1; m <= cm.NCON; ++m) {
    if (!cm.CM_CATEGORY_TABLES_ON[m]) continue;
    for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
      CHECK_INTEGER_ARRAY(io, CHECK_SEVERITY, 2103, CM_PRINT, iel, iel, 0, 0, "NCATTY(iel)", "GT", 0,
                          IntegerSection(&cm.NCATTY(iel, m), 1, 1, iel), count,
                          flag_section(iel, 1));
    }
    for (int k = 1; k <= cm.NCAT(m); ++k) {
      note_table(k, m);
      remember(CHECK_REAL_ARRAY(io, CHECK_SEVERITY, 2104, CM_PRINT, k, k, 0, 0, first_depth, "EQ",
                                0.0, 0.0, RealSection(&cm.DTAB(k, 1, m), 1, 1, k), count,
                                flag_section(k, 1)),
               first_depth, k, 1);
      const int rows = cm.NTBL(k, m);
      if (rows >= 2) {
        remember(CHECK_REAL_ARRAY(io, CHECK_SEVERITY, 2105, CM_PRINT, 2, rows, 0, 0, depths, "GTa",
                                  ConstRealSection(&cm.DTAB(k, 1, m), rows - 1, row_stride, 2),
                                  0.0, RealSection(&cm.DTAB(k, 2, m), rows - 1, row_stride, 2),
                                  count, flag_section(2, rows - 1)),
                 depths, 2, rows - 1);
      }
    }
    for (int k = 1; k <= cm.NCAT(m); ++k) {
      const int rows = cm.NTBL(k, m);
      note_table(k, m);
      remember(CHECK_REAL_ARRAY(io, CHECK_SEVERITY, 2106, CM_PRINT, 1, rows, 0, 0, concentrations,
                                "GE", 0.0, 0.0, RealSection(&cm.CTAB(k, 1, m), rows, row_stride, 1),
                                count, flag_section(1, rows)),
               concentrations, 1, rows);
    }
  }
  if (count > 0) {
    report_fatal_with_detail(io, 2107, CM_PRINT, 0,
                             "Error(s) detected while checking static/initial interface",
                             first_refused ? "the first of them: " + value_read_from(*first_refused)
                                           : std::string());
  }
}

// The soil of a link's bed: the soil of the side-1 bank layer that holds the cell just
// below LINK_BED_CELL; layer 1 when that cell lies in the bottom layer or below it.
int link_bed_soil(const FrameState& frame, const SubsurfaceState& vss, int link) {
  const int bank = link_bank_element(frame, link, KIND_BANK_SIDE_1);
  if (bank == 0) return 0;
  int n = 1;
  while (n <= vss.NLYR(bank) && vss.LAYER_BOTTOM_CELL(bank, n) < vss.LINK_BED_CELL(link, 1)) ++n;
  return vss.NTSOIL(bank, std::max(n - 1, 1));
}

// With the sediment component off: no loose sediment anywhere, every deposit of the
// first (finest) size group, and each soil's composition from the CMD data file.
void supply_default_sediment(const FrameState& frame, const SubsurfaceState& vss,
                             SedimentState& sed, ContaminantState& cm) {
  const int nel = frame.NEL, nlf = frame.NLF;
  sed.NSED = CM_DEFAULT_SIZE_GROUPS;
  sed.DLS.resize(nel, 0.0);
  sed.FBETA.resize(nel, NSEDEE, 0.0);
  sed.FDEL.resize(nel, NSEDEE, 0.0);
  sed.SY_GROUND_EROSION_RATE.resize(nel, 0.0);
  sed.PBSED.resize(nlf, 0.0);
  sed.SY_NET_DEPOSITION_AREA.resize(nlf, 0.0);
  sed.SY_BANK_EROSION_RATE.resize(nlf, 0.0);
  sed.SY_INFILTRATION_RATE_DEEP.resize(nlf, NSEDEE, 0.0);
  sed.SY_INFILTRATION_RATE_SURFACE.resize(nlf, NSEDEE, 0.0);
  for (int e = 1; e <= nel; ++e) {
    sed.FBETA(e, 1) = 1.0;
    cm.CM_STORED_DLS(e) = 0.0;
    cm.CM_STORED_EROSION(e) = 0.0;
  }
  for (int l = 1; l <= nlf; ++l) {
    cm.CM_LINK_BED_SIZE_SHARE(l, 1) = 1.0;
    for (int z = 2; z <= CM_DEFAULT_SIZE_GROUPS; ++z) cm.CM_LINK_BED_SIZE_SHARE(l, z) = 0.0;
  }
  sed.SOSDFN.resize(vss.NS, NSEDEE, 0.0);
  for (int s = 1; s <= vss.NS; ++s) {
    for (int z = 1; z <= CM_DEFAULT_SIZE_GROUPS; ++z) {
      sed.SOSDFN(s, z) = cm.CM_SOIL_SIZE_FRACTIONS(s, z);
    }
  }
}

void set_derived_constants(ContaminantState& cm, int LL) {
  cm.CM_INVERSE_DIFFUSIVITY = 1.0 / cm.CM_DIFFUSIVITY_SCALE;
  cm.CM_INVERSE_VELOCITY_SCALE = cm.CM_LENGTH_SCALE * cm.CM_INVERSE_DIFFUSIVITY;
  cm.CM_AREA_SCALE = cm.CM_LENGTH_SCALE * cm.CM_LENGTH_SCALE;
  cm.CM_TIME_SCALE = cm.CM_INVERSE_DIFFUSIVITY * cm.CM_AREA_SCALE;
  cm.CM_CONNECTION_WEIGHT_UNIT = 1.0 / CM_WHOLE_FACE_WEIGHT;
  cm.CM_IMPLICIT_WEIGHT = 1.0;
  cm.CM_STORAGE_WEIGHT = 1.0;
  cm.CM_OLD_FLOW_WEIGHT = 0.0;
  cm.CM_TOP_CELL = LL;
}

// The flow into cell k + 1 of element e from below (m/s, upwards); below a stack that
// starts at cell 1 it is the flow through the column's base.
double flow_above(const SubsurfaceState& vss, int e, int k) {
  return k >= 1 ? vss.CELL_VERTICAL_FLOW(k, e) : vss.COLUMN_BASE_FLOW(e);
}

// The stores of every column as its set-up would gather them from the present water
// state, so that the first transport step sees no change that no water made: the bank
// columns blended with their link's column below the stream bed, the lateral flows as
// scaled fluxes.
void set_initial_column_stores(const FrameState& frame, const SurfaceState& surface,
                               const SubsurfaceState& vss, const SedimentState& sed,
                               ContaminantState& cm) {
  const int LL = vss.LL;
  const double L = cm.CM_LENGTH_SCALE;
  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    const int b = vss.LAYER_BOTTOM_CELL(iel, 1);
    const int c0 = cm.CM_BOTTOM_CELL(iel);
    cm.CM_STORED_DLS(iel) = sed.DLS(iel);
    cm.CM_STORED_EROSION(iel) = sed.SY_GROUND_EROSION_RATE(iel);
    cm.CM_STORED_WATER_DEPTH(iel) = surface.GET_HRF(iel) - frame.ZGRUND(iel);
    cm.CM_STORED_TOP_INPUT(iel) = -(surface.PNETTO(iel) * frame.AREA(iel));
    // The abstraction as it stands, like every other store here: a link that receives
    // this well's water takes last step's abstraction out of its net rainfall and gives
    // it the well's concentration, so a start at 0 would pass the first step's well
    // water off as rain, at the rain's concentration, and lose what the well took.
    cm.CM_WELL_ABSTRACTION_OLD(iel) = vss.WELL_ABSTRACTION(iel);
    const double hn = (frame.ZGRUND(iel) - cm.CM_BOTTOM_LEVEL(iel)) / L;
    cm.CM_STORED_COLUMN_DEPTH(iel) = hn;
    cm.CM_STORED_SURFACE_FLOW(1, iel) = -surface.QOC(iel, 1);
    cm.CM_STORED_SURFACE_FLOW(2, iel) = -surface.QOC(iel, 2);
    cm.CM_STORED_SURFACE_FLOW(3, iel) = surface.QOC(iel, 3);
    cm.CM_STORED_SURFACE_FLOW(4, iel) = surface.QOC(iel, 4);

    // A bank's share of each cell of its widened column, and where its link's cells lie.
    const int kind = frame.ICMREF(iel, 1, 1);
    const bool bank = kind == KIND_BANK_SIDE_1 || kind == KIND_BANK_SIDE_2;
    int link = 0, d = 0, bed_cell = 0, bank_face = 0, bed_bottom = 0;
    double r = 1.0, y = 0.0;
    if (bank) {
      link = frame.ICMREF(iel, 4, 1);
      d = vss.LAYER_BOTTOM_CELL(link, 1) - b;
      bed_cell = vss.LINK_BED_CELL(link, kind);
      r = bank_weight(frame, surface, iel);
      bed_bottom = cm.CM_BED_BOTTOM_CELL(link, kind);
      y = cm.CM_BED_BOTTOM_FRACTION(link, kind);
      for (int f = 1; f <= 4; ++f) {
        if (frame.ICMREF(link, f, 2) == iel) {
          bank_face = frame.ICMREF(link, f, 3);
          break;
        }
      }
    }
    auto weight = [&](int k) { return bank ? bank_cell_weight(r, bed_bottom, y, b, k) : 1.0; };
    const double wb = weight(b);

    for (int k = 1; k <= LL; ++k) {
      cm.CM_STORED_SINK(k, iel) = 0.0;
      for (int f = 1; f <= 4; ++f) cm.CM_STORED_FACE_FLUX(f, k, iel) = 0.0;
    }
    // Moisture and vertical flows: below the level of the link's bed a bank cell is
    // blended with the link cell at the same place in its stack.
    for (int k = b; k <= LL; ++k) {
      double theta = vss.CELL_THETA(k, iel);
      double v = vss.CELL_VERTICAL_FLOW(k, iel);
      if (bank && k + d <= LL) {
        theta = wb * theta + (1.0 - wb) * vss.CELL_THETA(k + d, link);
        v = wb * v + (1.0 - wb) * vss.CELL_VERTICAL_FLOW(k + d, link);
      }
      cm.CM_STORED_THETA(k, iel) = theta;
      cm.CM_STORED_VERTICAL_FLOW(k, iel) = v;
    }
    double q = flow_above(vss, iel, b - 1);
    if (bank) {
      const double w = weight(b - 1);
      q = (1.0 - w) * flow_above(vss, link, b - 1 + d) + w * q;
    }
    cm.CM_STORED_VERTICAL_FLOW(b - 1, iel) = q;
    cm.CM_STORED_BASE_FLOW(iel) = frame.AREA(iel) * q;

    // Lateral flows as scaled fluxes. Below the bed level a bank's face towards its link
    // carries half the link's side-to-side flow, and a face towards the other bank
    // half the link's flow through that face.
    for (int f = 1; f <= 4; ++f) {
      const int opposite = f <= 2 ? f + 2 : f - 2;
      const int n = frame.ICMREF(iel, f, 2);
      const bool to_bank =
          bank && n > 0 && (frame.ICMREF(n, 1, 1) == KIND_BANK_SIDE_1 ||
                            frame.ICMREF(n, 1, 1) == KIND_BANK_SIDE_2);
      for (int k = c0; k <= LL; ++k) {
        double flow = vss.CELL_LATERAL_FLOW(f, k, iel);
        if (bank && k <= bed_cell) {
          if (f == bank_face) {
            flow = 0.5 * (vss.CELL_LATERAL_FLOW(f, k + d, link) -
                          vss.CELL_LATERAL_FLOW(opposite, k + d, link));
          } else if (to_bank) {
            flow += 0.5 * vss.CELL_LATERAL_FLOW(f, k + d, link);
          }
        }
        cm.CM_STORED_FACE_FLUX(f, k, iel) = weight(k) * hn / (vss.CELL_THICKNESS(k, iel) / L) * flow;
      }
    }
  }
}

}  // namespace

void check_contaminant_banks(const FrameState& frame, RunIo& io) {
  if (frame.CONTAMINANT_ON && frame.NLF > 0 && !frame.BANKS_ON) {
    REPORT_ERROR(io, SEVERITY_FATAL, CM_BANKS_NEEDED_ERROR, CM_PRINT, 0, 0,
                 "Contaminant migration needs bank elements: switch banks on in the frame data file");
  }
}

void INTERPOLATE_LAYER_PROFILE(int m, const FrameState& frame, const SubsurfaceState& vss,
                               ContaminantState& cm) {
  const int LL = vss.LL;
  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    const int n = cm.NCATTY(iel, m);
    const int rows = cm.NTBL(n, m);
    auto depth = [&](int j) { return cm.DTAB(n, j, m); };
    auto value = [&](int j) { return cm.CTAB(n, j, m); };
    cm.CM_REL_CONC_DYNAMIC(LL, iel, m) = value(1);
    const double top = 0.5 * vss.CELL_THICKNESS(LL, iel) + vss.CELL_ELEVATION(LL, iel);
    int u = 2;  // the search only moves down the table, as the cells do
    for (int k = LL - 1; k >= cm.CM_BOTTOM_CELL(iel); --k) {
      const double g = top - vss.CELL_ELEVATION(k, iel);
      double c = value(rows);
      if (!(depth(rows) <= g)) {
        while (u < rows && depth(u) < g) ++u;
        c = value(u - 1) + (value(u) - value(u - 1)) * (g - depth(u - 1)) / (depth(u) - depth(u - 1));
      }
      cm.CM_REL_CONC_DYNAMIC(k, iel, m) = c;
    }
  }
}

void initialise_contaminant_state(bool SEDIMENT_ON, Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& vss = model.subsurface;
  SedimentState& sed = model.sediment;
  ContaminantState& cm = model.contaminant;
  RunIo& io = model.io;
  const int LL = vss.LL, nlf = frame.NLF, nel = frame.NEL;

  check_category_tables(frame, cm, io);

  // Every column is solved from its lowest cell, whatever the data file gave.
  for (int iel = nlf + 1; iel <= nel; ++iel) cm.CM_BOTTOM_CELL(iel) = vss.LAYER_BOTTOM_CELL(iel, 1);

  if (!SEDIMENT_ON) supply_default_sediment(frame, vss, sed, cm);
  // The bed's soil sets the composition of its deep layer; the sediment component, when
  // on, gives no soil for it, so the same rule serves both cases.
  for (int l = 1; l <= nlf; ++l) {
    cm.CM_LINK_BED_SOIL(l) = link_bed_soil(frame, vss, l);
    if (!SEDIMENT_ON && cm.CM_LINK_BED_SOIL(l) > 0) sed.PBSED(l) = vss.THSAT(cm.CM_LINK_BED_SOIL(l));
  }

  set_derived_constants(cm, LL);
  const int soils = std::min<int>(vss.NS, static_cast<int>(sed.SOSDFN.extent(1)));
  for (int m = 1; m <= cm.NCON; ++m) {
    cm.CM_DECAY_RATE_SCALED(m) = cm.CM_TIME_SCALE * cm.CM_DECAY_RATE(m);
    for (int s = 1; s <= soils; ++s) {
      double kd = 0.0;
      for (int z = 1; z <= sed.NSED; ++z) kd += sed.SOSDFN(s, z) * cm.CM_SEDIMENT_KD(z, m);
      cm.CM_SOIL_KD(s, m) = kd;
    }
  }
  for (int iel = nlf + 1; iel <= nel; ++iel) {
    cm.CM_BOTTOM_LEVEL(iel) = vss.CELL_ELEVATION(cm.CM_BOTTOM_CELL(iel), iel);
  }

  build_connection_lists(frame, vss, cm);
  set_up_link_bed_geometry(frame, surface, vss, cm, io);
  for (int m = 1; m <= cm.NCON; ++m) {
    cm.CM_RAIN_REL_CONC_STEP(m) = cm.CM_RAIN_REL_CONC(m);
    cm.CM_SURFACE_SOURCE_STEP(m) = cm.CM_SURFACE_SOURCE(m);
  }
  set_initial_bed_state(frame, surface, vss, sed, cm);

  // Links start at the uniform value in all three compartments, whether or not the
  // columns start from category tables.
  for (int m = 1; m <= cm.NCON; ++m) {
    for (int l = 1; l <= nlf; ++l) {
      for (int k = LL - 2; k <= LL; ++k) {
        cm.CM_REL_CONC_DYNAMIC(k, l, m) = cm.CM_UNIFORM_REL_CONC(m);
        cm.CM_REL_CONC_DYNAMIC_OLD(k, l, m) = cm.CM_UNIFORM_REL_CONC(m);
      }
    }
  }

  set_initial_column_stores(frame, surface, vss, sed, cm);
  // The sediment composition the first step takes as its start: the one the columns
  // hold now. Left at zero, the first step would see the loose and suspended sediment
  // gain their sorption from nothing and drop the sorbed mass they start with.
  for (int iel = nlf + 1; iel <= nel; ++iel) {
    for (int z = 1; z <= sed.NSED; ++z) {
      cm.CM_FBETA_PREVIOUS(iel, z) = sed.FBETA(iel, z);
      cm.CM_FDEL_PREVIOUS(iel, z) = sed.FDEL(iel, z);
    }
  }
  for (int m = 1; m <= cm.NCON; ++m) {
    for (int iel = nlf + 1; iel <= nel; ++iel) {
      for (int k = 1; k <= LL; ++k) {
        const double c = cm.CM_UNIFORM_REL_CONC(m);
        cm.CM_REL_CONC_DYNAMIC(k, iel, m) = c;
        cm.CM_REL_CONC_DEAD_SPACE(k, iel, m) = c;
        cm.CM_REL_CONC_DYNAMIC_OLD(k, iel, m) = c;
        cm.CM_REL_CONC_DEAD_SPACE_OLD(k, iel, m) = c;
      }
    }
  }

  // Contaminants given by category tables: the profile of each column's category, in
  // both regions and as the start-of-step value; cells below the bottom cell keep the
  // uniform value.
  for (int m = 1; m <= cm.NCON; ++m) {
    if (!cm.CM_CATEGORY_TABLES_ON[m]) continue;
    INTERPOLATE_LAYER_PROFILE(m, frame, vss, cm);
    for (int iel = nlf + 1; iel <= nel; ++iel) {
      for (int k = cm.CM_BOTTOM_CELL(iel); k <= LL; ++k) {
        const double c = cm.CM_REL_CONC_DYNAMIC(k, iel, m);
        cm.CM_REL_CONC_DEAD_SPACE(k, iel, m) = c;
        cm.CM_REL_CONC_DYNAMIC_OLD(k, iel, m) = c;
        cm.CM_REL_CONC_DEAD_SPACE_OLD(k, iel, m) = c;
      }
    }
  }
}

}  // namespace quendal
