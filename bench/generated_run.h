// The valley of generated_catchment.h written out as a complete run of the program:
// frame, subsurface, overland-flow, evapotranspiration and met data files and the
// run-data file that names them, so that the catchment set-up reads it like any other.
//
// Under every square 20 cells: three near-surface cells (0.1, 0.2 and 0.2 m) over one
// loam layer reaching 9 m below ground in cells of 0.5 m, the water table 1 m below
// ground at the start. Grass everywhere; hourly met data with a storm; steps of at most
// an hour, shortened in the storm to keep each step's rain within 5 mm. Snow, banks,
// sediment and contaminants off; nothing printed but the set-up's own reports.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "generated_catchment.h"

namespace quendal::bench {

// Rain over the day: none before `start` and after `end` (hours from the run start),
// rising linearly to `peak` mm/h at `peak_hour` and falling back.
struct Storm {
  double start = 6.0, peak_hour = 9.0, end = 15.0;
  double peak = 20.0;  // mm/h
  double rate(double hour) const {
    if (hour <= start || hour >= end) return 0.0;
    return hour < peak_hour ? peak * (hour - start) / (peak_hour - start)
                            : peak * (end - hour) / (end - peak_hour);
  }
};

namespace detail {

inline std::string fields(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A real grid: per row, from the north, the row number in 7 columns and the values of
// the row in 7-column fields, ten to a record.
template <class Value>
void write_real_grid(std::ofstream& out, const std::string& title, int n, Value value) {
  out << title << "\n";
  for (int j = n; j >= 1; --j) {
    out << fields("%7.0f", j);
    for (int i = 1; i <= n; ++i) {
      out << fields("%7.2f", value(i, j));
      if (i % 10 == 0 && i < n) out << "\n";
    }
    out << "\n";
  }
}

// A grid of one character per square (or face), from the north: the row number in 7
// columns, a blank, then the characters.
template <class Code>
void write_char_grid(std::ofstream& out, const std::string& title, int columns, int rows,
                     Code code) {
  out << title << "\n";
  for (int j = rows; j >= 1; --j) {
    out << fields("%7.0f", j) << " ";
    for (int i = 1; i <= columns; ++i) out << code(i, j);
    out << "\n";
  }
}

inline char face_char(int code) { return code == CODE_RIVER ? 'R' : '.'; }

}  // namespace detail

// Writes the run of the n x n valley, `hours` long, into `dir` (created) and returns the
// path of its run-data file. `max_channel_flow` is the channel flow (m3/s) above which
// the run stops (QMAXOC, at most 99999.0): by default the largest the field takes, since a
// 50 mm/h storm on the 200 x 200 valley (4e8 m2) rains some 5,500 m3/s and its outlet
// rightly carries thousands. `basic_step` is the basic time step (hours).
inline constexpr double NO_CHANNEL_FLOW_CAP = 99999.0;
inline std::string write_valley_run(const std::string& dir, int n, double hours, const Storm& storm,
                                    double max_channel_flow = NO_CHANNEL_FLOW_CAP,
                                    double basic_step = 1.0) {
  using detail::fields;
  std::filesystem::create_directories(dir);
  // The layout (numbering, link beds, outlet) from the same code as the in-memory
  // catchment.
  Model layout;
  layout.io.units.open(PRINT_UNIT, "/dev/null", UnitDirection::Output);
  const int outlet = lay_out_valley(layout, n);
  const FrameState& f = layout.frame;
  const int mid = n / 2 + 1;
  const int days = static_cast<int>(hours / 24.0);

  {
    std::ofstream out(dir + "/valley_frame.txt");
    out << "Generated valley\nNX, NY\n" << n << " " << n << "\n";
    out << "Start of simulation\n2000 6 1 0 0\nEnd of simulation\n2000 6 " << 1 + days
        << " 0 0\n";
    out << "Start of sediment simulation\n2000 6 1 0 0\nStart of contaminant simulation\n"
           "2000 6 1 0 0\n";
    for (const char* title : {"Grid spacings in x (m)", "Grid spacings in y (m)"}) {
      out << title << "\n";
      for (int i = 1; i < n; ++i) {
        out << fields("%7.1f", SPACING);
        if (i % 10 == 0 || i == n - 1) out << "\n";
      }
    }
    out << "   DTAO  PMODE  PRINT unused unused  STORE PSTART\n"
           "   24.0      1      F      F      F      F    0.0\n"
           " RAINMX DTGROW QMAXOC  DTBAS  SOFTS\n"
           "    5.0    1.5" << fields("%7.1f", max_channel_flow) << fields("%7.2f", basic_step)
        << "      F\n"
           "   SNOW  BANKS    SED    CON\n"
           "      F      F      F      F      F      F      F      F      F      F\n"
           " HSREAD HSWRIT HSTIME HSINTV\n"
           "      F      F      0      0\n"
           "  NMETS NRAINS    NVT    NST   NSHC\n"
           "      1      1      1      1      1\n"
           "Default codes\n  IMET  IRAIN   IVEG  ISHC\n"
           "Default codes: met site, rain station, vegetation, soil horizon category\n"
           "      1      1      1      1      0      0\n";
    detail::write_char_grid(out, "Catchment mask", n, n, [&](int i, int j) {
      return static_cast<char>('0' + f.CATCHMENT_MASK(i, j));
    });
    // The outlet link leaves over a weir through its east face.
    detail::write_char_grid(out, "Face codes in x", n + 1, n, [&](int i, int j) {
      return detail::face_char(f.LCODEX(i, j));
    });
    detail::write_char_grid(out, "Face codes in y", n, n + 1, [&](int i, int j) {
      return i == n && j == mid ? 'W' : detail::face_char(f.LCODEY(i, j));
    });
    detail::write_real_grid(out, "Ground elevation (m)", n, [&](int i, int j) {
      return f.CATCHMENT_MASK(i, j) ? valley_ground(n, i, j) : 0.0;
    });
    out << "Regular discharge output interval (hours)\n24.0\n";
  }
  {
    std::ofstream out(dir + "/valley_oc.txt");
    out << "Generated valley: overland and channel flow\n"
           "       0      0      0       F\n"
           "Overland roughness: one Strickler coefficient\n-\n"
           "  unused   CDRS  PSTART   PEND  unused\n"
           "     0.0    5.0     1.0    0.0     0.0\n"
           "Overland boundary categories: head, flux, polynomial\n"
           "      0      0      0\n"
           "Channel data: number of default cross-sections\n      1\n"
           "Default cross-sections: pairs of width and height above the bed (m)\n      2\n"
        << fields("%7.1f", CHANNEL_WIDTH) << "    0.0" << fields("%7.1f", CHANNEL_WIDTH)
        << fields("%7.1f", CHANNEL_DEPTH) << "\n"
        << "Links: element, bed (m), initial depth (m), Strickler, section\n";
    for (int l = 1; l <= f.NLF; ++l) {
      out << l << " " << fields("%.6f", f.ZGRUND(l)) << " 0.1 25.0 -1\n";
      if (l == outlet) {
        out << "1 10.0 0.67 " << fields("%.6f", f.ZGRUND(l)) << " "
            << fields("%.6f", f.ZGRUND(l) - 10.0) << "\n";
      }
    }
  }
  {
    std::ofstream out(dir + "/valley_et.txt");
    out << "Generated valley: evapotranspiration\n"
           "      F      F      F\n"
           "Met record intervals (hours): met file, precipitation, potential evaporation\n"
           "1.0 1.0 24.0\n"
           "Potential evaporation given (1) or computed (0), per met site\n"
           "      0\n"
           "Vegetation type 1: grassland\n"
           "      T    0.0    2.0   0.08  0.015   60.0      3\n"
           "      4   0.85    0.8 3.0E-5    3.7      5    2.0   0.12    0.5\n"
           "Modes of CSTCAP, PLAI, CLAI, VHT (0 constant, 1 time-varying)\n"
           "      0      0      0      0\n"
           "Soil water potential (m), canopy resistance (s/m), ratio actual/potential\n"
           " -150.0    0.0    0.0\n"
           "  -50.0    0.0    0.3\n"
           "  -10.0    0.0    0.8\n"
           "   -3.3    0.0    1.0\n"
           "Root density: depth of cell (m), fraction of roots\n"
           "   0.05   0.35\n"
           "   0.15   0.25\n"
           "   0.25   0.20\n"
           "   0.35   0.12\n"
           "   0.45   0.08\n";
  }
  {
    std::ofstream out(dir + "/valley_vss.txt");
    out << ":VS01 generated valley\nOne loam layer\nOptions\nF F F\n"
           ":VS03\n1 3 0 1\n"
           ":VS04\n1.0 0.05 0.5 0.0 1.0\n"
           ":VS05\n1 1 0\n0.5 0.5 0.25 0.43 0.08 0.0001 1.56 0.036\n"
           ":VS06\n0.1 0.2 0.2\n:VS08\n1 0\n:VS08a\n1 1\n1\n9.0\n:VS10\n0\n"
           ":VS11\n0 0 0 0 0 0 0 0\n";
  }
  {
    // One record an hour, and two past the end for the readers that look ahead.
    std::ofstream out(dir + "/valley_met.txt");
    out << "Generated valley: hourly met data\n";
    for (int h = 0; h < static_cast<int>(hours) + 2; ++h) {
      const double rain = storm.rate(h + 0.5);
      char line[160];
      std::snprintf(line, sizeof line, "%6d%6d%12.6f%12.6f%12.6f%12.6f\n%12s%12.6f%12.6f%12.6f%12d\n",
                    1, 0, rain, 50.0, 3.0, 1010.0, "", 15.0, 0.55, 0.3, 0);
      out << line;
    }
  }
  {
    std::ofstream out(dir + "/rundata_valley.txt");
    out << "Generated valley\n";
    for (int unit = 10; unit <= 51; ++unit) {
      const char* name = "0";
      switch (unit) {
        case 10: name = "valley_frame.txt"; break;
        case 11: name = "valley_vss.txt"; break;
        case 12: name = "valley_oc.txt"; break;
        case 13: name = "valley_et.txt"; break;
        case 19: name = "valley_met.txt"; break;
        case 23: name = "output_valley_print.txt"; break;
        default: break;
      }
      out << "Unit " << unit << "\n" << name << "\n";
    }
  }
  return dir + "/rundata_valley.txt";
}

}  // namespace quendal::bench
