#include "frame/bank_data.h"

#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr int BANK_DATA_UNIT = 16;
constexpr int CLASS_COUNT = 13;

// How a class's bank values are obtained.
constexpr int COPY_FROM_NEIGHBOUR = 1;
constexpr int ONE_VALUE = 2;
constexpr int PAIR_LIST = 3;  // (data class, value): not supported
constexpr int VALUE_PER_ELEMENT = 4;

// Classes 2, 3, 4, 5, 8, 9 hold integers; the others reals.
bool integer_class(int c) { return c == 2 || c == 3 || c == 4 || c == 5 || c == 8 || c == 9; }
// Classes 5, 8 and 9 are read and not stored.
bool stored_class(int c) { return !(c == 5 || c == 8 || c == 9); }

bool is_bank(const FrameState& frame, int e) {
  const int kind = frame.ICMREF(e, 1, 1);
  return kind == 1 || kind == 2;
}

// The element a bank element copies from: its first grid-square neighbour over faces 1
// to 4, else its first bank-element neighbour, else its neighbour over face 4; 0 when
// that is not an element either.
int copy_source(const FrameState& frame, int e) {
  for (int f = 1; f <= 4; ++f) {
    const int n = frame.ICMREF(e, f, 2);
    if (n > 0 && frame.ICMREF(n, 1, 1) == 0) return n;
  }
  for (int f = 1; f <= 4; ++f) {
    const int n = frame.ICMREF(e, f, 2);
    if (n > 0 && is_bank(frame, n)) return n;
  }
  const int n = frame.ICMREF(e, 4, 2);
  return n > 0 ? n : 0;
}

void copy_class(int c, Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  SubsurfaceState& subsurface = model.subsurface;
  for (int pass = 1; pass <= 2; ++pass) {
    for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
      if (!is_bank(frame, e)) continue;
      if (c == 1) {
        frame.ZGRUND(e) = surface.ZBFULL(frame.ICMREF(e, 4, 1));
        continue;
      }
      if (!stored_class(c)) continue;
      const int s = copy_source(frame, e);
      if (s == 0) {
        // Nothing to copy from: the element keeps its value.
        if (pass == 1) {
          REPORT_ERROR(model.io, SEVERITY_WARNING, BANK_DATA_ERROR, PRINT_UNIT, e, 0,
                       format_line("('BKD data class',I3,': bank element',I6,"
                                   "' has no neighbour to copy from; value kept')", c, e));
        }
        continue;
      }
      const double d = frame.ZGRUND(e) - frame.ZGRUND(s);
      switch (c) {
        case 2: frame.MET_SITE_OF_ELEMENT(e) = frame.MET_SITE_OF_ELEMENT(s); break;
        case 3: frame.RAIN_STATION_OF_ELEMENT(e) = frame.RAIN_STATION_OF_ELEMENT(s); break;
        case 4: frame.NVC(e) = frame.NVC(s); break;
        case 6: surface.STRX(e) = surface.STRX(s); break;
        case 7: surface.STRY(e) = surface.STRY(s); break;
        case 10: surface.SD(e) = surface.SD(s); break;
        case 11: surface.SM_ELEMENT_RHOS(e) = surface.SM_ELEMENT_RHOS(s); break;
        case 12: subsurface.PHREATIC_LEVEL(e) = subsurface.PHREATIC_LEVEL(s) + d; break;
        case 13: surface.SET_HRF(e, surface.GET_HRF(s) + d); break;
        default: break;
      }
    }
  }
}

// Stores the work value of every bank element that was given one; the others keep
// their values (a zero there would put a bank's ground at 0 m).
void store_class(int c, const Array1<double>& real_work, const Array1<int>& int_work,
                 const Array1<char>& given, Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    if (!is_bank(frame, e) || !given(e)) continue;
    const double r = real_work(e);
    const int i = int_work(e);
    switch (c) {
      case 1: frame.ZGRUND(e) = r; break;
      case 2: frame.MET_SITE_OF_ELEMENT(e) = i; break;
      case 3: frame.RAIN_STATION_OF_ELEMENT(e) = i; break;
      case 4: frame.NVC(e) = i; break;
      case 6: surface.STRX(e) = r; break;
      case 7: surface.STRY(e) = r; break;
      case 10: surface.SD(e) = r; break;
      case 11: surface.SM_ELEMENT_RHOS(e) = r; break;
      case 12: model.subsurface.PHREATIC_LEVEL(e) = frame.ZGRUND(e) - r; break;
      case 13: surface.SET_HRF(e, frame.ZGRUND(e) + r); break;
      default: break;
    }
  }
}

