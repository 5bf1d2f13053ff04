#include "subsurface/vss_cells.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/units.h"
#include "subsurface/aquifer_connections.h"
#include "subsurface/vss_data_file.h"

namespace quendal {
namespace {

constexpr int RENUMBER_PASS_LIMIT = 40000;

// Half of x rounded up (towards +infinity).
int half_up(int x) { return x >= 0 ? (x + 1) / 2 : x / 2; }

class CellBuilder {
 public:
  CellBuilder(const FrameState& frame, const SurfaceState& surface, SubsurfaceState& vss,
              RunIo& io)
      : f_(frame), s_(surface), v_(vss), io_(io),
        first_(frame.BANKS_ON ? 1 : frame.NLF + 1),
        own_top_(frame.NEL, 0) {}

  void run();

 private:
  const FrameState& f_;
  const SurfaceState& s_;
  SubsurfaceState& v_;
  RunIo& io_;
  const int first_;
  Array1<int> own_top_;
  Array2<char> paired_;  // (NEL, 4): the face has been connected from one side
  int pass_ = 0;
  bool renumbered_ = false;
  std::vector<int> own_cells_, nb_cells_;  // the cell lists of the group being paired

  int kind(int e) const { return f_.ICMREF(e, 1, 1); }
  bool is_link(int e) const { return kind(e) == KIND_CHANNEL_LINK; }

