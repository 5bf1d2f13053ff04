#include "sediment/sy_interface_checks.h"

#include <algorithm>
#include <vector>

#include "include/dimensions.h"
#include "sediment/sy_check_support.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "sediment/sy_flow_variables.h"

namespace quendal {

void SY_CHECK_DIMENSIONS(const FrameState& frame, int ns, int spr, int syd, RunIo& io) {
  SyChecks check(io);
  const int nel = frame.NEL, nlf = frame.NLF, nv = frame.NV, nx = frame.NX, ny = frame.NY;
  check.scalar(2054, "NELEE", "GE", std::max({nx * ny, nv, nel}), NELEE);
  check.scalar(2055, "NLFEE", "GE", std::max(nlf, 1), NLFEE);
  check.scalar(2056, "[ NLYREE, NSEDEE ]", "GT", 0, std::min(NLYREE, NSEDEE));
  check.scalar(2057, "NSEE", "GE", ns, NSEE);
  check.scalar(2058, "NVEE", "GE", nv, NVEE);
  check.scalar(2059, "NXEE", "GE", nx, NXEE);
  check.scalar(2059, "NXEE", "LE", 9999, NXEE);
  check.scalar(2060, "[ SPR, SYD ]", "GE", 0, std::min(spr, syd));
  check.scalar(2061, "NLF", "GE", 0, nlf);
  check.scalar(2061, "NLF", "LT", nel, nlf);
  check.scalar(2062, "[ NS, NV, NX, NY ]", "GT", 0, std::min({ns, nv, nx, ny}));
  if (check.count > 0) {
    REPORT_ERROR(io, SEVERITY_FATAL, 2000, spr, 0, 0,
                 "Error(s) detected while checking WAT-SY interface variables");
  }
}

namespace {

class StaticChecks {
 public:
  StaticChecks(const FrameState& frame, const SurfaceState& surface,
               const SubsurfaceState& subsurface, RunIo& io)
      : f_(frame), s_(surface), v_(subsurface), check_(io), nel_(frame.NEL), nlf_(frame.NLF) {
    marks_.resize_range(-1, nel_ + 1, 0);
    work_.resize(std::max(nel_, NLFEE), 0);
  }

  int run();

 private:
  const FrameState& f_;
  const SurfaceState& s_;
  const SubsurfaceState& v_;
  SyChecks check_;
  const int nel_, nlf_;
  Array1<int> marks_;  // per element -1..NEL+1: counts, then marks
  Array1<int> work_;   // status codes per element or per junction entry

  int clamped(int e) const { return std::clamp(e, -1, nel_ + 1); }
  // A row of ICMRF2; rows beyond those stored are empty.
  int junction(int entry, int column) const {
    return entry >= 1 && entry <= f_.ICMRF2.extent(1) ? f_.ICMRF2(entry, column) : 0;
  }
  // The grid square beyond each bank of a link: side 1 over face 2 (face 1 for a link
  // running north-south), side 2 over face 4 (face 3).
  int outer_neighbour(int link, int side) const {
    const bool north_south = f_.LINK_NORTH_SOUTH(link) != 0;
    const int bank = f_.LINK_BANK_ELEMENT(link, side);
    if (bank < 1 || bank > nel_) return -1;
    const int face = side == 1 ? (north_south ? 1 : 2) : (north_south ? 3 : 4);
    return f_.ICMREF(bank, face, 2);
  }