// The value a real class gives a bank element, held to what the class's quantity can
// be. Class 1 is checked as the ground level it sets: one value is a height above the
// link's bank-full level.
void check_bank_value(int c, double value, double ground, const FieldPlace& place, int e) {
  const std::string of = " of bank element " + std::to_string(e);
  switch (c) {
    case 1: require_within(Quantity::ELEVATION, "ground level" + of, ground, place); break;
    case 6:
    case 7:
      // Read after the overland input checks: the whole bound is held here.
      require_within(Quantity::STRICKLER, std::string(c == 6 ? "STRX" : "STRY") + of, value,
                     place);
      break;
    case 10: require_within(Quantity::SNOW_DEPTH, "snow depth" + of, value, place); break;
    case 11:
      // 0 gives the element the snow data file's RHOS.
      if (value != 0.0) {
        require_within(Quantity::SNOW_SPECIFIC_GRAVITY, "snow specific gravity" + of, value, place);
      }
      break;
    case 12:
      // A negative depth puts the water table above the ground, under standing water.
      require_at_most(Quantity::DEPTH, "depth of the phreatic surface" + of, value, place);
      require_within(Quantity::ELEVATION, "phreatic surface level" + of, ground - value, place);
      break;
    case 13: require_within(Quantity::WATER_DEPTH, "surface water depth" + of, value, place); break;
    default: break;
  }
}

}  // namespace

