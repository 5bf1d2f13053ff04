#include "sediment/sy_state_check.h"

#include <string>

#include "sediment/sy_data_file.h"
#include "services/error_reporting.h"
#include "services/physical_bounds.h"
#include "services/state_limits.h"
#include "services/stops.h"

namespace quendal {

namespace {

// The factors to the units the visualisation file records its sediment items in.
constexpr double M_TO_MM = 1000.0;                  // sediment depth, mm
constexpr double M_PER_S_TO_MM_PER_DAY = 8.64e7;    // ground erosion rate, mm/day
constexpr double SOLID_VOLUME_TO_MASS = 2650.0;     // sediment discharge, kg/s

// One kind of value: what it is, its unit, and how the outputs record it.
struct Kind {
  const char* what;  // "Sediment discharge"; the size group and face follow it
  const char* unit;
  bool concentration = false;
  double to_output_units = 1.0;
  const char* output_units = "";
};

// Kept out of the loops below: it runs once, when the run stops.
[[noreturn]] void out_of_range(RunIo& io, int element, const Kind& kind, int group, int face,
                               double value) {
  std::string what = kind.what;
  if (group > 0) what += ", size group " + std::to_string(group);
  if (face > 0) what += ", face " + std::to_string(face);
  const std::string unit = kind.unit[0] != '\0' ? std::string(" ") + kind.unit : "";
  REPORT_ERROR(io, SEVERITY_FATAL, STATE_OUT_OF_RANGE_ERROR, SY_PRINT_UNIT, element, 0,
               what + " = " + value_text(value) + unit + ": " +
                   state_fault_text(value, kind.concentration, kind.to_output_units,
                                    kind.output_units));
  throw FatalError("sediment state out of range");  // not reached
}

bool all_within(const Kind& kind, const double* v, long n) {
  return kind.concentration ? all_concentrations_within_outputs(v, n)
                            : all_within_outputs(v, n, kind.to_output_units);
}

// Hands every run of checked values to `visit`(kind, first value, count, element of the
// first value, size group, face): each a run of consecutive elements or links.
template <class Visit>
void for_each_run(const FrameState& frame, const SedimentState& s, Visit&& visit) {
  const int NEL = frame.NEL, NLF = frame.NLF, NSED = s.NSED;
  static constexpr Kind depth{"Depth of loose or bed sediment", "m", false, M_TO_MM, "mm"};
  static constexpr Kind erosion{"Ground erosion rate", "m/s", false, M_PER_S_TO_MM_PER_DAY,
                                "mm/day"};
  static constexpr Kind share{"Share of the sediment", ""};
  static constexpr Kind suspended{"Suspended sediment concentration", "m3/m3", true};
  static constexpr Kind discharge{"Sediment discharge", "m3/s", false, SOLID_VOLUME_TO_MASS,
                                  "kg/s"};
  static constexpr Kind bank{"Bank erosion rate", "m/s"};
  static constexpr Kind deposition{"Net deposition area", "m2"};
  static constexpr Kind active{"Sediment depth in the active bed layer", "m"};
  static constexpr Kind deep{"Sediment depth in the deep bed layer", "m"};
  static constexpr Kind infiltration{"Sediment infiltration into the deep bed layer", "m3/s"};

  if (NEL >= 1) {
    visit(depth, &s.DLS(1), NEL, 1, 0, 0);
    visit(erosion, &s.SY_GROUND_EROSION_RATE(1), NEL, 1, 0, 0);
    for (int g = 1; g <= NSED; ++g) {
      visit(share, &s.FBETA(1, g), NEL, 1, g, 0);
      visit(suspended, &s.FDEL(1, g), NEL, 1, g, 0);
      for (int f = 1; f <= 4; ++f) {
        visit(discharge, &s.SY_FACE_SEDIMENT_DISCHARGE(1, g, f), NEL, 1, g, f);
      }
    }
  }
  if (NLF >= 1) {
    visit(bank, &s.SY_BANK_EROSION_RATE(1), NLF, 1, 0, 0);
    visit(deposition, &s.SY_NET_DEPOSITION_AREA(1), NLF, 1, 0, 0);
    for (int g = 1; g <= NSED; ++g) {
      visit(active, &s.SY_ACTIVE_LAYER_SEDIMENT(1, g), NLF, 1, g, 0);
      visit(deep, &s.SY_DEEP_LAYER_SEDIMENT(1, g), NLF, 1, g, 0);
      visit(infiltration, &s.SY_INFILTRATION_RATE_DEEP(1, g), NLF, 1, g, 0);
    }
  }
}

}  // namespace

void SY_CHECK_STATE(const FrameState& frame, const SedimentState& sediment, RunIo& io) {
  // Only when a run of values fails does a second pass find its first failing value.
  bool held = true;
  for_each_run(frame, sediment, [&](const Kind& kind, const double* v, long n, int, int, int) {
    held &= all_within(kind, v, n);
  });
  if (held) return;
  for_each_run(frame, sediment,
               [&](const Kind& kind, const double* v, long n, int first, int group, int face) {
                 for (long i = 0; i < n; ++i) {
                   if (!all_within(kind, v + i, 1)) {
                     out_of_range(io, first + static_cast<int>(i), kind, group, face, v[i]);
                   }
                 }
               });
}

}  // namespace quendal
