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

// The element across a repaired face that gives back (or takes back) the water.
struct Partner {
  int element = 0;  // 0: none (a face on the catchment boundary)
  int face = 0;
};

}  // namespace

void OC_LIMIT_OUTFLOWS(const FrameState& frame, const OcLinkSections& sections, double step,
                       Array1<double>& H, Array2<double>& Q, RunIo& io) {
  const int nel = frame.NEL;
  for (int pass = 1; pass <= OC_MAX_LIMIT_PASSES; ++pass) {
    const bool last_pass = pass == OC_MAX_LIMIT_PASSES;
    bool clean = true;
    for (int M = 1; M <= nel; ++M) {
      double O = H(M);
      const double d = O - frame.ZGRUND(M);
      const double P = step / OC_STORAGE_AREA(frame, sections, M, O);
      double A = 0.0;

      // A nearly dry element (this covers every negative depth) scales the flows that
      // move its depth away from zero so that they would just bring it to zero.
      const bool nearly_dry = d < OC_NEARLY_DRY_DEPTH && IS_NON_ZERO(d);
      double s = 1.0, f = 0.0;
      if (nearly_dry) {
        const double S = -d / P;
        s = S >= 0.0 ? 1.0 : -1.0;
        double T = 0.0;
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

        const int g = frame.ICMREF(M, j, 2);
        Partner partner;
        bool repair = urgent;
        if (g > 0) {
          partner = {g, frame.ICMREF(M, j, 3)};
          repair = urgent || O <= H(g);
        } else if (g < 0) {
          // A junction: the partner is the link that takes most of this face's flow
          // back and stands no lower, or any link when the face must be repaired anyway.
          const int J = -g;
          double most_negative = 0.0;
          int last_link = 0;
          bool any_not_lower = false;
          for (int k = 1; k <= 3; ++k) {
            const int link = frame.ICMRF2(J, k);
            if (link == 0) continue;
            const int link_face = frame.ICMRF2(J, k + 3);
            last_link = k;
            const double v = X * Q(link, link_face);
            const bool not_lower = H(link) >= O && v < 0.0;
            any_not_lower = any_not_lower || not_lower;
            if ((urgent || not_lower) && v < most_negative) {
              most_negative = v;
              partner = {link, link_face};
            }
          }
          if (partner.element == 0 && last_link != 0) {
            partner = {frame.ICMRF2(J, last_link), frame.ICMRF2(J, last_link + 3)};
          }
          repair = urgent || any_not_lower;
        }
        if (!repair) continue;
        clean = false;

        double R = 0.0, SN = 0.0, QN = 0.0;
        if (partner.element != 0) {
          R = H(partner.element);
          SN = step / OC_STORAGE_AREA(frame, sections, partner.element, R);
          QN = Q(partner.element, partner.face);
        }
        double delta;
        if (nearly_dry) {
          delta = X * f;
        } else if (negligible) {
          delta = -X;
        } else {
          // Leaves M at most the margin above its partner, and takes back no more than
          // the partner received or M sent.
          delta = std::min({QN, -X, (R - O + OC_REPAIR_MARGIN) / (P + SN)});
        }
        Q(M, j) = X + delta;
        O += P * delta;
        A += delta;
        if (partner.element != 0) {
          const double sg = delta >= 0.0 ? 1.0 : -1.0;
          const double given_back = sg * std::min(std::fabs(delta), sg * QN);
          Q(partner.element, partner.face) = QN - given_back;
          H(partner.element) = R - SN * given_back;
          A -= given_back;
        }
        // What the partner did not give back was created.
        if (!nearly_dry) {
          if (std::fabs(P * A) > OC_REPAIR_REPORT_DEPTH || last_pass) {
            report_reduced_outflow(io, M, -X, delta, j, P * A);
          }
          A = 0.0;
        }
      }

      if (nearly_dry) {
        const double d_after = O - frame.ZGRUND(M);
        O = frame.ZGRUND(M);
        clean = false;
        if (std::fabs(P * A) + std::fabs(d_after) > OC_REPAIR_REPORT_DEPTH || last_pass) {
          report_dried(io, M, d, P * A, -d_after);
        }
      }
      H(M) = O;
    }
    if (clean) return;
  }
  REPORT_ERROR(io, SEVERITY_FATAL, 1060, PRINT_UNIT, 0, 0, "OC flow criteria could not be met");
}

}  // namespace quendal
