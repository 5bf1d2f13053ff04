#include "surface/oc/oc_face_flows.h"

#include "include/run_io.h"
#include "services/formatted_writer.h"
#include "surface/oc/oc_flow_laws.h"
#include "surface/oc/zq_tables.h"

namespace quendal {

namespace {

// The OC boundary entry of element e when it lies on face f, 0 otherwise.
int entry_on_face(const SurfaceState& surface, int e, int f) {
  const int k = surface.OC_BOUNDARY_OF_ELEMENT(e);
  return (k >= 1 && surface.OC_BOUNDARY_FACE(k) == f) ? k : 0;
}

// The five numbers of entry k; zeros when the table has no such entry.
OcBoundaryNumbers boundary_numbers(const SurfaceState& surface, int k) {
  OcBoundaryNumbers numbers{};
  const Array2<double>& c = surface.OC_BOUNDARY_COEFFICIENTS;
  if (k < c.lower(2) || k > c.upper(2)) return numbers;
  for (int i = 0; i < 5; ++i) numbers[i] = c(i + 1, k);
  return numbers;
}

OcChannelSide channel_side(const FrameState& frame, const SurfaceState& surface, int link,
                           int face) {
  OcChannelSide s;
  s.H = surface.GET_HRF(link);
  s.Z = frame.ZGRUND(link);
  s.L = frame.DHF(link, face);
  s.K = OC_FACE_STRICKLER(surface, link, face);
  s.W = surface.CWIDTH(link);
  s.A = surface.LINK_FULL_AREA(link);
  s.table = &surface.OC_SECTION_TABLE(link);
  return s;
}

void store_pair(SurfaceState& surface, int e1, int f1, int e2, int f2, const OcPairFlow& p) {
  surface.SET_QSA(e1, f1, p.Q1);
  surface.DQ0ST(e1, f1) = p.D11;
  surface.DQIST(e1, f1) = p.D12;
  surface.SET_QSA(e2, f2, p.Q2);
  surface.DQ0ST(e2, f2) = p.D22;
  surface.DQIST(e2, f2) = p.D21;
}

// A face of element e without neighbour: the boundary law when e's entry lies on it.
void boundary_face(const FrameState& frame, SurfaceState& surface,
                   const Array1<double>& flux_values, int e, int f) {
  const int k = entry_on_face(surface, e, f);
  if (k == 0) return;
  const int code = surface.OC_BOUNDARY_TYPE(k);
  const bool link = e <= frame.NLF;
  const double flux = code % 6 == OC_BC_FLUX ? flux_values(surface.OC_BOUNDARY_CATEGORY(k)) : 0.0;
  const OcBoundaryFlow b = OC_BOUNDARY_FACE_FLOW(
      code, frame.DHF(e, f), frame.ZGRUND(e), OC_FACE_STRICKLER(surface, e, f),
      link ? &surface.OC_SECTION_TABLE(e) : nullptr, OC_FACE_WIDTH(frame, e, f),
      link ? surface.LINK_FULL_AREA(e) : 0.0, boundary_numbers(surface, k), surface.GET_HRF(e),
      flux);
  surface.SET_QSA(e, f, b.Q);
  surface.DQ0ST(e, f) = b.dQ_dH;
  surface.DQIST(e, f) = 0.0;
}

// A face between links e and g that carries ZQ table `table`: the table's discharge at
// the upstream level into the downstream link; one diagnostic record per evaluation.
OcPairFlow zq_face(const FrameState& frame, SurfaceState& surface, int e, int f, int g, int h,
                   int table) {
  surface.ZQ_ACTIVE_TABLE = table;
  const double H1 = surface.GET_HRF(e), H2 = surface.GET_HRF(g);
  const bool upstream_is_2 = H2 >= H1;
  const double Hu = upstream_is_2 ? H2 : H1;
  // The lookup may choose the operating column; the slope is that column's.
  const double Qd = ZQ_LOOKUP_DISCHARGE(frame, surface, table, Hu);
  const OcZqDischarge zq{Qd, ZQ_RATING_SLOPE(surface, table, Hu)};
  const OcPairFlow p = OC_STRUCTURE_FLOW(OC_BC_ZQ_TABLE, channel_side(frame, surface, e, f),
                                         channel_side(frame, surface, g, h), OcBoundaryNumbers{},
                                         &zq);
  if (surface.ZQ_DIAGNOSTICS_IO != nullptr) {
    const double Q = upstream_is_2 ? p.Q1 : p.Q2;
    const double dQd_dHu = upstream_is_2 ? p.D12 : p.D21;
    write_free(surface.ZQ_DIAGNOSTICS_IO->units.sink(ZQ_FLOW_UNIT), Hu, Q, dQd_dHu);
  }
  return p;
}

// The face f of element e shared with element g > e, whose face h points back.
void pair_face(const FrameState& frame, SurfaceState& surface, int e, int f, int g, int h) {
  // The face's code and numbers come from an entry on either side of it (e's first).
  int k = entry_on_face(surface, e, f);
  if (k == 0) k = entry_on_face(surface, g, h);
  const int code = k >= 1 ? surface.OC_BOUNDARY_TYPE(k) : 0;

  const double H1 = surface.GET_HRF(e), H2 = surface.GET_HRF(g);
  const double K1 = OC_FACE_STRICKLER(surface, e, f), K2 = OC_FACE_STRICKLER(surface, g, h);
  OcPairFlow p;
  if (e > frame.NLF) {
    p = OC_NEIGHBOUR_FLOW_LEVEL(code, frame.DHF(e, f), frame.DHF(g, h), frame.ZGRUND(e),
                                frame.ZGRUND(g), K1, K2, OC_FACE_WIDTH(frame, e, f), H1, H2);
  } else if (g <= frame.NLF) {
    const int table = ZQ_TABLE_OF_FACE(surface, e, f, g, h);
    if (table == 0) {
      p = OC_STRUCTURE_FLOW(code, channel_side(frame, surface, e, f),
                            channel_side(frame, surface, g, h),
                            boundary_numbers(surface, k >= 1 ? k : 1));
    } else {
      p = zq_face(frame, surface, e, f, g, h, table);
    }
  } else {
    // A link beside a bank element or grid square: the link's bank top is its
    // reference level and only the neighbour's distance to the face counts.
    p = OC_NEIGHBOUR_FLOW(frame.CLENTH(e), 0.0, frame.DHF(g, h), surface.ZBFULL(e),
                          frame.ZGRUND(g), K1, K2, H1, H2);
  }
  store_pair(surface, e, f, g, h, p);
}

}  // namespace

void OC_FACE_FLOWS(const FrameState& frame, SurfaceState& surface,
                   const Array1<double>& flux_values) {
  for (int e = 1; e <= frame.NEL; ++e) {
    for (int f = 1; f <= 4; ++f) {
      const int g = frame.ICMREF(e, f, 2);
      if (g > 0 && g < e) continue;  // evaluated from g's side
      if (g < 0) continue;             // a junction: balanced by OC_EVALUATE_JUNCTION
      if (g == 0) {
        boundary_face(frame, surface, flux_values, e, f);
      } else {
        pair_face(frame, surface, e, f, g, frame.ICMREF(e, f, 3));
      }
    }
  }
}

}  // namespace quendal
