#include "surface/snow/snow_data.h"

#include <map>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/grid_readers.h"
#include "services/physical_bounds.h"
#include "services/record_reader.h"
#include "services/records.h"
#include "services/stops.h"

namespace quendal {
namespace {

constexpr int DEGREE_DAY = 1;

[[noreturn]] void refuse(RunIo& io, const std::string& message, const FieldPlace* place) {
  report_fatal_with_detail(io, SNOW_DATA_ERROR, PRINT_UNIT, 0, message,
                           place ? value_read_from(*place) : "");
}
[[noreturn]] void refuse(RunIo& io, const std::string& message, const FieldPlace& place) {
  refuse(io, message, &place);
}

std::string read_title(RecordSource& in) {
  std::string title;
  read_formatted(in, "(A80)", title);
  return trim_right(title);
}

// Where the values were read: record 4 (DDF, RHOS, temperature, pack mode, MSM), record 6
// (ZOS, ZDS, ZUS) and, per element, the initial depth and specific gravity.
struct SnowPlaces {
  FieldLog parameters, energy;
  std::map<int, FieldPlace> depth, gravity;
};

// The energy budget divides by ln((ZUS - ZDS) / ZOS), and every pack update divides by
// the specific gravity; a negative pack or specific gravity is not snow.
void check_parameters(RunIo& io, const SurfaceState& s, const SnowPlaces& at) {
  if (!(s.RHOS > 0.0)) {
    refuse(io, format_line("('snow specific gravity RHOS =',G12.4,' must be positive')", s.RHOS),
           at.parameters[1]);
  }
  if (s.MSM == 2) {
    if (!(s.ZOS > 0.0)) {
      refuse(io, format_line("('snow roughness ZOS =',G12.4,' m must be positive')", s.ZOS),
             at.energy[0]);
    }
    if (!(s.ZUS - s.ZDS > s.ZOS)) {
      refuse(io,
             format_line("('anemometer height ZUS =',G12.4,' m must exceed the zero-plane "
                         "displacement ZDS plus the roughness ZOS')",
                         s.ZUS),
             at.energy[2]);
    }
  }
  require_within(Quantity::DEGREE_DAY_FACTOR, "degree-day factor DDF", s.DDF, at.parameters[0]);
  require_within(Quantity::SNOW_SPECIFIC_GRAVITY, "snow specific gravity RHOS", s.RHOS,
                 at.parameters[1]);
  if (s.MSM == 2) {
    require_within(Quantity::ROUGHNESS_LENGTH, "snow roughness ZOS", s.ZOS, at.energy[0]);
    require_within(Quantity::VEGETATION_HEIGHT, "zero-plane displacement ZDS", s.ZDS,
                   at.energy[1]);
    require_within(Quantity::ANEMOMETER_HEIGHT, "anemometer height ZUS", s.ZUS, at.energy[2]);
  }
}

void check_initial_pack(const FrameState& frame, RunIo& io, const SurfaceState& s,
                        const SnowPlaces& at) {
  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    const auto depth = at.depth.find(e);
    const auto gravity = at.gravity.find(e);
    if (s.SD(e) < 0.0) {
      refuse(io, format_line("('element',I6,': initial snow depth',G12.4,' mm is negative')", e,
                             s.SD(e)),
             depth == at.depth.end() ? nullptr : &depth->second);
    }
    if (s.SM_ELEMENT_RHOS(e) < 0.0) {
      refuse(io, format_line("('element',I6,': snow specific gravity',G12.4,' is negative')", e,
                             s.SM_ELEMENT_RHOS(e)),
             gravity == at.gravity.end() ? nullptr : &gravity->second);
    }
    const std::string of = " of element " + std::to_string(e);
    if (depth != at.depth.end()) {
      require_within(Quantity::SNOW_DEPTH, "initial snow depth" + of, s.SD(e), depth->second);
    }
    // A specific gravity of 0 in the grid gives the element RHOS.
    if (gravity != at.gravity.end() && s.SM_ELEMENT_RHOS(e) != 0.0) {
      require_within(Quantity::SNOW_SPECIFIC_GRAVITY, "snow specific gravity" + of,
                     s.SM_ELEMENT_RHOS(e), gravity->second);
    }
  }
}

}  // namespace

void allocate_snow_state(SurfaceState& s, int nel) {
  s.SD.resize(nel, 0.0);
  s.SM_ELEMENT_RHOS.resize(nel, 0.0);
  s.TS.resize(nel, 0.0);
  s.SMELT.resize(nel);
  s.TMELT.resize(nel);
}

