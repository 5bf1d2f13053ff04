// Met data: the meteorological input of the run, kept current as simulated time passes.
//
// Two layouts, chosen by MET_FILE_MODE of the ET data file:
//  * one met file (unit 19): per record interval, the data of every met site and the
//    rainfall of every rain station, in fixed columns;
//  * separate files: rainfall depths (unit 20), potential-evaporation depths
//    (unit 21) and, when named, daily high and low air temperatures (units 45, 46),
//    in free format.
// The first record of each file is a title that the ET data reader has already
// consumed. A file that ends gives defaults for the rest of the run and one message
// per kind on the print file ("Finish of met data", "Finish of prd data",
// "Finish of epd data", each followed by "All remaining values will be zero").
// The console gets one line per file that ended early, naming it and the time (the
// air-temperature files too, whose end the print file does not mention).
// Every value is held to its physical bounds (services/physical_bounds.h): rainfall,
// net radiation, wind, pressure (0: not given), air temperature, DEL and VPD (also at
// most the saturation vapour pressure 20 degC above the record's temperature); a value
// outside them is an InputError naming the file, record, columns and text; so is a
// highest air temperature below the lowest of the same record, naming both. Negative
// potential evaporation (dew in a measured series) is read as 0 with one warning 4999
// per file.
#pragma once

#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/surface_state.h"

namespace quendal {

// Values a site takes once the met file has ended.
constexpr double MET_DEFAULT_AIR_TEMPERATURE = 10.0;  // deg C
constexpr double MET_DEFAULT_DEL = 1.0;
constexpr double MET_DEFAULT_VPD = 3.0;

constexpr int MET_FILE_UNIT = 19;
constexpr int PRD_FILE_UNIT = 20;
constexpr int EPD_FILE_UNIT = 21;
constexpr int AIR_TEMPERATURE_HIGH_UNIT = 45;
constexpr int AIR_TEMPERATURE_LOW_UNIT = 46;

// MET_DATA_ADVANCE modes.
constexpr int MET_READ_NEXT_RECORD = 1;  // the next rainfall record becomes current
constexpr int MET_COMPLETE_STEP = 2;     // per-step completion, once the step is chosen

// Sizes the met arrays of FrameState from MET_SITE_COUNT, RAIN_STATION_COUNT and NEL,
// all values zero (the state before the first record); the air temperatures of the
// separate files start at their default. Called once after the frame data are read;
// TIMESTEP_CONTROL calls it itself when the sizes do not match the counts.
void allocate_met_data(FrameState& frame);
bool met_data_allocated(const FrameState& frame);

// Mode 1 (MET_READ_NEXT_RECORD): reads the next rainfall record (the single met file:
// the whole record of every site and station), so MELAST takes the old METIME and
// METIME advances by one record interval; on a hot start it reads on until METIME
// reaches HOTSTART_TIME. Mode 2 (MET_COMPLETE_STEP): with the single file nothing;
// with separate files the potential evaporation of the step UZNOW .. UZNOW + UZNEXT
// and the air temperature. The time-varying vegetation parameters (CSTCAP, PLAI,
// CLAI, VHT) are refreshed at ET_CLOCK after every read of the single met file and
// after every call with separate files. Called only by TIMESTEP_CONTROL.
// A non-positive record interval is a fatal report (it would never advance the clock).
void MET_DATA_ADVANCE(int mode, FrameState& frame, SurfaceState& surface, RunIo& io);

// After a hot start, before the first step: reads the met files forward to the
// records the run that saved the state had in hand at the restart time (HOTSTART_TIME):
// the rainfall record that covers it and, with separate files, the potential-
// evaporation record with its air temperatures, which become the sites' current air
// temperatures. So the first step's time-step control, whose snow cap reads the air
// temperatures before any record is read, starts from the values the uninterrupted run
// had. The vegetation parameters are refreshed at ET_CLOCK as with any read. Does
// nothing without a hot start or once the records are in hand.
void MET_DATA_CATCH_UP(FrameState& frame, SurfaceState& surface, RunIo& io);

}  // namespace quendal
