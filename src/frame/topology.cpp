#include "frame/topology.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/stops.h"

namespace quendal {

namespace {

constexpr int SQUARE_BESIDE_LINK = 9999;

// Error numbers: the dimension refusals share the number the OC dimension checks use
// for the same fixed maxima; a mesh that cannot be simulated (no grid square, faces
// that contradict each other) has its own.
constexpr int ERROR_DIMENSION = 1001;
constexpr int ERROR_TOPOLOGY = 1004;

bool carries_link(int code) { return code >= 4; }

// Direction of a link: north-south on an LCODEX segment, east-west on an LCODEY one.
constexpr bool NS = true, EW = false;

// The link on the west face of cell (i, j) (a north-south link) or on its south face
// (east-west); 0 when the segment carries none or lies outside the scanned grid.
int link_on_x_segment(const FrameState& frame, int i, int j) {
  return FIND_LINK_AT_FACE(frame, i, j, NS);
}
int link_on_y_segment(const FrameState& frame, int i, int j) {
  return FIND_LINK_AT_FACE(frame, i, j, EW);
}

// A grid-line segment: the west face of cell (i, j) (an LCODEX segment, where a
// north-south link lies) or its south face (LCODEY, east-west).
struct Segment {
  bool north_south;
  int i, j;
};
int link_on(const FrameState& frame, const Segment& s) {
  return s.north_south ? link_on_x_segment(frame, s.i, s.j) : link_on_y_segment(frame, s.i, s.j);
}

// One candidate of a bank element's end: a segment and the bank side taken there.
struct BankCandidate {
  Segment segment;
  int side;
};

class Numbering {
 public:
  Numbering(FrameState& frame, RunIo& io) : f_(frame), io_(io) {}

  void run(bool print_on);

 private:
  void count_and_size();
  void number_links();
  void number_banks();
  void number_squares();
  void find_neighbours();
  void neighbours_of_square(int e, int i, int j);
  void neighbours_of_link(int l, int i, int j);
  void neighbours_of_bank(int e, int l, int side, int i, int j);
  int link_end(const std::array<Segment, 3>& candidates);
  int bank_end(const std::array<BankCandidate, 3>& candidates);
  int across_link(int l, int side, int square);
  void print_tables();
  [[noreturn]] void refuse(int number, const std::string& message);

