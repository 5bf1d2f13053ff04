#include "contaminant/cm_bed_geometry.h"

#include <algorithm>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/predicates.h"
#include "services/stops.h"

namespace quendal {

namespace {

constexpr int CM_PRINT = 25;  // the contaminant print file

int opposite_face(int f) { return f <= 2 ? f + 2 : f - 2; }

[[noreturn]] void bed_geometry_error(RunIo& io, int link, int side, const std::string& what) {
  REPORT_ERROR(io, SEVERITY_FATAL, CM_BED_GEOMETRY_ERROR, CM_PRINT, link, 0,
               format_line("('Stream bed of link ',I5,' side ',I1,': ',A)", link, side, what));
  throw FatalError("unreachable");  // REPORT_ERROR does not return from a fatal report
}

// One bank side of a link while its bed bottom is found.
struct BankSide {
  int bank = 0;   // the bank element
  int face = 0;   // its face towards the link
  int split = 0;  // the bank cell just below the bed bottom found on this side
  double y = 0.0; // fraction of cell split + 1 below the bed bottom
  int q = 0;      // the connection entry that holds the bed bottom
  double into_entry = 0.0;  // y less the weights of the entries the walk passed
  double position = 0.0;  // (q - 1) + y: where the bed bottom lies along the face
};

class BedLayout {
 public:
  BedLayout(const FrameState& frame, const SurfaceState& surface, const SubsurfaceState& vss,
            ContaminantState& cm, RunIo& io)
      : f_(frame), s_(surface), v_(vss), cm_(cm), io_(io) {}

  void lay_out(int link);

 private:
  const FrameState& f_;
  const SurfaceState& s_;
  const SubsurfaceState& v_;
  ContaminantState& cm_;
  RunIo& io_;

