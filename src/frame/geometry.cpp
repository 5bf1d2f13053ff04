#include "frame/geometry.h"

#include <algorithm>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"

namespace quendal {

namespace {

constexpr int ERROR_GEOMETRY = 1005;

bool is_bank(const FrameState& frame, int e) {
  const int kind = frame.ICMREF(e, 1, 1);
  return kind == 1 || kind == 2;
}
bool is_link(const FrameState& frame, int e) { return frame.ICMREF(e, 1, 1) == KIND_CHANNEL_LINK; }

// Spacing between the nodes of columns k and k + 1; beyond either edge of the grid the
// nearest spacing inside it.
double spacing_x(const FrameState& frame, int k) {
  return frame.GRID_SPACING_X(std::clamp(k, 1, frame.NX - 1));
}
double spacing_y(const FrameState& frame, int k) {
  return frame.GRID_SPACING_Y(std::clamp(k, 1, frame.NY - 1));
}

void cell_widths(const Array1<double>& spacing, int n, Array1<double>& width) {
  width.resize(n, 0.0);
  width(1) = spacing(1);
  width(n) = spacing(n - 1);
  for (int i = 2; i <= n - 1; ++i) width(i) = (spacing(i - 1) + spacing(i)) / 2.0;
}

void element_sizes(FrameState& frame, const SurfaceState& surface) {
  const double bank = frame.BANK_WIDTH;
  for (int e = 1; e <= frame.NEL; ++e) {
    const int i = frame.ICMREF(e, 2, 1);
    const int j = frame.ICMREF(e, 3, 1);
    const int kind = frame.ICMREF(e, 1, 1);
    if (kind == KIND_GRID_SQUARE) {
      frame.DXQQ(e) = frame.CELL_WIDTH_X(i);
      frame.DYQQ(e) = frame.CELL_WIDTH_Y(j);
      continue;
    }
    const int link = frame.ICMREF(e, 4, 1);
    const bool north_south = frame.LINK_NORTH_SOUTH(link);
    const double across = kind == KIND_CHANNEL_LINK ? surface.CWIDTH(e) : bank;
    if (north_south) {
      frame.DXQQ(e) = across;
      frame.DYQQ(e) = frame.CELL_WIDTH_Y(j);
    } else {
      frame.DXQQ(e) = frame.CELL_WIDTH_X(i);
      frame.DYQQ(e) = across;
    }
    if (kind == KIND_CHANNEL_LINK) {
      frame.CLENTH(e) = north_south ? frame.CELL_WIDTH_Y(j) : frame.CELL_WIDTH_X(i);
    }
  }

  // A square gives up to its neighbouring channels and banks the room they take.
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    if (frame.ICMREF(e, 1, 1) != KIND_GRID_SQUARE) continue;
    for (int f = 1; f <= 4; ++f) {
      const int n = frame.ICMREF(e, f, 2);
      const int m = frame.ICMREF(e, f % 4 + 1, 2);
      double d = 0.0;
      if (n > 0 && is_bank(frame, n)) {
        d = surface.CWIDTH(frame.ICMREF(n, 4, 1)) / 2.0 + bank;
      } else if (n > 0 && is_link(frame, n)) {
        d = surface.CWIDTH(n) / 2.0;
      }
      if (f == 1 || f == 3)
        frame.DXQQ(e) -= d;
      else
        frame.DYQQ(e) -= d;
      // At the inside of a bend two banks meet at the square's corner: each is cut
      // back along its link by the width of the other bank and half the other channel.
      if (n > 0 && m > 0 && is_bank(frame, n) && is_bank(frame, m)) {
        const int link_n = frame.ICMREF(n, 4, 1);
        const int link_m = frame.ICMREF(m, 4, 1);
        auto shorten = [&](int b, int link_b, double by) {
          if (frame.LINK_NORTH_SOUTH(link_b))
            frame.DYQQ(b) -= by;
          else
            frame.DXQQ(b) -= by;
        };
        shorten(n, link_n, bank + surface.CWIDTH(link_m) / 2.0);
        shorten(m, link_m, bank + surface.CWIDTH(link_n) / 2.0);
      }
    }
  }
}

// Distance from the node to face 3 (west, `x` true) or face 4 (south).
double near_face_distance(const FrameState& frame, const SurfaceState& surface, int e, bool x) {
  const int face = x ? 3 : 4;
  const int n = frame.ICMREF(e, face, 2);
  const int i = frame.ICMREF(e, 2, 1);
  const int j = frame.ICMREF(e, 3, 1);
  const double spacing = x ? spacing_x(frame, i - 1) : spacing_y(frame, j - 1);
  const int kind = frame.ICMREF(e, 1, 1);
  if (kind == KIND_GRID_SQUARE) {
    if (n > 0 && is_bank(frame, n))
      return (spacing - 2.0 * frame.BANK_WIDTH - surface.CWIDTH(frame.ICMREF(n, 4, 1))) / 2.0;
    if (n > 0 && is_link(frame, n)) return (spacing - surface.CWIDTH(n)) / 2.0;
    return spacing / 2.0;
  }
  if (kind == KIND_CHANNEL_LINK) {
    // Along the link the node sits on the grid line's node spacing; across it, at the
    // middle of the channel.
    const bool along = x != static_cast<bool>(frame.LINK_NORTH_SOUTH(e));
    return along ? spacing / 2.0 : surface.CWIDTH(e) / 2.0;
  }
  if (n > 0 && is_bank(frame, n)) return (x ? frame.DXQQ(e) : frame.DYQQ(e)) / 2.0;
  return frame.BANK_WIDTH / 2.0;
}

void node_to_face_distances(FrameState& frame, const SurfaceState& surface) {
  for (int e = 1; e <= frame.NEL; ++e) {
    frame.DHF(e, 3) = near_face_distance(frame, surface, e, true);
    frame.DHF(e, 4) = near_face_distance(frame, surface, e, false);
    frame.DHF(e, 1) = frame.DXQQ(e) - frame.DHF(e, 3);
    frame.DHF(e, 2) = frame.DYQQ(e) - frame.DHF(e, 4);
  }
}

// Later components divide by AREA and by the node-to-face distances, and a negative
// distance would turn a flow round: a mesh that gives either is refused.
void check_geometry(const FrameState& frame, RunIo& io) {
  for (int e = 1; e <= frame.NEL; ++e) {
    if (!(frame.AREA(e) > 0.0)) {
      REPORT_ERROR(io, SEVERITY_FATAL, ERROR_GEOMETRY, PRINT_UNIT, e, 0,
                   format_line("('Element has no plan area: DXQQ =',G12.4,', DYQQ =',G12.4,"
                               "'; check the grid spacings and the channel widths')",
                               frame.DXQQ(e), frame.DYQQ(e)));
    }
    for (int f = 1; f <= 4; ++f) {
      if (!(frame.DHF(e, f) >= 0.0)) {
        REPORT_ERROR(io, SEVERITY_FATAL, ERROR_GEOMETRY, PRINT_UNIT, e, 0,
                     format_line("('Node of the element lies outside it: DHF over face',I2,"
                                 "' =',G12.4,'; check the grid spacings and the channel widths')",
                                 f, frame.DHF(e, f)));
      }
    }
  }
}

void print_geometry(const FrameState& frame, RunIo& io, double basic_area) {
  RecordSink& out = io.units.print();
  out.write_record("");
  out.write_record("   INDEX   DXQQ (M)   DYQQ (M)     AREA (M^^2)");
  out.write_record("");
  for (int e = 1; e <= frame.NEL; ++e) {
    write_formatted(out, "(1X,4X,I6,4X,F7.2,4X,F7.2,4X,F12.2)", e, frame.DXQQ(e), frame.DYQQ(e),
                    frame.AREA(e));
  }
  const double total = frame.TOTAL_CATCHMENT_AREA;
  // A catchment left without area is refused after this print.
  const double difference = total > 0.0 ? (total - basic_area) * 100.0 / total : 0.0;
  const bool metres = total < 1000000.0;
  const double scale = metres ? 1.0 : 1000000.0;
  const char* unit = metres ? " SQ. METRES. " : " SQ. KM. ";
  out.write_record("");
  write_formatted(out, "(' TOTAL CATCHMENT AREA = ',F12.3,A)", total / scale, unit);
  write_formatted(out, "(' BASIC CATCHMENT AREA = ',F12.3,A)", basic_area / scale, unit);
  write_formatted(out, "(' DIFFERENCE INTRODUCED BY CHANNEL SYSTEM AND BANKS = ',F12.3,' %')",
                  difference);
  out.write_record("");
}

}  // namespace

