#include "surface/oc/oc_data_file.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>

#include "frame/topology.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/grid_readers.h"
#include "services/physical_bounds.h"
#include "services/predicates.h"
#include "services/record_reader.h"
#include "services/units.h"
#include "surface/oc/oc_channel_data.h"

namespace quendal {

namespace {

constexpr std::size_t MESSAGE_LENGTH = 77;
constexpr std::size_t SUMMARY_MESSAGE_LENGTH = 81;

void skip_title(RecordSource& in) {
  read_list(in);
}

void blank_lines(RecordSink& out, int n) {
  for (int i = 0; i < n; ++i) out.write_record("");
}

// Counts one error of the data file and reports it; a non-empty `detail` follows it.
void data_error(RunIo& io, int& errors, int number, int element, const std::string& text,
                const std::string& detail = {}) {
  ++errors;
  REPORT_ERROR(io, SEVERITY_ERROR, number, PRINT_UNIT, element, 0,
               oc_message(text, MESSAGE_LENGTH));
  if (!detail.empty()) REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, detail);
}

// The boundary table as it is built: entries are numbered on as long as they come, but
// only the first NOCTAB are stored; the count beyond that is reported.
class BoundaryTableBuilder {
 public:
  explicit BoundaryTableBuilder(SurfaceState& surface) : surface_(surface) {}
  void add(int element, int face, int type, int category) {
    ++count_;
    store_oc_boundary_entry(surface_, count_, element, face, type, category);
  }
  int count() const { return count_; }
  int stored() const { return std::min(count_, NOCTAB); }

 private:
  SurfaceState& surface_;
  int count_ = 0;
};

// A grid of boundary categories (head, flux or polynomial): every element NGDBGN..NEL
// with a category from 1 to `categories` gets an entry; a value outside 0..categories is
// an error. Flux and polynomial boundaries act through the element's first free face, so
// an element without one cannot carry them.
void read_category_grid(FrameState& frame, RunIo& io, BoundaryTableBuilder& table, int categories,
                        int type, int grid_error, const char* grid_message,
                        const char* no_face_message, int& errors) {
  Array1<int> category(frame.NEL, 0);
  AREADI(frame, category, GRID_READ, OC_DATA_UNIT, PRINT_UNIT, categories, io);
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    const int c = category(e);
    if (c < 0 || c > categories) {
      data_error(io, errors, grid_error, e, grid_message);
      continue;
    }
    if (c == 0) continue;
    const int face = type == OC_BC_HEAD ? 0 : frame.NBFACE(e);
    if (type != OC_BC_HEAD && face == 0) {
      data_error(io, errors, 1014, e, no_face_message);
      continue;
    }
    table.add(e, face, type, c);
  }
}

// The room of the per-category boundary values of the OC step bounds the head and flux
// category counts.
void check_category_count(RunIo& io, int& errors, int number, const char* kind, int count) {
  if (count >= 0 && count <= NOCTAB) return;
  const std::string message = format_line(
      "('Number of OC ',A,' boundary categories =',I4,', outside range 0 :',I4)", kind, count,
      NOCTAB);
  data_error(io, errors, number, 0, message, values_in_full(message, {{"count", count}}));
}

// Impermeable faces between two non-link elements, and the same line carried on into the
// bank elements beside the square. Every face gets an entry from each side.
void add_impermeable_faces(const FrameState& frame, BoundaryTableBuilder& table) {
  auto kind = [&](int e) { return frame.ICMREF(e, 1, 1); };
  auto add_face_pair = [&](int e, int face) {
    table.add(e, face, OC_BC_IMPERMEABLE, 1);
    const int n = frame.ICMREF(e, face, 2);
    if (n > 0) table.add(n, frame.ICMREF(e, face, 3), OC_BC_IMPERMEABLE, 1);
  };
  for (int x = 1; x <= frame.NX; ++x) {
    for (int y = 1; y <= frame.NY; ++y) {
      for (int face : {3, 4}) {
        const int code = face == 3 ? frame.LCODEX(x, y) : frame.LCODEY(x, y);
        if (code != OC_BC_IMPERMEABLE) continue;
        const int s = frame.ICMXY(x, y);
        if (s == 0 || frame.ICMREF(s, face, 2) <= 0) continue;
        add_face_pair(s, face);
        // The banks that continue the square's west (face 3) or south (face 4) edge: a
        // side-2 bank over its north or east face, a side-1 bank over its south or west.
        const int side2_over = face == 3 ? 2 : 1;
        const int side1_over = face == 3 ? 4 : 3;
        const int b2 = frame.ICMREF(s, side2_over, 2);
        if (b2 > 0 && kind(b2) == 2) add_face_pair(b2, face);
        const int b1 = frame.ICMREF(s, side1_over, 2);
        if (b1 > 0 && kind(b1) == 1) add_face_pair(b1, face);
      }
    }
  }
}

