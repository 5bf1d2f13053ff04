#include "surface/oc/oc_limiter.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/predicates.h"
#include "services/units.h"

namespace quendal {

namespace {

// Real values of the messages: general editing with one digit before the point in
// exponent form.
std::string general(double value, int width) { return edit_general(value, width, 7, -1, 1); }

void report_reduced_outflow(RunIo& io, int element, double outflow, double delta, int face,
                            double created_depth) {
  std::string message = "Surface water discharge rate";
  message += general(outflow, 14);
  message += " reduced by";
  message += edit_fixed(delta * 100.0 / outflow, 7, 2);
  message += "% at face";
  message += edit_integer(face, 4);
  message += ": depth created =";
  message += general(created_depth, 15);
  REPORT_ERROR(io, SEVERITY_WARNING, 1030, PRINT_UNIT, element, 0, message);
}

void report_dried(RunIo& io, int element, double depth, double created_depth, double dropped) {
  std::string message = "Surface water depth adjusted from";
  message += general(depth, 15);
  message += " to zero";
  message += ": depth created =";
  message += general(created_depth, 15);
  message += general(dropped, 15);
  REPORT_ERROR(io, SEVERITY_WARNING, 1024, PRINT_UNIT, element, 0, message);
}

// The elements across a repaired face that give back (or take back) its water, in the
// order they do: the first decides the repair, the others follow by the size of their
// exchange with the face (most negative `order` first).
struct Partners {
  int count = 0;
  int element[3] = {0, 0, 0};
  int face[3] = {0, 0, 0};
  double order[3] = {0.0, 0.0, 0.0};
  void add(int e, int f, double v) {
    int n = count++;
    // The first partner (order -1 when it decides) keeps its place; the rest by order.
    while (n > 1 && order[n - 1] > v) {
      element[n] = element[n - 1];
      face[n] = face[n - 1];
      order[n] = order[n - 1];
      --n;
    }
    element[n] = e;
    face[n] = f;
    order[n] = v;
  }
};

}  // namespace

void OC_LIMIT_OUTFLOWS(const FrameState& frame, const OcLinkSections& sections, double step,
                       Array1<double>& H, Array2<double>& Q, OcLimiterWork& work, RunIo& io) {
  const int nel = frame.NEL;
  work.uphill_repaired.resize(nel, 4, 0);
  work.uphill_repaired.fill(0);
  // Moves `volume` m3 into element e (out of it when negative) and returns its new level.
  auto move = [&](int e, double level, double volume) {
    return OC_LEVEL_AFTER_VOLUME_CHANGE(frame, sections, e, level, volume);
  };

  for (int pass = 1; pass <= OC_MAX_LIMIT_PASSES; ++pass) {
    const bool last_pass = pass == OC_MAX_LIMIT_PASSES;
    bool clean = true;
    for (int M = 1; M <= nel; ++M) {
      double O = H(M);
      const double d = O - frame.ZGRUND(M);
      const double P = step / OC_STORAGE_AREA(frame, sections, M, O);

      // A nearly dry element (this covers every negative depth) scales the flows that
      // move its depth away from zero so that, together, they would just bring its
      // volume to zero over the step.
      const bool nearly_dry = d < OC_NEARLY_DRY_DEPTH && IS_NON_ZERO(d);
      double s = 1.0, f = 0.0, T = 0.0;
      bool changed = false;
      if (nearly_dry) {
        const double S = -OC_SURFACE_VOLUME(frame, sections, M, O) / step;
        s = S >= 0.0 ? 1.0 : -1.0;
        for (int j = 1; j <= 4; ++j) {
          if (s * Q(M, j) < 0.0) T += Q(M, j);
        }
        f = T != 0.0 ? std::max(S / T, -1.0) : 0.0;
      }

      for (int j = 1; j <= 4; ++j) {
        const double X = Q(M, j);
        if (nearly_dry ? !(s * X < 0.0) : !(X < 0.0)) continue;
        const double W = (j == 1 || j == 3) ? frame.DYQQ(M) : frame.DXQQ(M);
        const bool negligible = -X < OC_NEGLIGIBLE_OUTFLOW_DEPTH * W;
        const bool urgent = nearly_dry || negligible;

        // The partners that give back (or take back) the water: the neighbour across
        // the face, or, at a junction, the links that exchange water with this face in
        // the opposite direction (v < 0), the one that decides the repair first and the
        // others by the size of their share. A face on the catchment boundary has none.
        const int g = frame.ICMREF(M, j, 2);
        Partners partners;
        bool repair = urgent;
        if (g > 0) {
          partners.add(g, frame.ICMREF(M, j, 3), -1.0);
          repair = urgent || O <= H(g);
        } else if (g < 0) {
          // An outflow that is not urgent is repaired when a link that takes it stands
          // no lower; the first partner is the one of those that takes most.
          const int J = -g;
          int first = 0;
          double most_negative = 0.0;
          for (int k = 1; k <= 3; ++k) {
            const int link = frame.ICMRF2(J, k);
            if (link == 0) continue;
            const double v = X * Q(link, frame.ICMRF2(J, k + 3));
            if (!(v < 0.0)) continue;
            if ((urgent || H(link) >= O) && v < most_negative) {
              most_negative = v;
              first = k;
            }
          }
          repair = urgent || first != 0;
          if (first != 0) partners.add(frame.ICMRF2(J, first), frame.ICMRF2(J, first + 3), -1.0);
          for (int k = 1; k <= 3; ++k) {
            const int link = frame.ICMRF2(J, k);
            if (link == 0 || k == first) continue;
            const double v = X * Q(link, frame.ICMRF2(J, k + 3));
            if (v < 0.0) partners.add(link, frame.ICMRF2(J, k + 3), v);
          }
        }
        if (!repair) continue;
        changed = true;

        double R = 0.0, SN = 0.0, QN = 0.0;
        if (partners.count > 0) {
          const int N = partners.element[0];
          R = H(N);
          SN = step / OC_STORAGE_AREA(frame, sections, N, R);
          QN = Q(N, partners.face[0]);
        }
        double delta;
        if (nearly_dry) {
          delta = X * f;
        } else if (negligible || work.uphill_repaired(M, j) >= OC_EQUALISING_REPAIRS) {
          // A negligible outflow is removed; so is what is left of an uphill outflow
          // that equalising cuts have already failed to put right in this call (the
          // partner's level moves with other repairs, and a channel's level need not
          // follow its linearised storage).
          delta = -X;
        } else {
          // Leaves M at most the margin above its partner, and takes back no more than
          // the partner received or M sent.
          delta = std::min({QN, -X, (R - O + OC_REPAIR_MARGIN) / (P + SN)});
          work.uphill_repaired(M, j) += 1;
        }
        // The repair moves exactly delta x step between M and its partners, each giving
        // back no more than its own share of the face's exchange, so that no partner's
        // flow turns round; a face on the catchment boundary just carries less out of
        // it. At a junction the partners' shares add up to the face's flow, and only
        // round-off can be left over.
        Q(M, j) = X + delta;
        O = move(M, O, delta * step);
        double rest = delta;
        for (int n = 0; n < partners.count && rest != 0.0; ++n) {
          const int N = partners.element[n], h = partners.face[n];
          const double share = g > 0 ? rest
                               : rest > 0.0 ? std::min(rest, std::max(Q(N, h), 0.0))
                                            : std::max(rest, std::min(Q(N, h), 0.0));
          Q(N, h) -= share;
          H(N) = move(N, H(N), -share * step);
          rest -= share;
        }
        if (!nearly_dry && last_pass) report_reduced_outflow(io, M, -X, delta, j, 0.0);
      }

      if (nearly_dry) {
        // What the scaled flows leave is round-off when they could cover the whole
        // volume; otherwise a deficit that no outflow could cover is made up with new
        // water (and reported), and a tiny depth that no inflow could take back stays.
        const double left = OC_SURFACE_VOLUME(frame, sections, M, O);
        const bool covered = T != 0.0 && f > -1.0;
        double created = 0.0;
        if (covered || left < 0.0) {
          created = -left;
          changed = changed || O != frame.ZGRUND(M);
          O = frame.ZGRUND(M);
        }
        const double created_depth = created / frame.AREA(M);
        if ((created > 0.0 && created_depth > OC_REPAIR_REPORT_DEPTH) || (last_pass && changed)) {
          report_dried(io, M, d, 0.0, created_depth);
        }
      }
      H(M) = O;
      if (changed) clean = false;
    }
    if (clean) return;
  }
  REPORT_ERROR(io, SEVERITY_FATAL, 1060, PRINT_UNIT, 0, 0, "OC flow criteria could not be met");
}

}  // namespace quendal