void element_geometry(FrameState& frame, const SurfaceState& surface, RunIo& io, bool print_on) {
  // Cell widths are built from the spacings between nodes: one column or row has none.
  if (frame.NX < 2 || frame.NY < 2) {
    REPORT_ERROR(io, SEVERITY_FATAL, ERROR_GEOMETRY, PRINT_UNIT, 0, 0,
                 format_line("('Grid of',I4,' x',I4,' cells: at least 2 columns and 2 rows are "
                             "needed')",
                             frame.NX, frame.NY));
  }
  cell_widths(frame.GRID_SPACING_X, frame.NX, frame.CELL_WIDTH_X);
  cell_widths(frame.GRID_SPACING_Y, frame.NY, frame.CELL_WIDTH_Y);
  frame.BANK_WIDTH = 10.0;

  frame.DXQQ.resize(frame.NEL, 0.0);
  frame.DYQQ.resize(frame.NEL, 0.0);
  frame.AREA.resize(frame.NEL, 0.0);
  frame.CLENTH.resize(frame.NLF, 0.0);
  frame.DHF.resize(frame.NEL, 4, 0.0);

  element_sizes(frame, surface);

  // The catchment as the mask draws it, before channels and banks take their room.
  double basic_area = 0.0;
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    if (frame.ICMREF(e, 1, 1) != KIND_GRID_SQUARE) continue;
    const int i = frame.ICMREF(e, 2, 1), j = frame.ICMREF(e, 3, 1);
    basic_area += frame.CELL_WIDTH_X(i) * frame.CELL_WIDTH_Y(j);
  }
  frame.TOTAL_CATCHMENT_AREA = 0.0;
  for (int e = 1; e <= frame.NEL; ++e) {
    frame.AREA(e) = frame.DXQQ(e) * frame.DYQQ(e);
    frame.TOTAL_CATCHMENT_AREA += frame.AREA(e);
  }

  if (print_on) print_geometry(frame, io, basic_area);
  node_to_face_distances(frame, surface);
  check_geometry(frame, io);
}

void inherit_link_met_codes(FrameState& frame) {
  for (int l = 1; l <= frame.NLF; ++l) {
    frame.MET_SITE_OF_ELEMENT(l) = 1;
    frame.RAIN_STATION_OF_ELEMENT(l) = 1;
    for (int f = 1; f <= 4; ++f) {
      const int n = frame.ICMREF(l, f, 2);
      if (n <= 0 || is_link(frame, n)) continue;
      if (frame.MET_SITE_OF_ELEMENT(n) > 0 && frame.RAIN_STATION_OF_ELEMENT(n) > 0) {
        frame.MET_SITE_OF_ELEMENT(l) = frame.MET_SITE_OF_ELEMENT(n);
        frame.RAIN_STATION_OF_ELEMENT(l) = frame.RAIN_STATION_OF_ELEMENT(n);
        break;
      }
    }
  }
}

}  // namespace quendal