  // Appends a cell to e's stack, refusing a stack beyond its room.
  void add_cell(int e, int& k, double thickness, double level) {
    if (++k > MAX_CELLS_PER_COLUMN) {
      REPORT_ERROR(io_, SEVERITY_FATAL, VSS_ROOM_ERROR, PRINT_UNIT, e, 0,
                   "Element" + edit_integer(e, 6) + " needs more than" +
                       edit_integer(MAX_CELLS_PER_COLUMN, 3) +
                       " cells: raise the cell size or thin the cell zones");
    }
    v_.CELL_THICKNESS(k, e) = thickness;
    v_.CELL_ELEVATION(k, e) = level;
  }
  void generate();
  void generate_link(int bank);
  void align();
  void connect();
  int aquifer_top(int e) const;
  void connect_face(int iel, int f, int nb, int bf);
  int group_cells(int e, int face, int lowest, int highest, int top, std::vector<int>& cells,
                  int& pair_count) const;
  void renumber(int e, int face, int lowest, int highest, int top, int n, int pairs);
  void pair_lists(int iel, int f, int nb, int bf, int own_pairs, int nb_pairs);
  void finish_links();
};

void CellBuilder::generate() {
  const double d = v_.VSS_SURFACE_ZONE_DEPTH, min_t = v_.VSS_MIN_CELL_THICKNESS;
  v_.CELL_THICKNESS.fill(0.0);
  v_.CELL_ELEVATION.fill(0.0);
  own_top_.fill(0);
  for (int e = f_.NLF + 1; e <= f_.NEL; ++e) {
    if (kind(e) == KIND_BANK_SIDE_2) continue;
    const double s = f_.ZGRUND(e) - d;
    int k = 1;  // cell 1: the placeholder, thickness and level 0
    for (int layer = 1; layer <= v_.NLYR(e); ++layer) {
      const double b = v_.LAYER_BOTTOM_LEVEL(e, layer);
      const double t = std::min(v_.LAYER_BOTTOM_LEVEL(e, layer + 1), s);
      const double thickness = t - b;
      if (!(thickness >= min_t)) continue;
      int c = v_.LAYER_CELL_COUNT(e, layer);
      if (c <= 0) c = static_cast<int>(std::floor(std::max(thickness / v_.VSS_DEFAULT_CELL_SIZE, 0.0))) + 1;
      const double dz = thickness / c;
      for (int q = 1; q <= c; ++q) add_cell(e, k, dz, b + (q - 0.5) * dz);
    }
    double base = s;
    for (long j = v_.DCSZON.size(); j >= 1; --j) {
      const double z = v_.DCSZON(j);
      if (base + 0.5 * z > v_.LAYER_BOTTOM_LEVEL(e, 1)) add_cell(e, k, z, base + 0.5 * z);
      base += z;
    }
    own_top_(e) = k;
    if (kind(e) != KIND_GRID_SQUARE && f_.BANKS_ON) generate_link(e);
  }
}

// A side-1 bank builds the stack of its link and hands its own to the side-2 bank.
void CellBuilder::generate_link(int bank) {
  const int link = f_.ICMREF(bank, 4, 1);
  const double bed_base = s_.LINK_EQUIVALENT_BED(link) - v_.VSS_BED_ZONE_DEPTH;
  double level = v_.LAYER_BOTTOM_LEVEL(bank, 1);
  int k = 0;
  while (k + 1 <= own_top_(bank) && level + v_.CELL_THICKNESS(k + 1, bank) <= bed_base) {
    ++k;
    v_.CELL_THICKNESS(k, link) = v_.CELL_THICKNESS(k, bank);
    v_.CELL_ELEVATION(k, link) = v_.CELL_ELEVATION(k, bank);
    level += v_.CELL_THICKNESS(k, bank);
  }
  const double gap = bed_base - level;
  if (gap >= v_.VSS_MIN_CELL_THICKNESS || k == 0) {
    add_cell(link, k, gap, bed_base - 0.5 * gap);
  } else {
    v_.CELL_THICKNESS(k, link) += gap;
    v_.CELL_ELEVATION(k, link) = bed_base - 0.5 * v_.CELL_THICKNESS(k, link);
  }
  double base = bed_base;
  for (long j = v_.DCRBED.size(); j >= 1; --j) {
    const double z = v_.DCRBED(j);
    add_cell(link, k, z, base + 0.5 * z);
    base += z;
  }
  own_top_(link) = k;
  const int side2 = f_.LINK_BANK_ELEMENT(link, 2);
  for (int q = 1; q <= own_top_(bank); ++q) {
    v_.CELL_THICKNESS(q, side2) = v_.CELL_THICKNESS(q, bank);
    v_.CELL_ELEVATION(q, side2) = v_.CELL_ELEVATION(q, bank);
  }
  own_top_(side2) = own_top_(bank);
}

void CellBuilder::align() {
  int ll = 0;
  for (int e = 1; e <= f_.NEL; ++e) ll = std::max(ll, own_top_(e));
  v_.LL = ll;
  v_.LAYER_BOTTOM_CELL.resize(f_.NEL, NLYREE + 1, ll + 1);
  if (!f_.BANKS_ON) {
    for (int l = 1; l <= f_.NLF; ++l) v_.LAYER_BOTTOM_CELL(l, 1) = ll;
  }
  for (int e = first_; e <= f_.NEL; ++e) {
    const int shift = ll - own_top_(e);
    if (shift > 0) {
      for (int q = own_top_(e); q >= 1; --q) {
        v_.CELL_THICKNESS(q + shift, e) = v_.CELL_THICKNESS(q, e);
        v_.CELL_ELEVATION(q + shift, e) = v_.CELL_ELEVATION(q, e);
      }
      for (int q = 1; q <= shift; ++q) {
        v_.CELL_THICKNESS(q, e) = 0.0;
        v_.CELL_ELEVATION(q, e) = 0.0;
      }
    }
    int k = shift + 2;
    for (int layer = 1; layer <= v_.NLYR(e); ++layer) {
      while (k <= ll && !(v_.CELL_ELEVATION(k, e) > v_.LAYER_BOTTOM_LEVEL(e, layer))) ++k;
      v_.LAYER_BOTTOM_CELL(e, layer) = k;
    }
    v_.LAYER_BOTTOM_CELL(e, v_.NLYR(e) + 1) = ll + 1;
  }
}

int CellBuilder::aquifer_top(int e) const {
  const int ll = v_.LL;
  if (!is_link(e)) return ll - v_.VSS_SURFACE_CELL_COUNT;
  const int bank = f_.LINK_BANK_ELEMENT(e, 1);
  return std::min(v_.LAYER_BOTTOM_CELL(e, 1) + (ll - v_.VSS_SURFACE_CELL_COUNT) -
                      v_.LAYER_BOTTOM_CELL(bank, 1),
                  ll - v_.VSS_BED_CELL_COUNT);
}

// The cells of e's layers lowest..highest that face `face` (non-zero connection code),
// each up to the aquifer top, and their pair count: the fewest cells the other side
// needs to take them in pairs.
int CellBuilder::group_cells(int e, int face, int lowest, int highest, int top,
                             std::vector<int>& cells, int& pair_count) const {
  cells.clear();
  pair_count = 0;
  int carry = 0;
  for (int layer = lowest; layer <= highest; ++layer) {
    const int from = v_.LAYER_BOTTOM_CELL(e, layer);
    const int to = std::min(v_.LAYER_BOTTOM_CELL(e, layer + 1) - 1, top);
    const int q = std::max(to - from + 1, 0);
    if (v_.LAYER_FACE_CONNECTION(e, layer, face) == 0) {
      if (q > 0) carry = 0;
      continue;
    }
    for (int k = from; k <= to; ++k) cells.push_back(k);
    pair_count += half_up(q - carry);
    carry = (q - carry) % 2;
  }
  return static_cast<int>(cells.size());
}

// Raises the cell counts of e's connected layers lowest..highest (n cells in all) so
// that they can be paired against `pairs`.
void CellBuilder::renumber(int e, int face, int lowest, int highest, int top, int n, int pairs) {
  renumbered_ = true;
  int remainder = 0;
  for (int layer = lowest; layer <= highest; ++layer) {
    if (v_.LAYER_FACE_CONNECTION(e, layer, face) == 0) continue;
    const int from = v_.LAYER_BOTTOM_CELL(e, layer);
    const int to = std::min(v_.LAYER_BOTTOM_CELL(e, layer + 1) - 1, top);
    const int q = std::max(to - from + 1, 0);
    const int value = q * pairs + remainder + n / 2;
    remainder = value % n - n / 2;
    v_.LAYER_CELL_COUNT(e, layer) = value / n;
    if (pass_ == RENUMBER_PASS_LIMIT) {
      REPORT_ERROR(io_, SEVERITY_WARNING, 1037, PRINT_UNIT, e, 0,
                   format_line("('Not possible to connect all cells for face ',I1,' layer ',I2)",
                               face, layer));
    }
  }
}

void CellBuilder::pair_lists(int iel, int f, int nb, int bf, int own_pairs, int nb_pairs) {
  const bool own_big = own_cells_.size() >= nb_cells_.size();
  const std::vector<int>& big = own_big ? own_cells_ : nb_cells_;
  const std::vector<int>& small = own_big ? nb_cells_ : own_cells_;
  const int big_e = own_big ? iel : nb, small_e = own_big ? nb : iel;
  const int big_f = own_big ? f : bf, small_f = own_big ? bf : f;
  const int pairs = own_big ? own_pairs : nb_pairs;
  const int a = static_cast<int>(small.size()) - pairs;
  const int b = static_cast<int>(big.size()) - pairs;
  int offset = 0, spacing = 0;
  VSS_SPLIT_INDEX(a, b, offset, spacing);
  int counter = -offset;
  bool whole = false;
  std::size_t ib = 0, is = 0;
  while (ib < big.size() && is < small.size()) {
    const bool candidate = !whole && ib + 1 < big.size() && big[ib + 1] == big[ib] + 1;
    bool split = false;
    if (candidate) {
      ++counter;
      const bool on_spacing = spacing == 0 ? counter == 0 : counter % spacing == 0;
      whole = counter >= 0 && counter <= (a - 1) * spacing && on_spacing;
      split = !whole;
    } else {
      whole = false;
    }
    const int kb = big[ib], ks = small[is];
    v_.CELL_FACE_CELL(small_f, ks, small_e) = kb;
    v_.CELL_FACE_SPLIT(small_f, ks, small_e) = 0;
    v_.CELL_FACE_CELL(big_f, kb, big_e) = ks;
    v_.CELL_FACE_SPLIT(big_f, kb, big_e) = split ? 1 : 0;
    if (split) {
      ++ib;
      v_.CELL_FACE_CELL(big_f, big[ib], big_e) = ks;
      v_.CELL_FACE_SPLIT(big_f, big[ib], big_e) = -1;
    }
    ++ib;
    ++is;
  }
}

void CellBuilder::connect_face(int iel, int f, int nb, int bf) {
  const int ll = v_.LL;
  const int b = v_.LAYER_BOTTOM_CELL(iel, 1), b_nb = v_.LAYER_BOTTOM_CELL(nb, 1);
  const int top = aquifer_top(iel), top_nb = aquifer_top(nb);
  if (is_link(iel) && !is_link(nb)) {
    // A link and its own bank: cell for cell below the bed zone.
    int k_nb = b_nb;
    for (int k = b; k <= ll - v_.VSS_BED_CELL_COUNT && k_nb <= ll; ++k, ++k_nb) {
      v_.CELL_FACE_CELL(f, k, iel) = k_nb;
      v_.CELL_FACE_CELL(bf, k_nb, nb) = k;
    }
    return;
  }
  const int highest = is_link(iel) || is_link(nb) ? ll - v_.VSS_BED_CELL_COUNT : ll;
  for (int k = std::max({top, top_nb, b - 1, b_nb - 1}) + 1; k <= highest; ++k) {
    v_.CELL_FACE_CELL(f, k, iel) = k;
    v_.CELL_FACE_CELL(bf, k, nb) = k;
  }
  if (b > top) return;
  int layer = 1, m = 1;
  const Array3<int>& code = v_.LAYER_FACE_CONNECTION;
  while (true) {
    if (v_.LAYER_BOTTOM_CELL(nb, m) > top_nb || v_.LAYER_BOTTOM_CELL(iel, layer) > top) break;
    if (code(iel, layer, f) == 0) {
      ++layer;
      continue;
    }
    if (code(nb, m, bf) == 0) {
      ++m;
      continue;
    }
    const int own_lo = connection_lowest(code(nb, m, bf));
    const int own_hi = connection_highest(code(nb, m, bf));
    const int nb_lo = connection_lowest(code(iel, layer, f));
    const int nb_hi = connection_highest(code(iel, layer, f));
    int own_pairs = 0, nb_pairs = 0;
    const int n_own = group_cells(iel, f, own_lo, own_hi, top, own_cells_, own_pairs);
    const int n_nb = group_cells(nb, bf, nb_lo, nb_hi, top_nb, nb_cells_, nb_pairs);
    if (n_own == 0 && n_nb > 0) {
      if (pass_ == 1) {
        REPORT_ERROR(io_, SEVERITY_WARNING, 1053, PRINT_UNIT, nb, 0,
                     format_line("('Null cell connectivity being set up for face ',I1,' layer ',I2)",
                                 bf, m));
      }
    } else if (n_nb == 0 && n_own > 0) {
      if (pass_ == 1) {
        REPORT_ERROR(io_, SEVERITY_WARNING, 1053, PRINT_UNIT, iel, 0,
                     format_line("('Null cell connectivity being set up for face ',I1,' layer ',I2)",
                                 f, layer));
      }
    } else if (n_nb < own_pairs) {
      renumber(nb, bf, nb_lo, nb_hi, top_nb, n_nb, own_pairs);
    } else if (n_own < nb_pairs) {
      renumber(iel, f, own_lo, own_hi, top, n_own, nb_pairs);
    } else {
      pair_lists(iel, f, nb, bf, own_pairs, nb_pairs);
    }
    // Codes built by the aquifer connections always move both walks on; a walk never
    // steps back.
    layer = std::max(own_hi, layer) + 1;
    m = std::max(nb_hi, m) + 1;
  }
}

void CellBuilder::connect() {
  const int ll = v_.LL;
  v_.CELL_FACE_CELL.resize(4, ll, f_.NEL, 0);
  v_.CELL_FACE_SPLIT.resize(4, ll, f_.NEL, 0);
  paired_.resize(f_.NEL, 4, 0);
  for (int iel = first_; iel <= f_.NEL; ++iel) {
    for (int f = 1; f <= 4; ++f) {
      const int nb = f_.ICMREF(iel, f, 2);
      if (nb < first_ || paired_(iel, f)) continue;
      const int bf = f_.ICMREF(iel, f, 3);
      paired_(iel, f) = 1;
      paired_(nb, bf) = 1;
      connect_face(iel, f, nb, bf);
    }
  }
}

// A link's highest cell below its bed zone takes the thickness of the bank cell it
// faces; the link's lower cells and layer levels move down with it.
void CellBuilder::finish_links() {
  const int ll = v_.LL;
  const int f_cell = ll - v_.VSS_BED_CELL_COUNT;
  for (int l = 1; l <= f_.NLF; ++l) {
    const int bank = f_.LINK_BANK_ELEMENT(l, 1);
    const int b_link = v_.LAYER_BOTTOM_CELL(l, 1);
    const int p = f_cell - b_link + v_.LAYER_BOTTOM_CELL(bank, 1);
    v_.LINK_BED_CELL(l, 1) = v_.LINK_BED_CELL(l, 2) = p;
    if (f_cell < 1 || p < 1 || p > ll) continue;
    const double gain = v_.CELL_THICKNESS(p, bank) - v_.CELL_THICKNESS(f_cell, l);
    v_.CELL_THICKNESS(f_cell, l) += gain;
    v_.CELL_ELEVATION(f_cell, l) -= 0.5 * gain;
    for (int k = b_link; k < f_cell; ++k) v_.CELL_ELEVATION(k, l) -= gain;
    for (int layer = 1; layer <= v_.NLYR(l); ++layer) v_.LAYER_BOTTOM_LEVEL(l, layer) -= gain;
  }
}

void CellBuilder::run() {
  const int nel = f_.NEL;
  v_.CELL_THICKNESS.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
  v_.CELL_ELEVATION.resize(MAX_CELLS_PER_COLUMN, nel, 0.0);
  v_.LAYER_CELL_COUNT.resize(nel, NLYREE, 0);
  v_.LINK_BED_CELL.resize(f_.NLF, 2, 0);
  v_.LINK_BED_CELL_FRACTION.resize(f_.NLF, 2, 0.0);
  v_.VSS_RENUMBER_ATTEMPTS = 0;
  do {
    ++v_.VSS_RENUMBER_ATTEMPTS;
    pass_ = v_.VSS_RENUMBER_ATTEMPTS;
    if (pass_ > RENUMBER_PASS_LIMIT) {
      REPORT_ERROR(io_, SEVERITY_FATAL, 1048, PRINT_UNIT, 0, 0,
                   "Attempts to renumber cells have failed.");
    }
    renumbered_ = false;
    generate();
    align();
    connect();
  } while (renumbered_);
  RecordSink& print = io_.units.print();
  print.write_record("");
  write_formatted(print, "('Number of top cell in all columns (LL) = ',I3)", v_.LL);
  if (f_.BANKS_ON) finish_links();
}

}  // namespace

void VSS_SPLIT_INDEX(int a, int b, int& offset, int& spacing) {
  if (a <= 1) {
    offset = b / (std::max(a, 0) + 1) + 1;
    spacing = b;
    return;
  }
  const int c = a - 1;
  const int r = (b - 1) % c;
  int sigma = r;
  if (r % 2 != 0 && (r + c) % 2 == 0 && r + c <= b - a) sigma = r + c;
  const int step = (sigma % 2 == 0 && c % 2 != 0) ? 2 * c : c;
  const int room = std::max(2 * (b - a) / (a + 1) - sigma, 0);
  sigma += room / step * step;
  spacing = (b - sigma - 1) / c;
  offset = (sigma + 1) / 2 + 1;
}

void VSS_SET_UP_CELLS(const FrameState& frame, const SurfaceState& surface,
                      SubsurfaceState& vss, RunIo& io) {
  CellBuilder(frame, surface, vss, io).run();
}

}  // namespace quendal