void echo_boundary_table(const SurfaceState& surface, RecordSink& out) {
  blank_lines(out, 1);
  write_formatted(out, "(5X,A,A,A,A)", "Default OC B.C. is ", "no-flow",
                  " at catchment boundaries ", "and at channel/bank dead-ends");
  if (surface.OC_BOUNDARY_ENTRY_COUNT > 0) {
    blank_lines(out, 1);
    write_formatted(out, "(5X,A)", "OC Boundary Conditions:");
    blank_lines(out, 1);
    write_formatted(out, "(5X,3A8,A12,A10,A14)", "Index", "Element", "Face", "Type", "Category",
                    "Coefficients");
    for (int k = 1; k <= surface.OC_BOUNDARY_ENTRY_COUNT; ++k) {
      FormatArgs args(k, surface.OC_BOUNDARY_ELEMENT(k), surface.OC_BOUNDARY_FACE(k),
                      oc_boundary_type_name(surface.OC_BOUNDARY_TYPE(k)),
                      surface.OC_BOUNDARY_CATEGORY(k));
      for (int i = 1; i <= 5; ++i) args.add(surface.OC_BOUNDARY_COEFFICIENTS(i, k));
      write_formatted(out, "(5X,3I8,A12,I10,1P,5G14.6)", args);
    }
  }
  blank_lines(out, 3);
  out.write_record("---- OC MODULE  END OF INPUT DATA PROCESSING ----");
  blank_lines(out, 3);
}

}  // namespace

std::string oc_message(const std::string& text, std::size_t length) {
  std::string s = text.substr(0, std::min(text.size(), length));
  s.resize(length, ' ');
  return s;
}

std::string oc_boundary_type_name(int type) {
  static const char* const names[] = {"impermeable", "grid-grid",  "head",      "flux",
                                      "polynomial",  "river_link", "weir",      "river+weir",
                                      "head",        "flux",       "polynomial"};
  if (type == OC_BC_FLUX) return " flux      ";  // the one name written left-aligned
  if (type < 1 || type > 11) return std::string(11, ' ');
  return edit_alpha(names[type - 1], 11);
}

void store_oc_boundary_entry(SurfaceState& surface, int k, int element, int face, int type,
                             int category) {
  if (k < 1 || k > NOCTAB) return;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_ELEMENT, k) = element;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_FACE, k) = face;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_TYPE, k) = type;
  surface.OC_BOUNDARY_TABLE(OC_BOUNDARY_COLUMN_CATEGORY, k) = category;
  surface.OC_BOUNDARY_OF_ELEMENT(element) = k;
}

