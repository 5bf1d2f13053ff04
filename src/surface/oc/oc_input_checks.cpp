#include "surface/oc/oc_input_checks.h"

#include <algorithm>
#include <string>
#include <vector>

#include "frame/topology.h"
#include "include/dimensions.h"
#include "services/array_checks.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/units.h"
#include "surface/oc/oc_data_file.h"

namespace quendal {

namespace {

constexpr int CHECK_TYPE_ERROR = 2;  // every check failure is counted, never fatal alone
constexpr int CONSOLE_ERROR_UNIT = 0;
constexpr int OC_HEAD_SERIES_UNIT = 38;
constexpr int OC_FLUX_SERIES_UNIT = 37;
constexpr std::size_t UNIT_MESSAGE_LENGTH = 47;

// Whether a unit of the run is connected. Every unit of the table is a formatted text
// file, so a unit that is open always has the form a formatted read needs and the
// "has format type" failure (1009) cannot arise.
void check_unit(RunIo& io, int unit, const char* name, int report_unit, int& count) {
  if (io.units.is_open(unit)) return;
  ++count;
  REPORT_ERROR(io, SEVERITY_ERROR, 1008, report_unit, 0, 0,
               oc_message(format_line("('File unit ',A,' =',I4,1X,A)", name, unit,
                                      "is not connected to a file"),
                          UNIT_MESSAGE_LENGTH));
}

// One integer checked against one reference.
void check_value(RunIo& io, int num, int unit, const char* name, const char* rel, int value,
                 int reference, int& count) {
  int values[1] = {value};
  char flags[1] = {0};
  CHECK_INTEGER_ARRAY(io, CHECK_TYPE_ERROR, num, unit, 1, 1, 0, 0, name, rel, reference,
                      IntegerSection(values, 1), count, FlagSection(flags, 1));
}

// A weir, channel boundary or structure code (7 to 11) is valid only on a face that
// carries a link; the failing value shows the code.
int face_code_validity(const FrameState& frame, int code, int x, int y, bool north_south) {
  if (code < OC_BC_WEIR || code > OC_BC_LINK_POLYNOMIAL) return 0;
  if (FIND_LINK_AT_FACE(frame, x, y, north_south) != 0) return 0;
  return code;
}

// The first position 1..n that a check flagged.
int first_flagged(const std::vector<char>& flags, long n) {
  for (long i = 0; i < n; ++i) {
    if (flags[static_cast<std::size_t>(i)] != 0) return static_cast<int>(i) + 1;
  }
  return 0;
}

// The line after a cross-section check's report: where pair j of the link was read.
void report_pair_place(RunIo& io, const char* array, int link, int j) {
  if (const FieldPlace* place = io.places.find(array, link, j)) {
    REPORT_ERROR(io, SEVERITY_CONTINUATION, 0, PRINT_UNIT, 0, 0,
                 value_read_from(*place));
  }
}

}  // namespace

void OC_CHECK_VARIABLES(const FrameState& frame, RunIo& io) {
  int count = 0;
  int unit = PRINT_UNIT;
  check_unit(io, PRINT_UNIT, "PRI", CONSOLE_ERROR_UNIT, count);
  if (count > 0) unit = CONSOLE_ERROR_UNIT;
  check_unit(io, OC_DATA_UNIT, "OCD", unit, count);

  check_value(io, 1001, unit, "NELEE", "GE", NELEE, std::max(frame.NEL, frame.NX), count);
  check_value(io, 1001, unit, "NLFEE", "GE", NLFEE, std::max(frame.NLF, 1), count);
  check_value(io, 1001, unit, "NXEE", "GE", NXEE, frame.NX, count);
  check_value(io, 1001, unit, "NOCTAB", "GE", NOCTAB, 1, count);
  check_value(io, 1002, unit, "NXSCEE", "GT", NXSCEE, 1, count);
  check_value(io, 1003, unit, "NLF", "GE", frame.NLF, 0, count);
  check_value(io, 1003, unit, "NLF", "LT", frame.NLF, frame.NEL, count);
  check_value(io, 1003, unit, "[ NX, NY ]", "GE", std::min(frame.NX, frame.NY), 1, count);
  check_value(io, 1003, unit, "NGDBGN", "EQ", frame.NGDBGN, frame.NLF + 1, count);

  if (count > 0) {
    REPORT_ERROR(io, SEVERITY_FATAL, 1000, unit, 0, 0,
                 "Error(s) detected while checking OC input variables & constants");
  }
}

void OC_CHECK_STATIC_ARRAYS(const FrameState& frame, RunIo& io) {
  int count = 0;
  const int nel = frame.NEL;
  std::vector<char> flags(static_cast<std::size_t>(std::max({nel, frame.NX, 1})), 0);
  const FlagSection element_flags(flags.data(), nel);
  const FlagSection column_flags(flags.data(), frame.NX);

  // ICMREF(., face, 2) and ICMXY(., y) are contiguous: the first index runs fastest.
  std::vector<int> neighbours(static_cast<std::size_t>(std::max(nel, 1)), 0);
  for (int face = 1; face <= 4; ++face) {
    for (int e = 1; e <= nel; ++e) neighbours[e - 1] = frame.ICMREF(e, face, 2);
    CHECK_INTEGER_ARRAY(io, CHECK_TYPE_ERROR, 1057, PRINT_UNIT, 1, nel, face, 2,
                        "ICMREF(iel,face,2)", "LE", nel, IntegerSection(neighbours.data(), nel),
                        count, element_flags);
  }
  std::vector<int> row(static_cast<std::size_t>(std::max(frame.NX, 1)), 0);
  for (int y = 1; y <= frame.NY; ++y) {
    for (int x = 1; x <= frame.NX; ++x) row[x - 1] = frame.ICMXY(x, y);
    CHECK_INTEGER_ARRAY(io, CHECK_TYPE_ERROR, 1057, PRINT_UNIT, 1, frame.NX, y, 0, "ICMXY(x,y)",
                        "LE", nel, IntegerSection(row.data(), frame.NX), count, column_flags);
  }
  for (int y = 1; y <= frame.NY; ++y) {
    for (int x = 1; x <= frame.NX; ++x)
      row[x - 1] = face_code_validity(frame, frame.LCODEX(x, y), x, y, true);
    CHECK_INTEGER_ARRAY(io, CHECK_TYPE_ERROR, 1058, PRINT_UNIT, 1, frame.NX, y, 0,
                        "validity_of_LCODEX(x,y)", "EQ", 0, IntegerSection(row.data(), frame.NX),
                        count, column_flags);
  }
  for (int y = 1; y <= frame.NY; ++y) {
    for (int x = 1; x <= frame.NX; ++x)
      row[x - 1] = face_code_validity(frame, frame.LCODEY(x, y), x, y, false);
    CHECK_INTEGER_ARRAY(io, CHECK_TYPE_ERROR, 1058, PRINT_UNIT, 1, frame.NX, y, 0,
                        "validity_of_LCODEY(x,y)", "EQ", 0, IntegerSection(row.data(), frame.NX),
                        count, column_flags);
  }

  if (count > 0) {
    REPORT_ERROR(io, SEVERITY_FATAL, 1000, PRINT_UNIT, 0, 0,
                 "Error(s) detected while checking static OC input arrays");
  }
}

void OC_CHECK_INPUT_DATA(const FrameState& frame, const SurfaceState& surface, RunIo& io) {
  int count = 0;
  if (surface.OC_N_HEAD_CATEGORIES != 0)
    check_unit(io, OC_HEAD_SERIES_UNIT, "OHB", PRINT_UNIT, count);
  if (surface.OC_N_FLUX_CATEGORIES != 0)
    check_unit(io, OC_FLUX_SERIES_UNIT, "OFB", PRINT_UNIT, count);

  const int nel = frame.NEL;
  const int nlf = frame.NLF;
  std::vector<char> flags(static_cast<std::size_t>(std::max({nel, nlf, NOCTAB, 1})), 0);
  // The checks only read the values: a check that resets (a negative type) is never used.
  auto values = [](const Array1<double>& a, int n) {
    return RealSection(const_cast<double*>(a.data()), n);
  };
  CHECK_REAL_ARRAY(io, CHECK_TYPE_ERROR, 1010, PRINT_UNIT, 1, nel, 0, 0, "STRX(iel)", "GT", 0.0,
                   0.0, values(surface.STRX, nel), count, FlagSection(flags.data(), nel));
  CHECK_REAL_ARRAY(io, CHECK_TYPE_ERROR, 1010, PRINT_UNIT, 1, nel, 0, 0, "STRY(iel)", "GT", 0.0,
                   0.0, values(surface.STRY, nel), count, FlagSection(flags.data(), nel));

  if (nlf >= 1) {
    // XINH(link, j) runs fastest over the links, so column j = 1 is contiguous and the
    // pairs of one link lie nlf apart.
    double* heights = const_cast<double*>(surface.XINH.data());
    double* widths = const_cast<double*>(surface.XINW.data());
    // i2 = 1: the pair whose place a failure shows (the name itself has no second index).
    CHECK_REAL_ARRAY(io, CHECK_TYPE_ERROR, 1016, PRINT_UNIT, 1, nlf, 1, 0, "XINH(link)[j=1]", "EQ",
                     0.0, 0.0, RealSection(heights, nlf), count, FlagSection(flags.data(), nlf));
    for (int link = 1; link <= nlf; ++link) {
      const int pairs = std::clamp(surface.NXSECT(link), 0, NOCTAB);
      const long n = std::max(pairs - 1, 0);
      const std::string h_name = format_line("('XINH[ link =',I3,'](j)')", link);
      const std::string w_name = format_line("('XINW[ link =',I3,'](j)')", link);
      const long first = link - 1;  // offset of pair 1 of the link
      // Position i of these checks is pair i + 1 of the link.
      if (CHECK_REAL_ARRAY(io, CHECK_TYPE_ERROR, 1017, PRINT_UNIT, 1, static_cast<int>(n), 0, 0,
                           h_name, "GTa", ConstRealSection(heights + first, n, nlf), 0.0,
                           RealSection(heights + first + nlf, n, nlf), count,
                           FlagSection(flags.data(), n)) > 0) {
        report_pair_place(io, "XINH", link, first_flagged(flags, n) + 1);
      }
      if (CHECK_REAL_ARRAY(io, CHECK_TYPE_ERROR, 1017, PRINT_UNIT, 1, static_cast<int>(n), 0, 0,
                           w_name, "GEa", ConstRealSection(widths + first, n, nlf), 0.0,
                           RealSection(widths + first + nlf, n, nlf), count,
                           FlagSection(flags.data(), n)) > 0) {
        report_pair_place(io, "XINW", link, first_flagged(flags, n) + 1);
      }
    }
    std::vector<double> top_width(static_cast<std::size_t>(nlf), 0.0);
    for (int link = 1; link <= nlf; ++link) {
      const int pairs = surface.NXSECT(link);
      top_width[link - 1] = pairs >= 1 && pairs <= NOCTAB ? surface.XINW(link, pairs) : 0.0;
    }
    if (CHECK_REAL_ARRAY(io, CHECK_TYPE_ERROR, 1056, PRINT_UNIT, 1, nlf, 0, 0,
                         "XINW[link,NXSECT(link)]", "GT", 0.0, 0.0, RealSection(top_width), count,
                         FlagSection(flags.data(), nlf)) > 0) {
      const int link = first_flagged(flags, nlf);
      report_pair_place(io, "XINW", link, surface.NXSECT(link));
    }
  }

  if (count > 0) {
    REPORT_ERROR(io, SEVERITY_FATAL, 1000, PRINT_UNIT, 0, 0,
                 "Error(s) detected while checking OC input data");
  }
  // No later check asks where these values were read.
  for (const char* item : {"STRX", "STRY", "XINW", "XINH"}) io.places.forget(item);
}

}  // namespace quendal
