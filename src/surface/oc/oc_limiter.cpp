#include "surface/oc/oc_limiter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>

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


bool is_dry(const FrameState& frame, const Array1<double>& H, int e) {
  return H(e) - frame.ZGRUND(e) < OC_NEARLY_DRY_DEPTH;
}

// Sizes the work for the catchment and finds its junction nodes: every link end at a
// node has its own entry of ICMRF2, and the entries of one node list each other's
// links, so the lowest entry among an entry and those of the links it lists names the
// node. Done again only when the element or entry count changes.
void prepare(const FrameState& frame, OcLimiterWork& w) {
  const int nel = frame.NEL;
  const int entries = frame.ICMRF2.empty() ? 0 : static_cast<int>(frame.ICMRF2.extent(1));
  if (w.in_this_round.size() == nel && w.node_of_entry.size() == entries) return;
  w.in_this_round.resize(nel, 0);
  w.in_next_round.resize(nel, 0);
  w.uphill_repaired.resize(nel, 4, 0);
  w.this_round.reserve(static_cast<std::size_t>(nel));
  w.next_round.reserve(static_cast<std::size_t>(nel));

  // The link end that carries each entry, and each entry's lowest fellow.
  Array1<int> owner(entries, 0), owner_face(entries, 0), key(entries, 0);
  for (int e = 1; e <= nel; ++e) {
    for (int f = 1; f <= 4; ++f) {
      const int J = -frame.ICMREF(e, f, 2);
      if (J >= 1 && J <= entries) {
        owner(J) = e;
        owner_face(J) = f;
      }
    }
  }
  for (int J = 1; J <= entries; ++J) {
    key(J) = J;
    for (int k = 1; k <= 3; ++k) {
      const int link = frame.ICMRF2(J, k);
      if (link < 1) continue;
      const int Jk = -frame.ICMREF(link, frame.ICMRF2(J, k + 3), 2);
      if (Jk >= 1 && Jk <= entries) key(J) = std::min(key(J), Jk);
    }
  }
  w.node_of_entry.resize(entries, 0);
  w.junction_nodes = 0;
  for (int J = 1; J <= entries; ++J) {
    w.node_of_entry(J) = key(J) == J ? ++w.junction_nodes : 0;
  }
  for (int J = 1; J <= entries; ++J) w.node_of_entry(J) = w.node_of_entry(key(J));
  w.node_links.resize(4, std::max(w.junction_nodes, 1), 0);
  w.node_faces.resize(4, std::max(w.junction_nodes, 1), 0);
  for (int J = 1; J <= entries; ++J) {
    const int n = w.node_of_entry(J);
    if (n < 1 || owner(J) == 0) continue;
    for (int m = 1; m <= 4; ++m) {
      if (w.node_links(m, n) != 0) continue;
      w.node_links(m, n) = owner(J);
      w.node_faces(m, n) = owner_face(J);
      break;
    }
  }
  const int nodes = nel + w.junction_nodes;
  w.search_state.resize(nodes, 0);
  w.next_edge.resize(nodes, 0);
  w.place.resize(nodes, 0);
  w.path.reserve(static_cast<std::size_t>(nodes));
}

// The circulation graph. Its edges leave a node in order k = 1..4: over face k of an
// element, or to the k-th member link of a junction. The flow of edge k of node v when
// it is an edge (> 0, with its head in `to`), else 0.
double edge_flow(const FrameState& frame, const Array1<double>& H, const Array2<double>& Q,
                 const OcLimiterWork& w, int v, int k, int& to) {
  const int nel = frame.NEL;
  if (v <= nel) {
    const double X = Q(v, k);
    if (!(X < 0.0)) return 0.0;
    const int g = frame.ICMREF(v, k, 2);
    if (g > 0) {
      if (!is_dry(frame, H, g)) return 0.0;
      to = g;
    } else if (g < 0) {
      to = nel + w.node_of_entry(-g);
    } else {
      return 0.0;  // the catchment boundary
    }
    return -X;
  }
  const int n = v - nel;
  const int link = w.node_links(k, n);
  if (link == 0 || !is_dry(frame, H, link)) return 0.0;
  const double q = Q(link, w.node_faces(k, n));
  if (!(q > 0.0)) return 0.0;
  to = link;
  return q;
}