void SM_READ_DATA_FILE(const FrameState& frame, SurfaceState& s, RunIo& io) {
  RecordSource& in = io.units.input(SNOW_DATA_UNIT);
  RecordSink& print = io.units.print();
  allocate_snow_state(s, frame.NEL);

  const std::string title = read_title(in);
  read_formatted(in, "(L7)", s.SM_PRINT_ON);
  const bool echo = s.SM_PRINT_ON;
  if (echo) {
    print.write_record("");
    write_formatted(print, "(1X,A)", title);
  }
  read_title(in);
  double initial_temperature = 0.0;
  SnowPlaces at;
  {
    FieldLogScope scope(in, at.parameters);
    read_formatted(in, "(2F7.5,F7.2,2I7)", s.DDF, s.RHOS, initial_temperature, s.SM_PACK_MODE,
                   s.MSM);
  }
  s.SM_RHOS_DEFAULT = s.RHOS;
  // The degree-day method keeps the pack at the melting point, whatever the record says.
  if (s.MSM == DEGREE_DAY) {
    initial_temperature = 0.0;
  } else {
    require_within(Quantity::SNOW_TEMPERATURE, "initial snow temperature", initial_temperature,
                   at.parameters[2]);
  }
  if (echo) {
    write_formatted(print, "(' DEGREE DAY FACTOR DDF =',F12.5,' MM/S/C')", s.DDF);
    write_formatted(print, "(' SNOW SPECIFIC GRAVITY RHOS =',F12.5)", s.RHOS);
    write_formatted(print, "(' INITIAL SNOW TEMPERATURE =',F8.2,' C')", initial_temperature);
    print.write_record("");
    write_formatted(print, "(' SNOWMELT CALCULATED BY DEGREE DAY IF MSM IS 1',"
                           "' AND BY ENERGY BUDGET IF MSM IS 2')");
    write_formatted(print, "(' MSM =',I3)", s.MSM);
  }

  const int sites = frame.MET_SITE_COUNT;
  s.SM_MET_STATION_ELEMENT.resize(sites > 0 ? sites : 0, 0);
  if (s.MSM != DEGREE_DAY) {
    read_title(in);
    {
      FieldLogScope scope(in, at.energy);
      read_formatted(in, "(3F7.5)", s.ZOS, s.ZDS, s.ZUS);
    }
    read_title(in);
    read_formatted(in, "(10I7)", s.SM_MET_STATION_ELEMENT);
    if (echo) {
      print.write_record("");
      write_formatted(print, "(' ENERGY BUDGET DATA')");
      write_formatted(print, "(' ROUGHNESS ZOS =',F12.5,' M')", s.ZOS);
      write_formatted(print, "(' ZERO PLANE DISPLACEMENT ZDS =',F12.5,' M')", s.ZDS);
      write_formatted(print, "(' HEIGHT OF ANEMOMETER ZUS =',F12.5,' M')", s.ZUS);
      write_formatted(print, "(' LOCATION OF MET. STATIONS: ')");
      write_formatted(print, "(' STATION NO.    ELEMENT NO.')");
      for (int site = 1; site <= sites; ++site) {
        write_formatted(print, "(1X,I4,11X,I4)", site, s.SM_MET_STATION_ELEMENT(site));
      }
    }
  }
  check_parameters(io, s, at);

  if (s.SM_PACK_MODE == 0) {
    read_title(in);
    double depth = 0.0;
    FieldLog depth_place;
    {
      FieldLogScope scope(in, depth_place);
      read_formatted(in, "(F7.1)", depth);
    }
    // One depth for every element: refused as itself, not as the first element's.
    if (depth >= 0.0) {
      require_within(Quantity::SNOW_DEPTH, "uniform initial snow depth", depth, depth_place[0]);
    }
    for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
      s.SM_ELEMENT_RHOS(e) = s.RHOS;
      s.SD(e) = depth;
      at.depth[e] = depth_place[0];
      at.gravity[e] = at.parameters[1];
    }
    if (echo) {
      write_formatted(print, "(' INITIAL SNOWPACK HAS UNIFORM THICKNESS =',F10.1,' MM')", depth);
    }
  } else {
    const int mode = echo ? GRID_READ_AND_ECHO : GRID_READ;
    READ_REAL_GRID(frame, s.SD, mode, SNOW_DATA_UNIT, PRINT_UNIT, io,
                   [&](int e, double, const FieldPlace& place) { at.depth[e] = place; });
    READ_REAL_GRID(frame, s.SM_ELEMENT_RHOS, mode, SNOW_DATA_UNIT, PRINT_UNIT, io,
                   [&](int e, double, const FieldPlace& place) { at.gravity[e] = place; });
  }
  check_initial_pack(frame, io, s, at);

  for (int e = frame.NGDBGN; e <= frame.NEL; ++e) {
    s.SMELT(e).clear();
    s.TMELT(e).clear();
    s.TS(e) = initial_temperature;
  }
}

void SM_READ_DATA_FILE(Model& model) { SM_READ_DATA_FILE(model.frame, model.surface, model.io); }

}  // namespace quendal