  double dz(int e, int k) const { return cm_.CM_CELL_THICKNESS_SCALED(k, e); }
  double weight(int e, int entry, int face) const {
    return cm_.CM_FACE_CELL_WEIGHT(entry, face, e) * cm_.CM_CONNECTION_WEIGHT_UNIT;
  }
  int entries(int e, int face) const { return cm_.CM_FACE_CELL_START(v_.LL + 1, face, e) - 1; }
  void find_bottom(int link, int side, BankSide& b);
  void map_other_side(int link, int other, const BankSide& primary, const BankSide& o);
  double bed_thickness(int link, int side, int bank) const;
};

// The bed bottom on one side: walk down from the bed level until the bed depth is
// reached, then find the connection entry that holds it.
void BedLayout::find_bottom(int link, int side, BankSide& b) {
  const int e = b.bank, LL = v_.LL;
  const int c = v_.LINK_BED_CELL(link, side);
  if (c < 1 || c > LL) {
    bed_geometry_error(io_, link, side,
                       format_line("('LINK_BED_CELL =',I4,' is not a cell of the bank (LL =',I3,')')",
                                   c, LL));
  }
  const int d = v_.LAYER_BOTTOM_CELL(link, 1) - v_.LAYER_BOTTOM_CELL(e, 1);
  if (c + d > LL) {
    bed_geometry_error(io_, link, side,
                       format_line("('bank cell',I3,' at the bed level pairs with link cell',I4,"
                                   "' above LL =',I3)",
                                   c, c + d, LL));
  }
  if (entries(e, b.face) < 1) {
    bed_geometry_error(io_, link, side,
                       format_line("('no cell of bank element',I6,' faces the link')", e));
  }
  // The walk may not pass the lowest connected cell: the bed bottom must leave at
  // least that cell below it, so the side mapping has an entry before the bottom's.
  const int lowest = cm_.CM_FACE_CELL_OWN(1, b.face, e);
  const double depth = cm_.CM_BED_DEPTH / cm_.CM_LENGTH_SCALE;
  double a = v_.LINK_BED_CELL_FRACTION(link, side) * dz(e, c + 1);
  if (a >= depth && c >= lowest) {
    b.split = c;
    b.y = (a - depth) / dz(e, c + 1);
  } else {
    bool reached = false;
    for (int j = c; j >= lowest + 1; --j) {
      a += dz(e, j);
      if (a > depth) {
        b.split = j - 1;
        b.y = (a - depth) / dz(e, j);
        reached = true;
        break;
      }
    }
    if (!reached) {
      bed_geometry_error(io_, link, side,
                         format_line("('the bed reaches the lowest connected cell',I3,"
                                     "' of bank element',I6)",
                                     lowest, e));
    }
  }
  int entry = cm_.CM_FACE_CELL_START(b.split + 1, b.face, e);
  const int last = entries(e, b.face);
  if (entry > last) {
    bed_geometry_error(io_, link, side,
                       format_line("('no cell of bank element',I6,' above cell',I3,"
                                   "' faces the link')",
                                   e, b.split));
  }
  // The entry holding the bottom, and how far into it the bottom lies. When the bottom
  // falls on the top of an entry (y = 1 of a whole cell: a bed depth of whole cells) the
  // walk passes on to the next entry, and the part of y left for it is 0, not y: counted
  // as y, the position would lie a whole entry too high and the other side's bed would
  // lose a cell.
  double below = 0.0;
  double sum = weight(e, entry, b.face);
  while (!(sum > b.y) && entry < last) {
    below = sum;
    ++entry;
    sum += weight(e, entry, b.face);
  }
  b.q = entry;
  b.into_entry = b.y - below;
  b.position = (b.q - 1) + b.into_entry;
}

// The side whose bed bottom lies lower along the face decides; the other side takes the
// same place in its own connection list.
void BedLayout::map_other_side(int link, int other, const BankSide& primary, const BankSide& o) {
  const int e = o.bank, q = primary.q;
  if (q > entries(e, o.face)) {
    bed_geometry_error(io_, link, other,
                       format_line("('bank element',I6,' has no connection entry',I4,"
                                   "' towards the link')",
                                   e, q));
  }
  const int v = cm_.CM_FACE_CELL_OWN(q - 1, o.face, e);
  const double f0 = primary.into_entry * weight(e, q, o.face);
  if (cm_.CM_FACE_CELL_START(v + 1, o.face, e) == q) {
    cm_.CM_BED_BOTTOM_CELL(link, other) = v;
    cm_.CM_BED_BOTTOM_FRACTION(link, other) = f0;
  } else {
    double fraction = f0;
    for (int i = cm_.CM_FACE_CELL_START(v, o.face, e); i <= q - 1; ++i) {
      fraction += weight(e, i, o.face);
    }
    cm_.CM_BED_BOTTOM_CELL(link, other) = v - 1;
    cm_.CM_BED_BOTTOM_FRACTION(link, other) = fraction;
  }
}

// Scaled thickness of the bed on one side: from the bed bottom up to the bed level.
double BedLayout::bed_thickness(int link, int side, int bank) const {
  const int m = cm_.CM_BED_BOTTOM_CELL(link, side);
  const int c = v_.LINK_BED_CELL(link, side);
  double h = 0.0;
  for (int k = m + 1; k <= c + 1; ++k) h += dz(bank, k);
  h -= cm_.CM_BED_BOTTOM_FRACTION(link, side) * dz(bank, m + 1);
  h -= (1.0 - v_.LINK_BED_CELL_FRACTION(link, side)) * dz(bank, c + 1);
  return h;
}

void BedLayout::lay_out(int link) {
  // The three compartments of a link live in cells LL - 2 to LL, and both bed layers
  // need an area: the transport divides by them.
  if (v_.LL < 3) {
    bed_geometry_error(io_, link, 1,
                       format_line("('LL =',I2,' leaves no room for the three link compartments')",
                                   v_.LL));
  }
  if (!(cm_.CM_SURFACE_LAYER_DEPTH > 0.0)) {
    bed_geometry_error(io_, link, 1, "the surface layer depth (CM15) must be positive");
  }
  if (!(cm_.CM_BED_DEPTH > cm_.CM_SURFACE_LAYER_DEPTH)) {
    bed_geometry_error(io_, link, 1,
                       "the bed depth (CM17) must exceed the surface layer depth (CM15)");
  }
  BankSide sides[3];
  for (int f = 1; f <= 4; ++f) {
    const int e = f_.ICMREF(link, f, 2);
    if (e <= 0) continue;
    const int kind = f_.ICMREF(e, 1, 1);
    if (kind != KIND_BANK_SIDE_1 && kind != KIND_BANK_SIDE_2) continue;
    sides[kind].bank = e;
    sides[kind].face = opposite_face(f);
  }
  for (int s = 1; s <= 2; ++s) {
    if (sides[s].bank == 0) bed_geometry_error(io_, link, s, "no bank element on this side");
    cm_.CM_BANK_ELEMENT(link, s) = sides[s].bank;
  }
  for (int s = 1; s <= 2; ++s) find_bottom(link, s, sides[s]);
  const int p = sides[2].position >= sides[1].position ? 1 : 2;
  const int o = 3 - p;
  cm_.CM_BED_BOTTOM_CELL(link, p) = sides[p].split;
  cm_.CM_BED_BOTTOM_FRACTION(link, p) = sides[p].y;
  map_other_side(link, o, sides[p], sides[o]);

  const double L = cm_.CM_LENGTH_SCALE;
  const double width = s_.CWIDTH(link);
  cm_.CM_SURFACE_LAYER_AREA(link) = cm_.CM_SURFACE_LAYER_DEPTH * width / cm_.CM_AREA_SCALE;
  const double h1 = bed_thickness(link, 1, sides[1].bank);
  const double h2 = bed_thickness(link, 2, sides[2].bank);
  cm_.CM_BED_AREA_BASE(link) = 0.5 * width * (h1 + h2) / L - cm_.CM_SURFACE_LAYER_AREA(link);
  for (int s = 1; s <= 2; ++s) cm_.CM_BANK_EXCHANGE_CELL(link, s) = v_.LINK_BED_CELL(link, s);
}

}  // namespace

void build_connection_lists(const FrameState& frame, const SubsurfaceState& vss,
                            ContaminantState& cm) {
  const int LL = vss.LL;
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int k = 1; k <= LL + 1; ++k) cm.CM_CELL_THICKNESS_SCALED(k, e) = 0.0;
    for (int k = vss.LAYER_BOTTOM_CELL(e, 1); k <= LL; ++k) {
      cm.CM_CELL_THICKNESS_SCALED(k, e) = vss.CELL_THICKNESS(k, e) / cm.CM_LENGTH_SCALE;
    }
    if (LL >= 1) cm.CM_CELL_THICKNESS_SCALED(LL + 1, e) = cm.CM_CELL_THICKNESS_SCALED(LL, e);
  }

  // The share of each of two stacked cells in the face they share, by thickness.
  auto shares = [](double lower, double upper, int& w_lower, int& w_upper) {
    const double total = lower + upper;
    w_lower = total > 0.0 ? static_cast<int>(lower * CM_WHOLE_FACE_WEIGHT / total)
                          : CM_WHOLE_FACE_WEIGHT / 2;
    w_upper = total > 0.0 ? static_cast<int>(upper * CM_WHOLE_FACE_WEIGHT / total)
                          : CM_WHOLE_FACE_WEIGHT / 2;
  };

  for (int iel = frame.NLF + 1; iel <= frame.NEL; ++iel) {
    const int b = vss.LAYER_BOTTOM_CELL(iel, 1);
    for (int f = 1; f <= 4; ++f) {
      // The column across the face; across a channel link (banks off), the column
      // beyond it. The face of that column that points back stays the link's.
      int n = frame.ICMREF(iel, f, 2);
      int g = frame.ICMREF(iel, f, 3);
      if (n <= 0) {
        n = iel;
        g = f;
      } else if (frame.ICMREF(n, 1, 1) == KIND_CHANNEL_LINK) {
        n = frame.ICMREF(n, f, 2);
      }
      int next = 1;
      auto add = [&](int own, int neighbour, int weight) {
        cm.CM_FACE_CELL_OWN(next, f, iel) = own;
        cm.CM_FACE_CELL_LIST(next, f, iel) = neighbour;
        cm.CM_FACE_CELL_WEIGHT(next, f, iel) = weight;
        ++next;
      };
      for (int k = 1; k <= LL; ++k) {
        // Every cell gets a start entry, so a cell without a connection has an empty
        // run rather than an undefined one.
        cm.CM_FACE_CELL_START(k, f, iel) = next;
        if (k < b) continue;
        const int p = vss.CELL_FACE_CELL(f, k, iel);
        if (p <= 0) continue;
        int w1 = 0, w2 = 0;
        if (vss.CELL_FACE_SPLIT(f, k, iel) == 1 && k < LL) {
          // Cells k and k + 1 together face cell p. Cell k + 1 is visited in its turn and
          // gets its own entry as well, so each cell's run lists the cell it faces.
          shares(vss.CELL_THICKNESS(k, iel), vss.CELL_THICKNESS(k + 1, iel), w1, w2);
          add(k, p, w1);
          add(k + 1, p, w2);
        } else if (n > 0 && p < LL && vss.CELL_FACE_SPLIT(g, p, n) == 1) {
          // Cells p and p + 1 of the neighbour together face cell k: weighted by their
          // thicknesses, like the other spanning case.
          shares(vss.CELL_THICKNESS(p, n), vss.CELL_THICKNESS(p + 1, n), w1, w2);
          add(k, p, w1);
          add(k, p + 1, w2);
        } else {
          add(k, p, CM_WHOLE_FACE_WEIGHT);
        }
      }
      cm.CM_FACE_CELL_START(LL + 1, f, iel) = next;
    }
  }
}