void OC_READ_DATA_FILE(FrameState& frame, SurfaceState& surface, RunIo& io) {
  RecordSource& in = io.units.unit(OC_DATA_UNIT);
  RecordSink& out = io.units.print();
  int errors = 0;

  // Print controls and the number of roughness categories.
  skip_title(in);
  int ignored_integer = 0, ncatr = 0, p = 0;
  bool depth_grid_given = false;
  read_list(in, ignored_integer, ncatr, p, depth_grid_given);
  surface.OC_PRINT_FLAG = p;
  // p mod 2 keeps the sign of p: a negative odd flag neither echoes nor lets the grid
  // readers echo.
  const bool echo = p % 2 == 1;
  const int grid_mode = echo ? GRID_READ_AND_ECHO : GRID_READ;
  if (echo) {
    blank_lines(out, 3);
    out.write_record("---- OC MODULE  INPUT DATA PROCESSING ----");
    blank_lines(out, 2);
    write_formatted(out, "(5X,A,A,I4)", "NUMBER OF DIFFERENT OVERLAND FLOW ROUGHNESS",
                    " CATEGORIES   NCATR = ", ncatr);
  }
  for (int i = 0; i < 3; ++i) skip_title(in);
  double ignored_real = 0.0, cdrs = 0.0, print_start = 0.0, print_end = 0.0, ignored_last = 0.0;
  FieldLog controls;
  {
    FieldLogScope scope(in, controls);
    read_list(in, ignored_real, cdrs, print_start, print_end, ignored_last);
  }
  surface.OC_PRINT_START = print_start;
  surface.OC_PRINT_END = print_end;
  if (p < 2) surface.OC_PRINT_START = surface.OC_PRINT_END + 1.0;

  // Roughness coefficients of the categories.
  const bool uniform_roughness = IS_NON_ZERO(cdrs);
  std::array<double, NOCTAB> catr{};
  FieldLog catr_places;
  if (uniform_roughness) require_at_most(Quantity::STRICKLER, "Strickler coefficient CDRS", cdrs, controls[1]);
  if (!uniform_roughness) {
    if (ncatr < 0 || ncatr > NOCTAB) {
      const std::string message = format_line(
          "('Number of roughness categories NCATR =',I4,2X,'lies outside range 0:NOCTAB = 0 :',I4)",
          ncatr, NOCTAB);
      report_fatal_with_detail(io, 1047, PRINT_UNIT, 0,
                               oc_message(message, SUMMARY_MESSAGE_LENGTH),
                               values_in_full(message, {{"NCATR", ncatr}}));
    }
    if (ncatr >= 1) {
      FieldLogScope scope(in, catr_places);
      read_list(in, std::span<double>(catr.data(), static_cast<std::size_t>(ncatr)));
      for (int c = 1; c <= ncatr; ++c) {
        require_at_most(Quantity::STRICKLER, "Strickler coefficient CATR of category " + std::to_string(c),
                        catr[c - 1], catr_places[static_cast<std::size_t>(c - 1)]);
      }
    }
  }
  if (echo) {
    if (uniform_roughness) {
      blank_lines(out, 1);
      write_formatted(out, "(5X,A,A,F8.2)", "DEFAULT VALUE OF OVERLAND FLOW ROUGHNESS ",
                      "COEFFICIENT     CDRS = ", cdrs);
    } else if (ncatr >= 1) {
      blank_lines(out, 1);
      write_formatted(out, "(4X,A,A)", " ROUGHNESS COEFFICIENTS  CATR  ATTACHED TO",
                      " EACH OF THE NCATR CATEGORIES");
      FormatArgs values;
      for (int i = 0; i < ncatr; ++i) values.add(catr[i]);
      write_formatted(out, "(10F10.2)", values);
      blank_lines(out, 1);
    }
  }

  // Initial surface water depths. The grid gives the grid squares; bank elements start
  // dry (the bank data file may give them a level later).
  Array1<double> depth(frame.NEL, 0.0);
  if (depth_grid_given) {
    READ_REAL_GRID(frame, depth, grid_mode, OC_DATA_UNIT, PRINT_UNIT, io,
                   [](int e, double d, const FieldPlace& place) {
                     require_within(Quantity::WATER_DEPTH,
                                    "initial surface water depth of element " + std::to_string(e),
                                    d, place);
                   });
  } else if (echo) {
    blank_lines(out, 1);
    write_formatted(out, "(5X,A,A)", "Initial overland water depth is ", "zero");
  }
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) surface.SET_HRF(e, frame.ZGRUND(e) + depth(e));

  // Overland roughness.
  // Where each element's coefficient came from, for the input checks that follow.
  io.places.forget("STRX");
  io.places.forget("STRY");
  if (uniform_roughness) {
    for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
      surface.STRX(e) = cdrs;
      surface.STRY(e) = cdrs;
      io.places.note("STRX", e, 0, controls[1]);
      io.places.note("STRY", e, 0, controls[1]);
    }
  } else if (ncatr == 0) {
    for (const char* name : {"STRX", "STRY"}) {
      Array1<double>& strickler = name[3] == 'X' ? surface.STRX : surface.STRY;
      READ_REAL_GRID(frame, strickler, grid_mode, OC_DATA_UNIT, PRINT_UNIT, io,
                     [&](int e, double k, const FieldPlace& place) {
                       require_at_most(Quantity::STRICKLER,
                                       std::string(name) + " of element " + std::to_string(e), k,
                                       place);
                       io.places.note(name, e, 0, place);
                     });
    }
  } else {
    Array1<int> category(frame.NEL, 0);
    for (const char* name : {"STRX", "STRY"}) {
      Array1<double>& strickler = name[3] == 'X' ? surface.STRX : surface.STRY;
      AREADI(frame, category, grid_mode, OC_DATA_UNIT, PRINT_UNIT, ncatr, io);
      for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
        // Bank elements read 0 and every out-of-range code is taken to the nearest
        // category without a message.
        const int c = std::clamp(category(e), 1, ncatr);
        strickler(e) = catr[c - 1];
        io.places.note(name, e, 0, catr_places[static_cast<std::size_t>(c - 1)]);
      }
    }
  }

  // Boundary categories and the boundary table.
  skip_title(in);
  int n_head = 0, n_flux = 0, n_polynomial = 0;
  FieldLog counts;
  {
    FieldLogScope scope(in, counts);
    read_list(in, n_head, n_flux, n_polynomial);
  }
  // Head and flux counts have their numbered errors; a polynomial count has none, and a
  // negative one would quietly mean none.
  if (n_polynomial < 0) {
    refuse_at(counts[2], "number of OC polynomial boundary categories = " +
                             std::to_string(n_polynomial) + " cannot be negative");
  }
  if (n_head < 0) check_category_count(io, errors, 1020, "head", n_head);
  if (n_flux < 0) check_category_count(io, errors, 1021, "flux", n_flux);
  BoundaryTableBuilder table(surface);
  if (n_head >= 1) {
    read_category_grid(frame, io, table, n_head, OC_BC_HEAD, 1020, "ERROR IN OC HEAD BOUNDARY GRID",
                       "", errors);
  }
  if (n_flux >= 1) {
    read_category_grid(frame, io, table, n_flux, OC_BC_FLUX, 1021, "ERROR IN OC FLUX BOUNDARY GRID",
                       "OC flux boundary on an element that has no free face", errors);
  }
  if (n_polynomial >= 1) {
    read_category_grid(frame, io, table, n_polynomial, OC_BC_POLYNOMIAL, 1022,
                       "ERROR IN OC POLYNOMIAL FUNCTION BOUNDARY GRID",
                       "OC polynomial boundary on an element that has no free face", errors);
    skip_title(in);
    for (int m = 1; m <= n_polynomial; ++m) {
      int number = 0;
      std::array<double, 5> a{};
      read_list(in, number, std::span<double>(a));
      if (number != m) {
        data_error(io, errors, 1031, 0, "Error reading polynomial function data in OC");
        continue;
      }
      for (int k = 1; k <= table.stored(); ++k) {
        if (surface.OC_BOUNDARY_TYPE(k) != OC_BC_POLYNOMIAL || surface.OC_BOUNDARY_CATEGORY(k) != m)
          continue;
        for (int i = 1; i <= 5; ++i) surface.OC_BOUNDARY_COEFFICIENTS(i, k) = a[i - 1];
      }
    }
  }

  // Channel boundaries and structures: an entry for the link on each face coded 7 to 11;
  // the channel part gives its face, category and coefficients. A channel head or flux
  // face is a category of its own.
  for (int x = 1; x <= frame.NX; ++x) {
    for (int y = 1; y <= frame.NY; ++y) {
      for (bool north_south : {true, false}) {
        const int code = north_south ? frame.LCODEX(x, y) : frame.LCODEY(x, y);
        if (code < OC_BC_WEIR || code > OC_BC_LINK_POLYNOMIAL) continue;
        const int link = FIND_LINK_AT_FACE(frame, x, y, north_south);
        if (link == 0) continue;  // refused by the static checks before the file is read
        table.add(link, 0, code, 0);
        if (code == OC_BC_LINK_HEAD) ++n_head;
        if (code == OC_BC_LINK_FLUX) ++n_flux;
      }
    }
  }
  surface.OC_N_HEAD_CATEGORIES = n_head;
  surface.OC_N_FLUX_CATEGORIES = n_flux;
  surface.OC_N_POLYNOMIAL_CATEGORIES = n_polynomial;
  if (n_head > NOCTAB) check_category_count(io, errors, 1020, "head", n_head);
  if (n_flux > NOCTAB) check_category_count(io, errors, 1021, "flux", n_flux);

  add_impermeable_faces(frame, table);

  if (table.count() > NOCTAB) {
    data_error(io, errors, 1050, 0,
               format_line("('Number of OC boundary conditions NOCBC =',I4,2X,"
                           "'exceeds array size NOCTAB =',I4)",
                           table.count(), NOCTAB));
  }
  surface.OC_BOUNDARY_ENTRY_COUNT = table.stored();
  for (int k = 1; k <= table.stored(); ++k) {
    const int e = surface.OC_BOUNDARY_ELEMENT(k);
    const int last = surface.OC_BOUNDARY_OF_ELEMENT(e);
    if (last == k) continue;
    data_error(
        io, errors, 1059, e,
        format_line("('Element has multiple OC boundary conditions ','(types',I2,' and',I2,')')",
                    surface.OC_BOUNDARY_TYPE(k), surface.OC_BOUNDARY_TYPE(last)));
  }

  if (frame.NLF >= 1 && errors == 0) OC_READ_CHANNEL_DATA(in, echo, frame, surface, io, errors);
  io.units.rewind(OC_DATA_UNIT);
  if (errors > 0) {
    REPORT_ERROR(
        io, SEVERITY_FATAL, 1049, PRINT_UNIT, 0, 0,
        oc_message(format_line("(I5,A)", errors, " ERROR(S) FOUND DURING OC INPUT DATA PROCESSING"),
                   SUMMARY_MESSAGE_LENGTH));
  }
  if (echo) echo_boundary_table(surface, out);
}

}  // namespace quendal