// Takes c off the flow of edge k of node v; `gone` sets it to exactly 0.
void reduce_edge(const FrameState& frame, Array2<double>& Q, const OcLimiterWork& w, int v, int k,
                 double c, bool gone) {
  const int nel = frame.NEL;
  if (v <= nel) {
    Q(v, k) = gone ? 0.0 : Q(v, k) + c;
    const int g = frame.ICMREF(v, k, 2);
    if (g > 0) {
      const int h = frame.ICMREF(v, k, 3);
      Q(g, h) = gone ? 0.0 : Q(g, h) - c;
    }
    return;
  }
  const int n = v - nel;
  double& q = Q(w.node_links(k, n), w.node_faces(k, n));
  q = gone ? 0.0 : q - c;
}

// Messages of the repairs of a round that are made only if it turns out to be the last.
void pend(OcLimiterWork& w, int number, int element, int face, double a, double b, double c) {
  w.pending.push_back({number, element, face, a, b, c});
}
void report(const std::vector<OcPendingReport>& reports, RunIo& io) {
  for (const OcPendingReport& r : reports) {
    if (r.number == 1030) {
      report_reduced_outflow(io, r.element, r.a, r.b, r.face, r.c);
    } else {
      report_dried(io, r.element, r.a, r.b, r.c);
    }
  }
}

}  // namespace

long OC_CANCEL_DRY_CIRCULATIONS(const FrameState& frame, const Array1<double>& H,
                                Array2<double>& Q, OcLimiterWork& w) {
  prepare(frame, w);
  const int nel = frame.NEL;
  long cancelled = 0;
  w.search_state.fill(0);
  std::vector<int>& path = w.path;
  auto reach = [&](int v) {
    w.search_state(v) = 1;
    w.next_edge(v) = 1;
    w.place(v) = static_cast<int>(path.size());
    path.push_back(v);
  };
  for (int root = 1; root <= nel; ++root) {
    if (w.search_state(root) != 0 || !is_dry(frame, H, root)) continue;
    path.clear();
    reach(root);
    while (!path.empty()) {
      const int v = path.back();
      if (w.next_edge(v) > 4) {
        w.search_state(v) = 2;
        path.pop_back();
        continue;
      }
      const int k = w.next_edge(v)++;
      int to = 0;
      if (!(edge_flow(frame, H, Q, w, v, k, to) > 0.0)) continue;
      if (w.search_state(to) == 0) {
        reach(to);
        continue;
      }
      if (w.search_state(to) == 2) continue;  // no cycle runs through a node done

      // A cycle: from `to` along the path to v and back to `to`. Each node's edge on it
      // is the one just before its next edge.
      const std::size_t first = static_cast<std::size_t>(w.place(to));
      double c = INFINITY;
      for (std::size_t i = first; i < path.size(); ++i) {
        int next = 0;
        c = std::min(c, edge_flow(frame, H, Q, w, path[i], w.next_edge(path[i]) - 1, next));
      }
      std::size_t gone = path.size();
      for (std::size_t i = first; i < path.size(); ++i) {
        const int u = path[i], ku = w.next_edge(u) - 1;
        int next = 0;
        const bool zero = edge_flow(frame, H, Q, w, u, ku, next) == c;
        reduce_edge(frame, Q, w, u, ku, c, zero);
        if (zero && gone == path.size()) gone = i;
      }
      ++cancelled;
      // The search resumes at the first node of the cycle whose edge is gone, with its
      // next edge; the nodes after it on the path are to be reached again.
      while (path.size() > gone + 1) {
        w.search_state(path.back()) = 0;
        path.pop_back();
      }
    }
  }
  return cancelled;
}

void OC_REPORT_LIMITER_WARNINGS(const OcLimiterWork& work, RunIo& io) { report(work.created, io); }

