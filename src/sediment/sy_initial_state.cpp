#include "sediment/sy_initial_state.h"

#include <algorithm>

#include "include/dimensions.h"
#include "services/predicates.h"

namespace quendal {

double SY_DIAMETER_PERCENTILE(double p, ConstRealSection f, int n, ConstRealSection d) {
  double total = 0.0;
  for (int j = 1; j <= n; ++j) total += f.nth(j);
  // Twice the fraction of the total wanted: the walk below adds each group's fraction
  // twice (once as the group, once as the next group's lower neighbour).
  const double c = 2.0 * p * total;
  if (IS_ZERO(c) || n < 1) return 0.0;
  double previous_fraction = 0.0, previous_diameter = 0.0;
  double s = 0.0, a = 0.0;
  int j = 1;
  for (; j <= n; ++j) {
    a = previous_fraction + f.nth(j);
    s += a;
    // The margin only decides where the walk stops; the interpolation uses c itself.
    if (s >= 0.9999 * c) break;
    if (j < n) {
      previous_fraction = f.nth(j);
      previous_diameter = d.nth(j);
    }
  }
  j = std::min(j, n);
  return d.nth(j) - (d.nth(j) - previous_diameter) * (s - c) / a;
}

void SY_INITIAL_STATE(const FrameState& frame, const SurfaceState& surface,
                      const SubsurfaceState& subsurface, SedimentState& s) {
  const int nel = frame.NEL, nlf = frame.NLF, ns = subsurface.NS, nsed = s.NSED;
  s.SY_GROUND_EROSION_RATE.resize(nel, 0.0);
  s.SY_SOIL_TO_SEDIMENT_RATIO.resize(nel, 0.0);
  s.SY_PREVIOUS_WATER_DEPTH.resize(nel, 0.0);
  s.SY_FACE_SEDIMENT_DISCHARGE.resize(nel, NSEDEE, 4, 0.0);
  for (Array1<double>* a : {&s.SY_BANK_EROSION_RATE, &s.SY_NET_DEPOSITION_AREA, &s.SY_PREVIOUS_ARXL,
                            &s.SY_BANK_HEIGHT, &s.SY_ACTIVE_LAYER_DEPTH}) {
    a->resize(nlf, 0.0);
  }
  for (Array2<double>* a : {&s.SY_INFILTRATION_RATE_DEEP, &s.SY_INFILTRATION_RATE_SURFACE,
                            &s.SY_ACTIVE_LAYER_SEDIMENT, &s.SY_DEEP_LAYER_SEDIMENT}) {
    a->resize(nlf, NSEDEE, 0.0);
  }
  s.SY_SOIL_MEDIAN_DIAMETER.resize(ns, 0.0);

  for (int link = 1; link <= nlf; ++link) {
    s.SY_PREVIOUS_ARXL(link) = surface.ARXL(link);
    s.SY_SOIL_TO_SEDIMENT_RATIO(link) =
        (1.0 - subsurface.THSAT(s.NTSOBK(link))) / (1.0 - s.PBSED(link));
    s.SY_BANK_HEIGHT(link) = surface.ZBFULL(link) - frame.ZGRUND(link);
    const double active = std::min(s.DLS(link), s.DCBEDO);
    const double deep = std::max(s.DLS(link) - active, 0.0);
    s.SY_ACTIVE_LAYER_DEPTH(link) = active;
    for (int k = 1; k <= nsed; ++k) {
      s.SY_ACTIVE_LAYER_SEDIMENT(link, k) = active * s.FBETA(link, k);
      s.SY_DEEP_LAYER_SEDIMENT(link, k) = s.FBETA(link, k) * deep;
    }
  }
  for (int iel = nlf + 1; iel <= nel; ++iel) {
    s.SY_SOIL_TO_SEDIMENT_RATIO(iel) =
        (1.0 - subsurface.THSAT(s.SY_SURFACE_SOIL_TYPE(iel))) / (1.0 - s.PLS(iel));
    // Not clipped: a level below the ground gives a negative depth.
    s.SY_PREVIOUS_WATER_DEPTH(iel) = frame.HRF_SY_COPY(iel) - frame.ZGRUND(iel);
  }
  for (int soil = 1; soil <= ns; ++soil) {
    s.SY_SOIL_MEDIAN_DIAMETER(soil) =
        SY_DIAMETER_PERCENTILE(0.5, ConstRealSection(&s.SOSDFN(soil, 1), nsed, s.SOSDFN.extent(1)),
                               nsed, ConstRealSection(&s.DRSED(1), nsed));
  }
}

void SY_SIZE_WORK_ARRAYS(const FrameState& frame, SedimentState& s) {
  const int nel = frame.NEL, nlf = frame.NLF;
  s.SY_CANOPY_COVER.resize(frame.NV, 0.0);
  s.leaf_drip_factor.resize(frame.NV, 0.0);
  for (Array1<double>* a : {&s.SY_DROP_DIAMETER, &s.SY_DIRECT_RAIN_RATE, &s.SY_WATER_DEPTH,
                            &s.SY_ELEMENT_SHEAR}) {
    a->resize(nel, 0.0);
  }
  s.SY_FACE_SLOPE.resize(nel, 4, 0.0);
  s.SY_FACE_SHEAR.resize(nel, 4, 0.0);
  s.SY_JUNCTION_SHARE.resize(frame.junction_entry_count, 3, 0.0);
  s.SY_BANK_SEDIMENT_SUPPLY.resize(nlf, 0.0);
  s.SY_CHANNEL_CAPACITY_CONCENTRATION.resize(nlf, NSEDEE, 0.0);
  s.SY_CHANNEL_CARRIER_DISCHARGE.resize(nlf, NSEDEE, 4, 0.0);
  s.SY_ACKERS_WHITE_TABLE.resize(5, NSEDEE, 0.0);
  s.ackers_white_table_filled = false;
  s.channel_transport_rate.resize(nlf, NSEDEE, 0.0);
  s.channel_carrier_total.resize(nlf, NSEDEE, 0.0);
  s.SY_HELD_SEDIMENT.resize(nel, NSEDEE, 0.0);
  s.solids_eroded.resize(NSEDEE, 0.0);
  s.solids_out.resize(NSEDEE, 0.0);
  s.SY_BOUNDARY_SEDIMENT_DISCHARGE.resize(NSEDEE, NSYBEE, 0.0);
  s.SY_FINES_SURFACE_VOLUME.resize(nlf, 0.0);
  s.SY_FINES_DEEP_VOLUME.resize(nlf, 0.0);
  s.SY_BED_AT_REST.resize(nlf, 0);
  s.SY_NEW_ACTIVE_SEDIMENT.resize(nlf, NSEDEE, 0.0);
  s.SY_NEW_DEEP_SEDIMENT.resize(nlf, NSEDEE, 0.0);
  s.visit_mark.resize(nel, 0);
  s.sub_step_mark = 0;
  s.isort_position.resize_range(0, nel + 1, 0);
  s.isort_bound.resize(nel, 0);
  s.check_status.resize(nel, 0);
}

}  // namespace quendal