void set_up_link_bed_geometry(const FrameState& frame, const SurfaceState& surface,
                              const SubsurfaceState& subsurface, ContaminantState& cm,
                              RunIo& io) {
  BedLayout layout(frame, surface, subsurface, cm, io);
  for (int link = 1; link <= frame.NLF; ++link) layout.lay_out(link);
}

void set_initial_bed_state(const FrameState& frame, const SurfaceState& surface,
                           const SubsurfaceState& vss, const SedimentState& sediment,
                           ContaminantState& cm) {
  const int LL = vss.LL;
  for (int link = 1; link <= frame.NLF; ++link) {
    // Bed moisture: the bank cells the bed spans on both sides, each by the part of its
    // thickness inside the bed.
    double sum_weight = 0.0, sum_theta = 0.0;
    for (int s = 1; s <= 2; ++s) {
      const int e = cm.CM_BANK_ELEMENT(link, s);
      const int m = cm.CM_BED_BOTTOM_CELL(link, s);
      const int c = vss.LINK_BED_CELL(link, s);
      auto add = [&](int k, double w) {
        // The cell above LINK_BED_CELL may lie above the top cell: it holds no bed.
        if (k > LL) return;
        sum_weight += w;
        sum_theta += w * vss.CELL_THETA(k, e);
      };
      add(m + 1, (1.0 - cm.CM_BED_BOTTOM_FRACTION(link, s)) * cm.CM_CELL_THICKNESS_SCALED(m + 1, e));
      for (int k = m + 2; k <= c; ++k) add(k, cm.CM_CELL_THICKNESS_SCALED(k, e));
      add(c + 1, vss.LINK_BED_CELL_FRACTION(link, s) * cm.CM_CELL_THICKNESS_SCALED(c + 1, e));
    }
    const double theta = sum_weight > 0.0 ? sum_theta / sum_weight : sediment.PBSED(link);
    cm.CM_LINK_BED_THETA_OLD(link) = std::min(sediment.PBSED(link), theta);
    cm.CM_LINK_BED_THETA(link) = cm.CM_LINK_BED_THETA_OLD(link);

    // Bed composition: the loose sediment and the deep layer's soil, by their areas. A
    // bed with neither is all soil.
    const double loose = sediment.DLS(link) * surface.CWIDTH(link);
    const double deep =
        (cm.CM_BED_AREA_BASE(link) - cm.CM_SURFACE_LAYER_AREA(link)) * cm.CM_AREA_SCALE;
    const int soil = cm.CM_LINK_BED_SOIL(link);
    for (int z = 1; z <= sediment.NSED; ++z) {
      const double soil_share = sediment.SOSDFN(soil, z);
      cm.CM_LINK_BED_FRACTIONS_PREVIOUS(link, z) =
          IS_ZERO(loose + deep) ? soil_share
                                : (sediment.FBETA(link, z) * loose + soil_share * deep) / (loose + deep);
      cm.CM_FDEL_PREVIOUS(link, z) = sediment.FDEL(link, z);
      cm.CM_LINK_BED_SIZE_SHARE_PREVIOUS(link, z) = cm.CM_LINK_BED_SIZE_SHARE(link, z);
    }
    cm.CM_LINK_WATER_AREA(link) = surface.ARXL(link) / cm.CM_AREA_SCALE;
    cm.CM_LINK_BED_AREA(link) = cm.CM_BED_AREA_BASE(link);
  }
}

int link_bank_element(const FrameState& frame, int link, int side) {
  int bank = 0;
  for (int f = 1; f <= 4; ++f) {
    const int e = frame.ICMREF(link, f, 2);
    if (e > 0 && frame.ICMREF(e, 1, 1) == side) bank = e;
  }
  return bank;
}

double bank_weight(const FrameState& frame, const SurfaceState& surface, int bank) {
  const int link = frame.ICMREF(bank, 4, 1);
  const double w = frame.AREA(bank) / frame.CLENTH(link);
  return w / (0.5 * surface.CWIDTH(link) + w);
}

double bank_cell_weight(double r, int bed_bottom_cell, double bed_bottom_fraction, int bottom_cell,
                        int k) {
  const int blend_cell = std::max(bed_bottom_cell + 1, bottom_cell - 1);
  if (k == blend_cell) return 1.0 - (1.0 - r) * bed_bottom_fraction;
  if (k >= bottom_cell - 1 && k <= bed_bottom_cell) return r;
  return 1.0;
}

}  // namespace quendal