  FrameState& f_;
  RunIo& io_;
  std::vector<std::array<int, 6>> junctions_;
};

void Numbering::refuse(int number, const std::string& message) {
  REPORT_ERROR(io_, SEVERITY_FATAL, number, PRINT_UNIT, 0, 0, message);
  throw FatalError(message);  // not reached: a fatal report throws
}

void Numbering::count_and_size() {
  if (f_.NX < 1 || f_.NY < 1) {
    refuse(ERROR_DIMENSION, "Grid of " + std::to_string(f_.NX) + " x " + std::to_string(f_.NY) +
                                " cells: the catchment needs at least one column and one row");
  }
  // Only the segments inside the grid are scanned: column NX + 1 of LCODEX and row
  // NY + 1 of LCODEY lie on the outer edge and make no link.
  long links = 0, squares = 0;
  for (int j = 1; j <= f_.NY; ++j) {
    for (int i = 1; i <= f_.NX; ++i) {
      if (carries_link(f_.LCODEY(i, j))) ++links;
      if (carries_link(f_.LCODEX(i, j))) ++links;
      if (f_.CATCHMENT_MASK(i, j)) ++squares;
    }
  }
  if (links > NLFEE) {
    refuse(ERROR_DIMENSION, "The face-code grids make " + std::to_string(links) +
                                " channel links: at most NLFEE = " + std::to_string(NLFEE) +
                                " are allowed");
  }
  if (squares == 0) {
    refuse(ERROR_TOPOLOGY, "The catchment mask holds no grid square: nothing to simulate");
  }
  const long banks = f_.BANKS_ON ? 2 * links : 0;
  const long elements = links + banks + squares;
  if (elements > NELEE) {
    refuse(ERROR_DIMENSION, "The catchment has " + std::to_string(elements) +
                                " elements: at most NELEE = " + std::to_string(NELEE) +
                                " are allowed");
  }
  f_.NLF = static_cast<int>(links);
  f_.NEL = static_cast<int>(elements);
  f_.NGDBGN = f_.NLF + 1;

  f_.ICMREF.resize(f_.NEL, 4, 3, 0);
  f_.NBFACE.resize(f_.NEL, 0);
  f_.ICMXY.resize(f_.NX, f_.NY, 0);
  f_.LINK_NORTH_SOUTH.resize(f_.NLF, 0);
  f_.LINK_BANK_ELEMENT.resize(f_.NLF, 2, 0);
  f_.ICMRF2.resize(0, 6, 0);
  f_.junction_entry_count = 0;
}

void Numbering::number_links() {
  int l = 0;
  auto add = [&](int i, int j, bool north_south) {
    ++l;
    f_.ICMREF(l, 1, 1) = KIND_CHANNEL_LINK;
    f_.ICMREF(l, 2, 1) = i;
    f_.ICMREF(l, 3, 1) = j;
    f_.ICMREF(l, 4, 1) = l;
    f_.LINK_NORTH_SOUTH(l) = north_south;
  };
  // Row by row; within a row the east-west links first, then the north-south ones.
  // FIND_LINK_AT_FACE relies on this order.
  for (int j = 1; j <= f_.NY; ++j) {
    for (int i = 1; i <= f_.NX; ++i)
      if (carries_link(f_.LCODEY(i, j))) add(i, j, EW);
    for (int i = 1; i <= f_.NX; ++i)
      if (carries_link(f_.LCODEX(i, j))) add(i, j, NS);
  }
}

void Numbering::number_banks() {
  if (!f_.BANKS_ON) return;
  int e = f_.NLF;
  for (int side = 1; side <= 2; ++side) {
    for (int l = 1; l <= f_.NLF; ++l) {
      ++e;
      f_.ICMREF(e, 1, 1) = side;
      f_.ICMREF(e, 2, 1) = f_.ICMREF(l, 2, 1);
      f_.ICMREF(e, 3, 1) = f_.ICMREF(l, 3, 1);
      f_.ICMREF(e, 4, 1) = l;
      f_.LINK_BANK_ELEMENT(l, side) = e;
    }
  }
}

void Numbering::number_squares() {
  int e = f_.NLF * (f_.BANKS_ON ? 3 : 1);
  for (int j = 1; j <= f_.NY; ++j) {
    for (int i = 1; i <= f_.NX; ++i) {
      if (!f_.CATCHMENT_MASK(i, j)) continue;
      ++e;
      f_.ICMREF(e, 1, 1) = KIND_GRID_SQUARE;
      f_.ICMREF(e, 2, 1) = i;
      f_.ICMREF(e, 3, 1) = j;
      f_.ICMXY(i, j) = e;
    }
  }
}

// Neighbour of a square across a link: the link itself, or with banks on the bank on
// the square's side of it.
int Numbering::across_link(int l, int side, int square) {
  if (l == 0) return square;
  return f_.BANKS_ON ? f_.LINK_BANK_ELEMENT(l, side) : l;
}

void Numbering::neighbours_of_square(int e, int i, int j) {
  const int east = link_on_x_segment(f_, i + 1, j);
  const int north = link_on_y_segment(f_, i, j + 1);
  const int west = link_on_x_segment(f_, i, j);
  const int south = link_on_y_segment(f_, i, j);
  // A square lies on side 2 of a link on its east or north face, on side 1 of a link
  // on its west or south face.
  f_.ICMREF(e, 1, 2) = across_link(east, 2, square_at(f_, i + 1, j));
  f_.ICMREF(e, 2, 2) = across_link(north, 2, square_at(f_, i, j + 1));
  f_.ICMREF(e, 3, 2) = across_link(west, 1, square_at(f_, i - 1, j));
  f_.ICMREF(e, 4, 2) = across_link(south, 1, square_at(f_, i, j - 1));
  if (!f_.BANKS_ON && (east || north || west || south)) f_.ICMREF(e, 4, 1) = SQUARE_BESIDE_LINK;
}

// A link end: the links met there, listed left turn, straight on, right turn as seen
// leaving the link. One link met is a plain neighbour; two or three make a junction
// entry.
int Numbering::link_end(const std::array<Segment, 3>& candidates) {
  std::array<int, 3> met{};
  int count = 0, only = 0;
  for (int k = 0; k < 3; ++k) {
    met[k] = link_on(f_, candidates[k]);
    if (met[k] > 0) {
      ++count;
      only = met[k];
    }
  }
  if (count == 0) return 0;
  if (count == 1) return only;
  junctions_.push_back({met[0], met[1], met[2], 0, 0, 0});
  return -static_cast<int>(junctions_.size());
}

void Numbering::neighbours_of_link(int l, int i, int j) {
  const bool banks = f_.BANKS_ON;
  if (!f_.LINK_NORTH_SOUTH(l)) {
    f_.ICMREF(l, 1, 2) = link_end({{{NS, i + 1, j}, {EW, i + 1, j}, {NS, i + 1, j - 1}}});
    f_.ICMREF(l, 2, 2) = banks ? f_.LINK_BANK_ELEMENT(l, 1) : square_at(f_, i, j);
    f_.ICMREF(l, 3, 2) = link_end({{{NS, i, j - 1}, {EW, i - 1, j}, {NS, i, j}}});
    f_.ICMREF(l, 4, 2) = banks ? f_.LINK_BANK_ELEMENT(l, 2) : square_at(f_, i, j - 1);
  } else {
    f_.ICMREF(l, 1, 2) = banks ? f_.LINK_BANK_ELEMENT(l, 1) : square_at(f_, i, j);
    f_.ICMREF(l, 2, 2) = link_end({{{EW, i - 1, j + 1}, {NS, i, j + 1}, {EW, i, j + 1}}});
    f_.ICMREF(l, 3, 2) = banks ? f_.LINK_BANK_ELEMENT(l, 2) : square_at(f_, i - 1, j);
    f_.ICMREF(l, 4, 2) = link_end({{{EW, i, j}, {NS, i, j - 1}, {EW, i - 1, j}}});
  }
}

// A bank end: the bank, on the given side, of the first link found. The candidates
// begin with the turn towards the bank's own side, so a bank follows its own bank
// round a corner.
int Numbering::bank_end(const std::array<BankCandidate, 3>& candidates) {
  for (const BankCandidate& c : candidates) {
    const int l = link_on(f_, c.segment);
    if (l > 0) return f_.LINK_BANK_ELEMENT(l, c.side);
  }
  return 0;
}

void Numbering::neighbours_of_bank(int e, int l, int side, int i, int j) {
  if (!f_.LINK_NORTH_SOUTH(l)) {
    if (side == 1) {  // north bank
      f_.ICMREF(e, 1, 2) = bank_end({{{{NS, i + 1, j}, 2}, {{EW, i + 1, j}, 1}, {{NS, i + 1, j - 1}, 1}}});
      f_.ICMREF(e, 2, 2) = square_at(f_, i, j);
      f_.ICMREF(e, 3, 2) = bank_end({{{{NS, i, j}, 1}, {{EW, i - 1, j}, 1}, {{NS, i, j - 1}, 2}}});
      f_.ICMREF(e, 4, 2) = l;
    } else {  // south bank
      f_.ICMREF(e, 1, 2) = bank_end({{{{NS, i + 1, j - 1}, 2}, {{EW, i + 1, j}, 2}, {{NS, i + 1, j}, 1}}});
      f_.ICMREF(e, 2, 2) = l;
      f_.ICMREF(e, 3, 2) = bank_end({{{{NS, i, j - 1}, 1}, {{EW, i - 1, j}, 2}, {{NS, i, j}, 2}}});
      f_.ICMREF(e, 4, 2) = square_at(f_, i, j - 1);
    }
  } else {
    if (side == 1) {  // east bank
      f_.ICMREF(e, 1, 2) = square_at(f_, i, j);
      f_.ICMREF(e, 2, 2) = bank_end({{{{EW, i, j + 1}, 2}, {{NS, i, j + 1}, 1}, {{EW, i - 1, j + 1}, 1}}});
      f_.ICMREF(e, 3, 2) = l;
      f_.ICMREF(e, 4, 2) = bank_end({{{{EW, i, j}, 1}, {{NS, i, j - 1}, 1}, {{EW, i - 1, j}, 2}}});
    } else {  // west bank
      f_.ICMREF(e, 1, 2) = l;
      f_.ICMREF(e, 2, 2) = bank_end({{{{EW, i - 1, j + 1}, 2}, {{NS, i, j + 1}, 2}, {{EW, i, j + 1}, 1}}});
      f_.ICMREF(e, 3, 2) = square_at(f_, i - 1, j);
      f_.ICMREF(e, 4, 2) = bank_end({{{{EW, i - 1, j}, 1}, {{NS, i, j - 1}, 2}, {{EW, i, j}, 2}}});
    }
  }
}

void Numbering::find_neighbours() {
  for (int e = 1; e <= f_.NEL; ++e) {
    const int kind = f_.ICMREF(e, 1, 1);
    const int i = f_.ICMREF(e, 2, 1);
    const int j = f_.ICMREF(e, 3, 1);
    if (kind == KIND_CHANNEL_LINK) {
      neighbours_of_link(e, i, j);
    } else if (kind == KIND_GRID_SQUARE) {
      neighbours_of_square(e, i, j);
    } else {
      neighbours_of_bank(e, f_.ICMREF(e, 4, 1), kind, i, j);
    }
  }
  const long entries = static_cast<long>(junctions_.size());
  if (entries > NLFEE) {
    refuse(ERROR_DIMENSION, "The channel network has " + std::to_string(entries) +
                                " junction entries: at most NLFEE = " + std::to_string(NLFEE) +
                                " are allowed");
  }
  f_.junction_entry_count = static_cast<int>(entries);
  f_.ICMRF2.resize(entries, 6, 0);
  for (long J = 1; J <= entries; ++J)
    for (int k = 1; k <= 6; ++k) f_.ICMRF2(J, k) = junctions_[J - 1][k - 1];
}

void Numbering::print_tables() {
  RecordSink& out = io_.units.print();
  out.write_record(" ");
  write_formatted(out, "('INDEX ARRAY: NO. OF ELEMENTS = ',I6)", f_.NEL);
  out.write_record("");
  out.write_record(" " + std::string("     INDEX      TYPE         X         Y      LINK   ") +
                   "  FACE1     FACE2     FACE3     FACE4");
  out.write_record(" " + std::string("     -----      ----         -         -      ----   ") +
                   "  -----     -----     -----     -----");
  for (int e = 1; e <= f_.NEL; ++e) {
    const int kind = f_.ICMREF(e, 1, 1);
    std::string tag = "  ";
    if (kind != KIND_GRID_SQUARE) tag = f_.LINK_NORTH_SOUTH(f_.ICMREF(e, 4, 1)) ? "NS" : "EW";
    write_formatted(out, "(1X,5(4X,I6),1X,A2,1X,I6,3(4X,I6))", e, f_.ICMREF(e, 1, 1),
                    f_.ICMREF(e, 2, 1), f_.ICMREF(e, 3, 1), f_.ICMREF(e, 4, 1), tag,
                    f_.ICMREF(e, 1, 2), f_.ICMREF(e, 2, 2), f_.ICMREF(e, 3, 2),
                    f_.ICMREF(e, 4, 2));
  }
  if (f_.junction_entry_count == 0) return;
  // Every entry is one link end at a node: a node of three branches has three entries
  // (each with one empty column), a node of four has four.
  int three_branch_entries = 0, four_branch_entries = 0;
  for (int J = 1; J <= f_.junction_entry_count; ++J) {
    if (f_.ICMRF2(J, 1) == 0 || f_.ICMRF2(J, 2) == 0 || f_.ICMRF2(J, 3) == 0)
      ++three_branch_entries;
    else
      ++four_branch_entries;
  }
  out.write_record(" ");
  out.write_record("AUXILIARY INDEX ARRAY FOR CHANNEL NODES: ");
  write_formatted(out, "('NO. OF NODES WITH 3 BRANCHES = ',I4)", three_branch_entries / 3);
  write_formatted(out, "('NO. OF NODES WITH 4 BRANCHES = ',I4)", four_branch_entries / 4);
  write_formatted(out, "('TOTAL NO. OF INDICES         = ',I4)", f_.junction_entry_count);
  out.write_record("");
  out.write_record(" " + std::string("   INDEX  LINK 1  LINK 2  LINK 3"));
  out.write_record(" " + std::string("   -----  ------  ------  ------"));
  for (int J = 1; J <= f_.junction_entry_count; ++J) {
    write_formatted(out, "(1X,4(4X,I4))", J, f_.ICMRF2(J, 1), f_.ICMRF2(J, 2), f_.ICMRF2(J, 3));
  }
}

void Numbering::run(bool print_on) {
  count_and_size();
  number_links();
  number_banks();
  number_squares();
  find_neighbours();
  const int inconsistencies = find_faces_pointing_back(f_, io_);
  if (print_on) print_tables();
  // A mesh whose faces do not point back to each other would move water through one
  // side of a face and not the other: it cannot be simulated.
  if (inconsistencies > 0) {
    refuse(ERROR_TOPOLOGY, std::to_string(inconsistencies) +
                               " inconsistencies found in the element table: check the "
                               "catchment mask and the face-code grids");
  }
}

}  // namespace

int find_faces_pointing_back(FrameState& frame, RunIo& io) {
  RecordSink& out = io.units.print();
  int inconsistencies = 0;
  auto inconsistency = [&](int e, int f) {
    write_formatted(out, "(' INCONSISTENCY FOUND AT INDEX:',I4,' FACE:',I2)", e, f);
    ++inconsistencies;
  };
  frame.NBFACE.fill(0);
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      const int n = frame.ICMREF(e, f, 2);
      if (n > 0) {
        int back = 0;
        for (int g = 1; g <= 4 && back == 0; ++g)
          if (frame.ICMREF(n, g, 2) == e) back = g;
        if (back == 0) inconsistency(e, f);
        frame.ICMREF(e, f, 3) = back;
      } else if (n == 0) {
        frame.ICMREF(e, f, 3) = f;
        if (frame.NBFACE(e) == 0) frame.NBFACE(e) = f;
      } else {
        const int J = -n;
        frame.ICMREF(e, f, 3) = 0;
        for (int k = 1; k <= 3; ++k) {
          const int m = frame.ICMRF2(J, k);
          if (m <= 0) continue;
          // The face of link m whose own junction entry lists e.
          int back = 0;
          for (int g = 1; g <= 4 && back == 0; ++g) {
            const int other = frame.ICMREF(m, g, 2);
            if (other >= 0) continue;
            const int K = -other;
            if (frame.ICMRF2(K, 1) == e || frame.ICMRF2(K, 2) == e || frame.ICMRF2(K, 3) == e)
              back = g;
          }
          if (back == 0) inconsistency(e, f);
          frame.ICMRF2(J, k + 3) = back;
        }
      }
    }
  }
  if (inconsistencies > 0) {
    out.write_record("");
    write_formatted(out, "(I4,' INCONSISTENCIES FOUND IN INDEX ARRAY')", inconsistencies);
    out.write_record("");
  }
  return inconsistencies;
}

void NUMBER_ELEMENTS(FrameState& frame, RunIo& io, bool print_on) {
  Numbering(frame, io).run(print_on);
}

// Links are numbered row by row, the east-west links of a row before its north-south
// ones, each group from west to east, and a segment carries at most one link; so the
// links are sorted by (row, direction, column) and a binary search finds the one.
int FIND_LINK_AT_FACE(const FrameState& frame, int column, int row, bool north_south) {
  const auto key = [&](int l) {
    return std::array<int, 3>{frame.ICMREF(l, 3, 1), frame.LINK_NORTH_SOUTH(l) ? 1 : 0,
                              frame.ICMREF(l, 2, 1)};
  };
  const std::array<int, 3> wanted{row, north_south ? 1 : 0, column};
  int lo = 1, hi = frame.NLF;  // search links lo..hi
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const auto k = key(mid);
    if (k == wanted) return mid;
    if (k < wanted)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return 0;
}

int square_at(const FrameState& frame, int i, int j) {
  if (i < 1 || i > frame.NX || j < 1 || j > frame.NY) return 0;
  return frame.ICMXY(i, j);
}

}  // namespace quendal