void BK_READ_DATA_FILE(Model& model) {
  FrameState& frame = model.frame;
  SurfaceState& surface = model.surface;
  RunIo& io = model.io;
  RecordSource& in = io.units.input(BANK_DATA_UNIT);
  RecordSink& print = io.units.print();
  const int nel = frame.NEL;

  // Targets that no reader before this one has sized get a neutral start: snow off
  // leaves no pack, and the phreatic level lies at the ground until the subsurface
  // set-up gives the initial conditions.
  if (surface.SD.empty()) surface.SD.resize(nel, 0.0);
  if (surface.SM_ELEMENT_RHOS.empty()) surface.SM_ELEMENT_RHOS.resize(nel, 0.0);
  if (model.subsurface.PHREATIC_LEVEL.empty()) {
    model.subsurface.PHREATIC_LEVEL.resize(nel, 0.0);
    for (int e = 1; e <= nel; ++e) model.subsurface.PHREATIC_LEVEL(e) = frame.ZGRUND(e);
  }

  Array1<double> real_work(nel, 0.0);
  Array1<int> int_work(nel, 0);
  Array1<char> given(nel, 0);

  std::string title;
  read_formatted(in, "(A80)", title);
  bool echo = false;
  read_formatted(in, "(L7)", echo);

  for (int c = 1; c <= CLASS_COUNT; ++c) {
    real_work.fill(0.0);
    int_work.fill(0);
    given.fill(0);
    read_formatted(in, "(A80)", title);
    if (echo) write_formatted(print, "(1X,A)", trim_right(title));
    int type = 0, unused = 0;
    FieldLog type_place;
    {
      FieldLogScope scope(in, type_place);
      read_formatted(in, "(2I7)", type, unused);
    }
    const std::string type_read_from = "read from " + describe_place(type_place[0]);

    if (type == COPY_FROM_NEIGHBOUR) {
      copy_class(c, model);
      continue;
    }
    if (type == PAIR_LIST) {
      report_fatal_with_detail(io, 1061, PRINT_UNIT, 0,
                               "BKD input type 3 (data class, value) not supported",
                               "the type was " + type_read_from);
    }
    if (type != ONE_VALUE && type != VALUE_PER_ELEMENT) {
      const std::string message = format_line(
          "('BKD data class',I3,': input type',I7,' is not one of 1 (copy from a neighbour), "
          "2 (one value), 4 (a value per bank element)')",
          c, type);
      const std::string full = values_in_full(message, {{"input type", type}});
      const std::string detail =
          (full.empty() ? "" : full + "; ") + "the type was " + type_read_from;
      // A class that stores nothing loses nothing: the run goes on.
      if (stored_class(c)) {
        report_fatal_with_detail(io, BANK_DATA_ERROR, PRINT_UNIT, 0, message, detail);
      }
      REPORT_ERROR(io, SEVERITY_WARNING, BANK_DATA_ERROR, PRINT_UNIT, 0, 0, message);
      REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0, detail);
      continue;
    }

    if (type == ONE_VALUE) {
      int ivalue = 0;
      double rvalue = 0.0;
      FieldLog places;
      {
        FieldLogScope scope(in, places);
        if (integer_class(c)) {
          read_formatted(in, "(10I7)", ivalue);
        } else {
          read_formatted(in, "(10F7.0)", rvalue);
        }
      }
      if (echo) {
        if (integer_class(c)) {
          write_formatted(print, "(' DEFAULT VALUE ',I7,' USED IN ALL BANK ELEMENTS'/)", ivalue);
        } else {
          write_formatted(print, "(' DEFAULT VALUE ',F12.3,' USED IN ALL BANK ELEMENTS'/)",
                          rvalue);
        }
      }
      for (int e = frame.NGDBGN; e <= nel; ++e) {
        if (!is_bank(frame, e)) continue;
        int_work(e) = ivalue;
        // A bank's ground is given as a height above its link's bank-full level.
        real_work(e) = c == 1 ? surface.ZBFULL(frame.ICMREF(e, 4, 1)) + rvalue : rvalue;
        given(e) = 1;
        if (!integer_class(c)) {
          check_bank_value(c, rvalue, c == 1 ? real_work(e) : frame.ZGRUND(e), places[0], e);
        }
      }
    } else {
      // Two pairs per link: as many pairs as there are bank elements, whatever the
      // header's count says.
      const int pairs = 2 * frame.NLF;
      Array1<int> element(pairs, 0);
      Array1<int> ivalue(pairs, 0);
      Array1<double> rvalue(pairs, 0.0);
      FieldLog places;  // element, then value, for each pair
      {
        FieldLogScope scope(in, places);
        FormattedRead r(in, integer_class(c) ? "(10I7)" : "(5(I7,F7.0))");
        for (int k = 1; k <= pairs; ++k) {
          r >> element(k);
          if (integer_class(c)) {
            r >> ivalue(k);
          } else {
            r >> rvalue(k);
          }
        }
        r.finish();
      }
      if (echo) {
        write_formatted(print, "(' VALUES ALLOCATED TO EACH ELEMENT:')");
        const char* heading = integer_class(c) ? "       ELEMENT   VALUE" : "       ELEMENT     VALUE";
        print.write_record(std::string(heading) + heading + heading);
        std::string line;
        for (int k = 1; k <= pairs; ++k) {
          line += integer_class(c) ? format_line("(I7,2X,I7,6X)", element(k), ivalue(k))
                                   : format_line("(I7,F12.3,6X)", element(k), rvalue(k));
          if (k % 3 == 0 || k == pairs) {
            print.write_record(line);
            line.clear();
          }
        }
      }
      for (int k = 1; k <= pairs; ++k) {
        const int e = element(k);
        if (e < 1 || e > nel || !is_bank(frame, e)) continue;
        int_work(e) = ivalue(k);
        real_work(e) = rvalue(k);
        given(e) = 1;
        if (!integer_class(c)) {
          check_bank_value(c, rvalue(k), c == 1 ? rvalue(k) : frame.ZGRUND(e),
                           places[static_cast<std::size_t>(2 * k - 1)], e);
        }
      }
      if (stored_class(c)) {
        for (int e = frame.NGDBGN; e <= nel; ++e) {
          if (is_bank(frame, e) && !given(e)) {
            REPORT_ERROR(io, SEVERITY_WARNING, BANK_DATA_ERROR, PRINT_UNIT, e, 0,
                         format_line("('BKD data class',I3,': bank element',I6,"
                                     "' is not listed; value kept')", c, e));
          }
        }
      }
    }
    store_class(c, real_work, int_work, given, model);
  }
}

}  // namespace quendal