bool OC_LIMIT_OUTFLOWS(const FrameState& frame, const OcLinkSections& sections, double step,
                       Array1<double>& H, Array2<double>& Q, OcLimiterWork& work, RunIo& io,
                       bool last_resort, int visits_per_element) {
  const int nel = frame.NEL;
  prepare(frame, work);
  work.uphill_repaired.fill(0);
  work.in_this_round.fill(0);
  work.in_next_round.fill(0);
  work.this_round.clear();
  work.next_round.clear();
  work.created.clear();
  work.calls += 1;
  // Moves `volume` m3 into element e (out of it when negative) and returns its new level.
  auto move = [&](int e, double level, double volume) {
    return OC_LEVEL_AFTER_VOLUME_CHANGE(frame, sections, e, level, volume);
  };

  // The work lists. An element marked ahead of the one being visited joins this round,
  // any other the next.
  int position = 0;
  bool every_element = true;
  auto mark = [&](int e) {
    if (e > position) {
      if (every_element) return;  // the first round visits it anyway
      if (work.in_this_round(e)) return;
      work.in_this_round(e) = 1;
      work.this_round.push_back(e);
      std::push_heap(work.this_round.begin(), work.this_round.end(), std::greater<int>());
    } else if (!work.in_next_round(e)) {
      work.in_next_round(e) = 1;
      work.next_round.push_back(e);
    }
  };
  // An element and every element coupled to it: its neighbours and the links of its
  // junctions.
  auto mark_with_coupled = [&](int e) {
    mark(e);
    for (int f = 1; f <= 4; ++f) {
      const int g = frame.ICMREF(e, f, 2);
      if (g > 0) {
        mark(g);
      } else if (g < 0) {
        for (int k = 1; k <= 3; ++k) {
          if (frame.ICMRF2(-g, k) != 0) mark(frame.ICMRF2(-g, k));
        }
      }
    }
  };

  const long visit_limit = static_cast<long>(visits_per_element) * nel;
  long visits = 0;
  int round = 0;
  int changed_partners[12];
  while (true) {
    ++round;
    bool clean = true;
    bool circulations_cancelled = round == 1;
    work.pending.clear();
    every_element = round == 1;
    position = 0;
    while (true) {
      int M;
      if (every_element) {
        if (position == nel) break;
        M = position + 1;
      } else {
        if (work.this_round.empty()) break;
        std::pop_heap(work.this_round.begin(), work.this_round.end(), std::greater<int>());
        M = work.this_round.back();
        work.this_round.pop_back();
        work.in_this_round(M) = 0;
      }
      position = M;
      ++visits;

      double O = H(M);
      const double d = O - frame.ZGRUND(M);
      const double P = step / OC_STORAGE_AREA(frame, sections, M, O);

      // A nearly dry element (this covers every negative depth) scales the flows that
      // move its depth away from zero so that, together, they would just bring its
      // volume to zero over the step.
      const bool nearly_dry = d < OC_NEARLY_DRY_DEPTH && IS_NON_ZERO(d);
      double s = 1.0, f = 0.0, T = 0.0;
      bool changed = false;
      int partners_changed = 0;
      if (nearly_dry) {
        const double S = -OC_SURFACE_VOLUME(frame, sections, M, O) / step;
        s = S >= 0.0 ? 1.0 : -1.0;
        // Before the round's first repair of a nearly dry element (a depth below zero
        // is always repaired, a tiny one when an inflow can take it back), the dry
        // elements' circulations go.
        if (!circulations_cancelled) {
          bool repairs = d < 0.0;
          for (int j = 1; j <= 4; ++j) repairs = repairs || s * Q(M, j) < 0.0;
          if (repairs) {
            work.cancelled_circulations += OC_CANCEL_DRY_CIRCULATIONS(frame, H, Q, work);
            circulations_cancelled = true;
          }
        }
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
          if (share != 0.0) changed_partners[partners_changed++] = N;
        }
        if (!nearly_dry) pend(work, 1030, M, j, -X, delta, 0.0);
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
        if (created > 0.0 && created_depth > OC_REPAIR_REPORT_DEPTH) {
          work.created.push_back({1024, M, 0, d, 0.0, created_depth});
        } else if (changed) {
          pend(work, 1024, M, 0, d, 0.0, created_depth);
        }
      }
      H(M) = O;
      if (changed) {
        clean = false;
        mark_with_coupled(M);
        for (int n = 0; n < partners_changed; ++n) mark_with_coupled(changed_partners[n]);
      }
    }
    if (clean) break;
    if (visits >= visit_limit) {
      if (!last_resort) return false;
      report(work.created, io);
      report(work.pending, io);
      // Where water is still missing: the element deepest below its ground.
      int deepest = 0;
      double deficit = 0.0;
      for (int e = 1; e <= nel; ++e) {
        const double below = frame.ZGRUND(e) - H(e);
        if (below > deficit) {
          deficit = below;
          deepest = e;
        }
      }
      std::string detail = "Largest deficit";
      detail += general(deficit, 15);
      detail += " m at element";
      detail += edit_integer(deepest, 7);
      detail += " after";
      detail += edit_integer(round, 7);
      detail += " rounds";
      report_fatal_with_detail(io, 1060, PRINT_UNIT, 0, "OC flow criteria could not be met", detail);
    }
    // The next round: the elements marked behind the last visit, lowest first.
    std::swap(work.this_round, work.next_round);
    std::swap(work.in_this_round, work.in_next_round);
    std::make_heap(work.this_round.begin(), work.this_round.end(), std::greater<int>());
  }
  work.largest_rounds = std::max(work.largest_rounds, round);
  work.largest_visits = std::max(work.largest_visits, visits);
  if (last_resort) report(work.created, io);
  return true;
}

}  // namespace quendal
