#include "sediment/sy_input_checks.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "include/dimensions.h"
#include "sediment/sy_check_support.h"
#include "services/error_reporting.h"

namespace quendal {

namespace {

// Relative tolerance of a composition's sum: far below any fraction a user writes, far
// above the rounding of adding seven fractions.
constexpr double COMPOSITION_SUM_TOLERANCE = 1e-10;

// Column k of a table whose first index is the element, soil or link: entries 1..n.
ConstRealSection column(const Array2<double>& table, int k, int n) {
  return ConstRealSection(n > 0 ? &table(1, k) : nullptr, n);
}

// Where the fractions of entry i (noted under `item` at (i, k)) were read, noted under
// the name of their sum's check, so that its report names them: their record and
// columns when they share one record, else the record of the first.
void note_sum_places(InputPlaces& places, std::string_view item, std::string_view sum_name,
                     int n, int nsed) {
  const std::string sum_item(sum_name.substr(0, sum_name.find('(')));
  places.forget(sum_item);
  for (int i = 1; i <= n; ++i) {
    FieldLog fractions;
    for (int k = 1; k <= nsed; ++k) {
      if (const FieldPlace* place = places.find(item, i, k)) fractions.push_back(*place);
    }
    if (fractions.empty()) continue;
    FieldPlace joined = joined_place(fractions, fractions[0].file, fractions[0].record);
    const bool one_record = std::all_of(fractions.begin(), fractions.end(), [&](const FieldPlace& p) {
      return p.file == joined.file && p.record == joined.record;
    });
    if (!one_record) {
      joined.first_column = joined.last_column = 0;
      joined.text.clear();
    }
    places.note(sum_item, i, 0, joined);
  }
}

// Each group's fractions not negative, and their sum over the groups 1 (within the
// tolerance) for entries 1..n.
void check_compositions(SyChecks& check, InputPlaces& places, int number, const char* name,
                        const char* sum_name, const Array2<double>& table, int n, int nsed) {
  std::vector<double> sum(static_cast<std::size_t>(std::max(n, 0)), 0.0);
  for (int k = 1; k <= nsed; ++k) {
    for (int i = 1; i <= n; ++i) sum[i - 1] += table(i, k);
    check.real(number, 1, n, k, name, "GE", 0.0, column(table, k, n));
  }
  const std::string_view item(name, std::string_view(name).find('('));
  note_sum_places(places, item, sum_name, n, nsed);
  check.real(number, 1, n, 0, sum_name, "EQ", 1.0, ConstRealSection(sum), COMPOSITION_SUM_TOLERANCE);
}

void check_boundaries(SyChecks& check, InputPlaces& places, const FrameState& frame,
                      const SedimentState& s, int sfb, int srb) {
  const int nsyb = s.NSYB, nsed = s.NSED;
  const int flux = s.NSYC(1), flux_series = s.NSYC(2), rating = s.NSYC(3), rating_series = s.NSYC(4);
  check.scalar(2036, "NSYCEE", "GE", std::max(flux + flux_series, rating + rating_series), NSYCEE);

  std::vector<int> elements(static_cast<std::size_t>(nsyb)), categories(elements.size());
  for (int b = 1; b <= nsyb; ++b) {
    elements[b - 1] = s.NSYBCD(b, 1);
    categories[b - 1] = s.NSYBCD(b, 3);
  }
  int found = check.integer(2037, 1, nsyb, 0, "NSYBCD(bdry,1)", "GE", 1, ConstIntegerSection(elements));
  found += check.integer(2037, 1, nsyb, 0, "NSYBCD(bdry,1)", "LE", frame.NEL, ConstIntegerSection(elements));
  if (found == 0) {
    // The checks of a boundary element's faces name the boundary's row.
    const char* const face_checks[] = {"NBFACE[NSYBCD[*][1]]", "ICMREF[NSYBCD[*][1]][NBFACE][2]"};
    for (const char* item : face_checks) places.forget(item);
    for (int b = 1; b <= nsyb; ++b) {
      if (const FieldPlace* row = places.find("NSYBCD", b)) {
        const FieldPlace place = *row;
        for (const char* item : face_checks) places.note(item, b, 0, place);
      }
    }
    std::vector<int> faces(elements.size());
    for (int b = 1; b <= nsyb; ++b) faces[b - 1] = frame.NBFACE(elements[b - 1]);
    found = check.integer(2038, 1, nsyb, 0, "NBFACE[NSYBCD[*][1]](bdry)", "GE", 1, ConstIntegerSection(faces));
    found += check.integer(2038, 1, nsyb, 0, "NBFACE[NSYBCD[*][1]](bdry)", "LE", 4, ConstIntegerSection(faces));
    if (found == 0) {
      std::vector<int> beyond(elements.size());
      for (int b = 1; b <= nsyb; ++b) beyond[b - 1] = frame.ICMREF(elements[b - 1], faces[b - 1], 2);
      check.integer(2039, 1, nsyb, 0, "ICMREF[NSYBCD[*][1]][NBFACE][2](bdry)", "EQ", 0,
                    ConstIntegerSection(beyond));
    }
  }

  // Types 1 and 2 share one numbering of categories, 3 and 4 another.
  std::vector<int> first(elements.size()), last(elements.size());
  for (int b = 1; b <= nsyb; ++b) {
    switch (s.NSYBCD(b, 2)) {
      case 1: first[b - 1] = 1; last[b - 1] = flux; break;
      case 2: first[b - 1] = flux + 1; last[b - 1] = flux + flux_series; break;
      case 3: first[b - 1] = 1; last[b - 1] = rating; break;
      default: first[b - 1] = rating + 1; last[b - 1] = rating + rating_series; break;
    }
  }
  check.integer(2040, 1, nsyb, 0, "NSYBCD(bdry,3)", "GEa", ConstIntegerSection(first),
                ConstIntegerSection(categories));
  check.integer(2040, 1, nsyb, 0, "NSYBCD(bdry,3)", "LEa", ConstIntegerSection(last),
                ConstIntegerSection(categories));

  for (int c = 1; c <= std::min(flux, NSYCEE); ++c) {
    check.real(2041, 1, nsed, c, "GBC(sed,icat)", "GE", 0.0, ConstRealSection(&s.GBC(1, c), nsed));
  }
  for (int c = 1; c <= std::min(rating, NSYCEE); ++c) {
    check.real(2042, 1, nsed, c, "ABC(sed,icat)", "GE", 0.0, ConstRealSection(&s.ABC(1, c), nsed));
    check.real(2043, 1, nsed, c, "BBC(sed,icat)", "GT", 0.0, ConstRealSection(&s.BBC(1, c), nsed));
  }
  if (flux_series > 0) {
    check.scalar(2044, "SFB", "GE", 0, sfb);
    check.scalar(2045, "SRB", "GE", 0, srb);
  }
}

}  // namespace

void SY_CHECK_INPUT(const FrameState& frame, int ns, const SedimentState& s, int sfb, int srb,
                    RunIo& io) {
  SyChecks check(io);
  const int nel = frame.NEL, nlf = frame.NLF, nv = frame.NV, nsed = s.NSED;
  const int first = nlf + 1;  // the first column element

  check.scalar(2012, "NEPS", "GE", 1, s.NEPS);
  check.scalar(2013, "FPCRIT", "GE", 0.0, s.FPCRIT);
  check.scalar(2013, "DLSMAX", "GE", 0.0, s.DLSMAX);
  if (nlf > 0) {
    check.scalar(2014, "ISUSED", "GE", 0, s.ISUSED);
    check.scalar(2014, "ISUSED", "LE", 1, s.ISUSED);
    check.scalar(2015, "NFINE", "GE", 0, s.NFINE);
    check.scalar(2015, "NFINE", "LE", std::min(1, nsed - 1), s.NFINE);
    if (s.NFINE > 0) check.scalar(2016, "ALPHA", "GE", 0.0, s.ALPHA);
    check.scalar(2017, "DCBEDO", "GE", 0.0, s.DCBEDO);
  }
  // The channel capacity of a later step works through NLF entries per coarse group.
  const long long workspace = std::max({2LL * s.NSYB, static_cast<long long>(ns),
                                        static_cast<long long>(nlf) * std::max(nsed - s.NFINE, 0),
                                        static_cast<long long>(nsed)});
  check.scalar(2018, "NELEE", "GE", static_cast<int>(workspace), NELEE);

  if (NELEE >= std::max(nsed, ns)) {
    if (check.real(2019, 1, nsed, 0, "DRSED(sed)", "GT", 0.0, s.DRSED) == 0 && nsed > 1) {
      // Group sed against group sed - 1: the reference is the vector shifted by one.
      check.real(2019, 2, nsed, 0, "DRSED(sed)", "GEa", ConstRealSection(&s.DRSED(1), nsed - 1, 1, 2),
                 ConstRealSection(&s.DRSED(2), nsed - 1, 1, 2));
    }
    check.real(2020, 1, ns, 0, "GKR(soil)", "GE", 0.0, s.GKR);
    check.real(2021, 1, ns, 0, "GKF(soil)", "GE", 0.0, s.GKF);
    check.real(2022, 1, ns, 0, "RHOSO(soil)", "GT", 0.0, s.RHOSO);
    if (nlf > 0) check.real(2023, 1, ns, 0, "BKB(soil)", "GE", 0.0, s.BKB);
    check_compositions(check, io.places, 2024, "SOSDFN(soil,sed)", "SOSDFN[*][sum_over_sed](soil)", s.SOSDFN,
                       ns, nsed);
    check.real(2025, 1, nv, 0, "XDRIP(veg)", "GE", 0.0, s.XDRIP);
    check.real(2026, 1, nv, 0, "DRDRIP(veg)", "GT", 0.0, s.DRDRIP);
    check.real(2027, 1, nv, 0, "FDRIP(veg)", "GE", 0.0, s.FDRIP);
  }

  if (nlf > 0) {
    check.integer(2028, 1, nlf, 0, "NTSOBK(link)", "GE", 1, s.NTSOBK);
    check.integer(2028, 1, nlf, 0, "NTSOBK(link)", "LE", ns, s.NTSOBK);
    check.real(2029, 1, nlf, 0, "PBSED(link)", "GE", 0.0, s.PBSED);
    check.real(2029, 1, nlf, 0, "PBSED(link)", "LT", 1.0, s.PBSED);
  }
  // A negative cover fraction would widen the ground open to detachment without a word:
  // both fractions are also checked against zero.
  check.real(2030, first, nel, 0, "FCROCK(iel)", "GE", 0.0, s.FCROCK);
  check.real(2030, first, nel, 0, "FCROCK(iel)", "LE", 1.0, s.FCROCK);
  check.real(2031, first, nel, 0, "FCG(iel)", "GE", 0.0, s.FCG);
  Array1<double> open_ground(nel, 0.0);
  for (int e = first; e <= nel; ++e) open_ground(e) = 1.0 - s.FCROCK(e);
  check.real(2031, first, nel, 0, "FCG(iel)", "LEa", open_ground, s.FCG);
  check.real(2032, first, nel, 0, "PLS(iel)", "GE", 0.0, s.PLS);
  check.real(2032, first, nel, 0, "PLS(iel)", "LT", 1.0, s.PLS);
  check.real(2033, 1, nel, 0, "DLS(iel)", "GE", 0.0, s.DLS);
  check_compositions(check, io.places, 2034, "FBETA(iel,sed)", "FBETA[*][sum_over_sed](iel)", s.FBETA, nel, nsed);
  for (int k = 1; k <= nsed; ++k) {
    check.real(2035, 1, nel, k, "FDEL(iel,sed)", "GE", 0.0, column(s.FDEL, k, nel));
  }

  if (s.NSYB > 0 && NELEE >= 2 * s.NSYB) check_boundaries(check, io.places, frame, s, sfb, srb);

  if (check.count > 0) {
    REPORT_ERROR(io, SEVERITY_FATAL, 2000, SY_PRINT_UNIT, 0, 0,
                 "Error(s) detected while checking SY input data");
  }
  // These are the last checks that ask where values were read.
  io.places.clear();
}

}  // namespace quendal