  int element_counts();
  int neighbours(bool& any_face_failed);
  void banks();
  void junctions();
  void geometry_and_codes();
};

// Every element once: each link by construction, each grid square once in ICMXY, each
// bank element once in LINK_BANK_ELEMENT.
int StaticChecks::element_counts() {
  for (int e = -1; e <= nel_ + 1; ++e) marks_(e) = e >= 0 && e <= nlf_ ? 1 : 0;
  int total = 0;
  for (int y = 1; y <= f_.NY; ++y) {
    for (int x = 1; x <= f_.NX; ++x) {
      const int e = std::clamp(f_.ICMXY(x, y), 0, nel_ + 1);
      ++marks_(e);
      if (e >= 1) ++total;
    }
  }
  if (f_.BANKS_ON && nlf_ > 0) {
    for (int link = 1; link <= nlf_; ++link) {
      for (int side = 1; side <= 2; ++side) ++marks_(std::clamp(f_.LINK_BANK_ELEMENT(link, side), 0, nel_ + 1));
    }
    total += 2 * nlf_;
  }
  return check_.scalar(2075, "#_column_elements", "EQ", nel_ - nlf_, total) +
         check_.integer(2076, 1, nel_, 0, "element_count(iel)", "EQ", 1, marks_);
}

// The neighbour over each face is an element or a junction entry, and an element
// neighbour points back over the face it names.
int StaticChecks::neighbours(bool& any_face_failed) {
  int failures = 0;
  any_face_failed = false;
  for (int face = 1; face <= 4; ++face) {
    const ConstIntegerSection over(&f_.ICMREF(1, face, 2), nel_);
    int found = check_.integer(2077, 1, nel_, face, "ICMREF(iel,face,2)", "LE", nel_, over);
    found += check_.integer(2077, 1, nel_, face, "ICMREF(iel,face,2)", "GE", -NLFEE, over);
    if (found == 0) {
      for (int e = 1; e <= nel_; ++e) {
        const int n = f_.ICMREF(e, face, 2);
        int status = 0;
        if (n > 0) {
          const int back = f_.ICMREF(e, face, 3);
          if (back < 1 || back > 4) {
            status = 1;
          } else if (f_.ICMREF(n, back, 2) != e) {
            status = 2;
          } else if (f_.ICMREF(n, back, 3) != face) {
            status = 3;
          }
        }
        work_(e) = status;
      }
      found += check_.integer(2078, 1, nel_, face, "status_of_ICMREF(iel,face)", "EQ", 0, work_);
    }
    if (found > 0) any_face_failed = true;
    failures += found;
  }
  return failures;
}

// At least one bank of every link borders a grid square, and neither borders a link,
// a bank element or a junction.
void StaticChecks::banks() {
  marks_.fill(-2);
  marks_(0) = 0;
  for (int y = 1; y <= f_.NY; ++y) {
    for (int x = 1; x <= f_.NX; ++x) {
      const int e = f_.ICMXY(x, y);
      if (e >= 1 && e <= nel_) marks_(e) = 1;
    }
  }
  for (int link = 1; link <= nlf_; ++link) {
    work_(link) = marks_(clamped(outer_neighbour(link, 1))) + marks_(clamped(outer_neighbour(link, 2)));
  }
  check_.integer(2079, 1, nlf_, 0, "#_grids_neighbouring_banks(link)", "GT", 0, work_);
}

// Every junction entry is referred to from one element face only, and every link it
// lists exists, has a valid face, and that face leads to an entry listing the element
// and face the scan came from. Status: -1 never referred to, 0 sound, above 0 faulty.
void StaticChecks::junctions() {
  for (int b = 1; b <= NLFEE; ++b) work_(b) = -1;
  for (int face = 1; face <= 4; ++face) {
    for (int j = 1; j <= nel_; ++j) {
      const int n = f_.ICMREF(j, face, 2);
      if (n >= 0) continue;
      const int b = -n;
      if (work_(b) >= 0) {
        ++work_(b);
        continue;
      }
      int status = 0;
      for (int k = 1; k <= 3; ++k) {
        const int l = junction(b, k), g = junction(b, k + 3);
        if (l > nel_) {
          status += 10 * k;
        } else if (l <= 0) {
          continue;
        } else if (g < 1 || g > 4) {
          status += 100 * k;
        } else {
          const int r = f_.ICMREF(l, g, 2);
          if (!(r < 0 && -r <= NLFEE)) {
            status += 1000 * k;
          } else {
            bool lists_back = false;
            for (int m = 1; m <= 3; ++m) {
              if (junction(-r, m) == j && junction(-r, m + 3) == face) lists_back = true;
            }
            if (!lists_back) status += 10000 * k;
          }
        }
      }
      work_(b) = status;
    }
  }
  check_.integer(2080, 1, NLFEE, 0, "status_of_ICMRF2(branch)", "LE", 0, work_);
}

void StaticChecks::geometry_and_codes() {
  const int first = nlf_ + 1;
  check_.real(2063, 1, v_.NS, 0, "THSAT(soil)", "LE", 1.0, v_.THSAT);
  if (nlf_ > 0) {
    check_.real(2064, 1, nlf_, 0, "CLENTH(link)", "GE", 0.0, f_.CLENTH);
    check_.real(2065, 1, nlf_, 0, "CWIDTH(link)", "GT", 0.0, s_.CWIDTH);
    check_.real(2066, 1, nlf_, 0, "ZBFULL(link)", "GEa", f_.ZGRUND, s_.ZBFULL);
    check_.real(2067, 1, nlf_, 0, "ARXL(link)", "GE", 0.0, s_.ARXL);
  }
  check_.real(2068, first, nel_, 0, "DXQQ(iel)", "GT", 0.0, f_.DXQQ);
  check_.real(2068, first, nel_, 0, "DYQQ(iel)", "GT", 0.0, f_.DYQQ);
  check_.real(2069, first, nel_, 0, "HRF(iel)", "GEa", f_.ZGRUND, f_.HRF_SY_COPY);
  int layers = check_.integer(2070, first, nel_, 0, "NLYR(iel)", "GT", 0, v_.NLYR);
  layers += check_.integer(2070, first, nel_, 0, "NLYR(iel)", "LE", NLYREE, v_.NLYR);
  if (layers == 0) {
    for (int e = first; e <= nel_; ++e) work_(e) = v_.NTSOIL(e, v_.NLYR(e));
    check_.integer(2071, first, nel_, 0, "NTSOIL[iel,NLYR(iel)]", "GT", 0, work_);
    check_.integer(2071, first, nel_, 0, "NTSOIL[iel,NLYR(iel)]", "LE", v_.NS, work_);
  }
  check_.integer(2072, first, nel_, 0, "NVC(iel)", "GT", 0, f_.NVC);
  check_.integer(2072, first, nel_, 0, "NVC(iel)", "LE", f_.NV, f_.NVC);
  check_.real(2073, 1, nel_, 0, "AREA(iel)", "GT", 0.0, f_.AREA);
  for (int face = 1; face <= 4; ++face) {
    check_.real(2074, 1, nel_, face, "DHF(iel,face)", "GT", 0.0,
                ConstRealSection(&f_.DHF(1, face), nel_));
  }
}

int StaticChecks::run() {
  bool neighbour_faults = false;
  int topology = element_counts();
  topology += neighbours(neighbour_faults);
  if (nlf_ > 0 && f_.BANKS_ON && topology == 0) banks();
  if (!neighbour_faults) junctions();
  geometry_and_codes();
  return check_.count;
}

}  // namespace

void SY_CHECK_WAT_STATIC(const FrameState& frame, const SurfaceState& surface,
                         const SubsurfaceState& subsurface, RunIo& io) {
  if (StaticChecks(frame, surface, subsurface, io).run() > 0) {
    REPORT_ERROR(io, SEVERITY_FATAL, 2001, SY_PRINT_UNIT, 0, 0,
                 "Error(s) detected while checking static/initial WAT-SY interface");
  }
}

namespace {

void dump_reals(RecordSink& out, std::string_view heading, const Array1<double>* a, const double* one,
                int lo, int hi, const Array2<double>* b = nullptr, int column = 0) {
  out.write_record(std::string(" ").append(heading).append(":"));
  std::string line;
  int on_line = 0;
  for (int i = lo; i <= hi; ++i) {
    const double value = one ? *one : b ? (*b)(i, column) : (*a)(i);
    line += edit_exponent(value, 10, 2);
    if (++on_line == 8) {
      out.write_record(line);
      line.clear();
      on_line = 0;
    }
  }
  if (on_line > 0) out.write_record(line);
}

void dump_integers(RecordSink& out, std::string_view heading, const Array1<int>& a, int lo, int hi) {
  out.write_record(std::string(" ").append(heading).append(":"));
  std::string line;
  int on_line = 0;
  for (int i = lo; i <= hi; ++i) {
    line += edit_integer(a(i), 5);
    if (++on_line == 16) {
      out.write_record(line);
      line.clear();
      on_line = 0;
    }
  }
  if (on_line > 0) out.write_record(line);
}

void dump_time_dependent(const FrameState& frame, const SurfaceState& surface,
                         const SedimentState& s, RunIo& io) {
  RecordSink& out = io.units.sink(SY_PRINT_UNIT);
  const int nel = frame.NEL, nlf = frame.NLF, nv = frame.NV;
  dump_reals(out, "DTUZ", nullptr, &frame.DTUZ, 1, 1);
  dump_reals(out, "CLAI[veg=1,...,NV]", &surface.CLAI, nullptr, 1, nv);
  dump_reals(out, "PLAI[veg=1,...,NV]", &surface.PLAI, nullptr, 1, nv);
  dump_reals(out, "ARXL[link=1,...,NLF]", &surface.ARXL, nullptr, 1, nlf);
  dump_reals(out, "DRAINA[col=NLF+1,...,NEL]", &surface.DRAINA, nullptr, nlf + 1, nel);
  dump_reals(out, "PNETTO[col=NLF+1,...,NEL]", &surface.PNETTO, nullptr, nlf + 1, nel);
  dump_reals(out, "HRF[iel=1,...,NEL]", &frame.HRF_SY_COPY, nullptr, 1, nel);
  dump_reals(out, "ZGRUND[iel=1,...,NEL]", &frame.ZGRUND, nullptr, 1, nel);
  dump_integers(out, "ISORT[iel=1,...,NEL]", frame.ISORT, 1, nel);
  dump_integers(out, "position_in_ISORT[iel=1,...,NEL]", s.isort_position, 1, nel);
  for (int f = 1; f <= 4; ++f) {
    dump_reals(out, "QOC[iel=1,...,NEL][face=" + std::to_string(f) + "]", nullptr, nullptr, 1, nel,
               &surface.QOC, f);
  }
}

}  // namespace

void SY_CHECK_WAT_TIME_DEPENDENT(const FrameState& frame, const SurfaceState& surface,
                                 SedimentState& s, RunIo& io) {
  SyChecks check(io);
  const int nel = frame.NEL, nlf = frame.NLF, nv = frame.NV;
  check.scalar(2046, "DTUZ", "GE", 0.0, frame.DTUZ);
  check.real(2047, 1, nv, 0, "CLAI(veg)", "GE", 0.0, surface.CLAI);
  check.real(2048, 1, nv, 0, "PLAI(veg)", "GE", 0.0, surface.PLAI);
  check.real(2048, 1, nv, 0, "PLAI(veg)", "LE", 1.0, surface.PLAI);
  if (nlf > 0) check.real(2049, 1, nlf, 0, "ARXL(link)", "GE", 0.0, surface.ARXL);
  check.real(2050, nlf + 1, nel, 0, "DRAINA(iel)", "GE", 0.0, surface.DRAINA);
  check.real(2050, nlf + 1, nel, 0, "DRAINA(iel)", "LEa", surface.PNETTO, surface.DRAINA, 1e-7);
  check.real(2051, 1, nel, 0, "HRF(iel)", "GEa", frame.ZGRUND, frame.HRF_SY_COPY);

  // Where each element stands in ISORT, and the earliest place of an element that
  // receives its water: it must come before that.
  Array1<int>& position = s.isort_position;
  Array1<int>& bound = s.isort_bound;
  Array1<int>& status = s.check_status;
  position.fill(nel + 1);
  for (int p = 1; p <= nel; ++p) position(std::clamp(frame.ISORT(p), 0, nel + 1)) = p;
  bound.fill(nel + 1);
  const Array2<double>& qoc = surface.QOC;
  for (int f = 1; f <= 4; ++f) {
    for (int i = 1; i <= nel; ++i) {
      status(i) = 0;
      if (!(sy_outflow(qoc, i, f) > 0.0)) continue;
      const int n = frame.ICMREF(i, f, 2);
      if (n >= 1) {
        // Both sides of one face losing water.
        if (sy_outflow(qoc, n, frame.ICMREF(i, f, 3)) > 0.0) status(i) = 1;
        bound(i) = std::min(bound(i), position(n));
      } else if (n < 0) {
        const int junction = -n;
        double d = 1.0;
        for (int k = 1; k <= 3; ++k) {
          const int link = frame.ICMRF2(junction, k);
          if (link <= 0) continue;
          const double out = sy_outflow(qoc, link, frame.ICMRF2(junction, k + 3));
          d = std::min(d, out);
          if (out < 0.0) bound(i) = std::min(bound(i), position(link));
        }
        // No link of the junction takes the water in.
        if (d >= 0.0) status(i) = 2;
      }
    }
    check.integer(2052, 1, nel, f, "status_of_QOC(iel,face)", "EQ", 0, status);
  }
  check.integer(2053, 1, nel, 0, "position_in_ISORT(iel)", "LTa", bound, position);

  if (check.count > 0) {
    dump_time_dependent(frame, surface, s, io);
    REPORT_ERROR(io, SEVERITY_ERROR, 2003, SY_PRINT_UNIT, 0, 0,
                 "Error(s) detected while checking time-dependent WAT-SY interface");
  }
}

}  // namespace quendal
