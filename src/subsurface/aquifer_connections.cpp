#include "subsurface/aquifer_connections.h"

#include <algorithm>
#include <array>
#include <string>

#include "include/dimensions.h"
#include "services/error_reporting.h"
#include "services/formatted_writer.h"
#include "services/units.h"

namespace quendal {
namespace {

// The connection of one layer to the layers of a neighbour: not given, given as none,
// or a range of the neighbour's layers.
struct Range {
  int lowest = -1;  // -1 unset, 0 none, else the first layer
  int highest = 0;
  bool unset() const { return lowest < 0; }
  bool none() const { return lowest == 0; }
  bool layers() const { return lowest > 0; }
  int code() const { return layers() ? lowest * 21 + highest : 0; }
};

using Ranges = std::array<Range, NLYREE + 1>;  // layers 1..NLYREE

std::string i_text(long long v, int w) { return edit_integer(v, w); }

class Matcher {
 public:
  Matcher(const FrameState& frame, SubsurfaceState& vss, RunIo& io)
      : f_(frame), v_(vss), io_(io) {}

  void pair(int i, int d, int h, int m);

 private:
  const FrameState& f_;
  SubsurfaceState& v_;
  RunIo& io_;
  Ranges ri_, rh_;

  // Adds layer `value` of the other element to `r`; false (with the error text) when
  // it contradicts what was given before.
  bool add(Range& r, int value, int own, int layer, int other, int entry, std::string& error) {
    if (r.unset()) {
      r.lowest = value == 0 ? 0 : value;
      r.highest = value;
      return true;
    }
    if (r.none() || value == 0) {
      const int x = r.none() ? value : r.highest;
      error = "Invalid null connection, element" + i_text(own, 5) + ":" + " layer" +
              i_text(layer, 3) + " already connected to layer" + i_text(x, 3) + ", element" +
              i_text(other, 5) + " (see IAQCON entry" + i_text(entry, 3) + ")";
      return false;
    }
    r.lowest = std::min(r.lowest, value);
    r.highest = std::max(r.highest, value);
    return true;
  }
  void apply_entries(int i, int h);
  int top_aquifer_layer(int e) const;
  void walk(int i, int d, int h, int m);
};

void Matcher::apply_entries(int i, int h) {
  const int ni = v_.NLYR(i), nh = v_.NLYR(h);
  for (int j = 1; j <= v_.IAQCON_COUNT; ++j) {
    int g, hl;
    if (v_.IAQCON(1, j) == i && v_.IAQCON(3, j) == h) {
      g = v_.IAQCON(2, j);
      hl = v_.IAQCON(4, j);
    } else if (v_.IAQCON(1, j) == h && v_.IAQCON(3, j) == i) {
      g = v_.IAQCON(4, j);
      hl = v_.IAQCON(2, j);
    } else {
      continue;
    }
    std::string error;
    auto out_of_range = [&](int layer, int e, int n) {
      error = "Layer" + i_text(layer, 3) + " out of range, IAQCON entry" + i_text(j, 3) +
              " (element" + i_text(e, 5) + " has" + i_text(n, 3) + " layers)";
    };
    int named = i;
    if (g < 0 || g > ni) {
      out_of_range(g, i, ni);
    } else if (hl < 0 || hl > nh) {
      out_of_range(hl, h, nh);
      named = h;
    } else if (g > 0 && !add(ri_[g], hl, i, g, h, j, error)) {
    } else if (hl > 0 && !add(rh_[hl], g, h, hl, i, j, error)) {
      named = h;
    }
    if (!error.empty()) {
      REPORT_ERROR(io_, SEVERITY_ERROR, 1038, PRINT_UNIT, named, 0, error);
      ++v_.VSS_ERROR_COUNT;
    }
  }
}

// The highest layer whose bottom lies below the near-surface zone; 0 when none does.
int Matcher::top_aquifer_layer(int e) const {
  const double limit = f_.ZGRUND(e) - 1e-6 - v_.VSS_SURFACE_ZONE_DEPTH;
  for (int w = v_.NLYR(e); w >= 1; --w) {
    if (v_.LAYER_BOTTOM_LEVEL(e, w) < limit) return w;
  }
  return 0;
}

void Matcher::walk(int i, int d, int h, int m) {
  Array3<int>& code = v_.LAYER_FACE_CONNECTION;
  auto soil = [&](int e, int layer) {
    return layer >= 1 && layer <= v_.NLYR(e) ? v_.NTSOIL(e, layer) : 0;
  };
  int w = top_aquifer_layer(i), n = top_aquifer_layer(h);
  while (w > 0 && n > 0) {
    if (ri_[w].none()) {
      --w;
    } else if (rh_[n].none() || (rh_[n].unset() && !ri_[w].unset())) {
      --n;
    } else if (ri_[w].unset() && !rh_[n].unset()) {
      --w;
    } else if (!ri_[w].unset()) {
      // A group given by the IAQCON entries.
      int lo_i = ri_[w].lowest, lo_h = rh_[n].lowest;
      do {
        if (w >= lo_h) {
          for (int layer = w; layer >= lo_h; --layer) {
            code(i, layer, d) = ri_[layer].code();
            if (ri_[layer].layers()) lo_i = std::min(lo_i, ri_[layer].lowest);
          }
          w = lo_h - 1;
        }
        if (n >= lo_i) {
          for (int layer = n; layer >= lo_i; --layer) {
            code(h, layer, m) = rh_[layer].code();
            if (rh_[layer].layers()) lo_h = std::min(lo_h, rh_[layer].lowest);
          }
          n = lo_i - 1;
        }
      } while (lo_h <= w);
    } else {
      // Default rule: follow the soil types down both columns.
      const int j_soil = soil(i, w), k_soil = soil(h, n);
      if (j_soil == k_soil) {
        code(i, w, d) = n * 22;
        code(h, n, m) = w * 22;
        --w;
        --n;
        continue;
      }
      int wi = 0;
      for (int layer = w - 1; layer >= 1 && wi == 0; --layer) {
        if (soil(i, layer) == k_soil || !ri_[layer].unset()) wi = layer;
      }
      int nh = 0;
      for (int layer = n - 1; layer >= 1 && nh == 0; --layer) {
        if (soil(h, layer) == j_soil || !rh_[layer].unset()) nh = layer;
      }
      const int di = w - wi, dh = n - nh;
      const bool prefer_h =
          nh > 0 && (dh < di || (dh == di && (j_soil == soil(i, w + 1) || k_soil != soil(h, n + 1))));
      if (prefer_h && rh_[nh].unset()) {
        n = nh;
      } else if (wi > 0 && ri_[wi].unset()) {
        w = wi;
      } else {
        --w;
        --n;
      }
    }
  }
}

void Matcher::pair(int i, int d, int h, int m) {
  ri_.fill(Range{});
  rh_.fill(Range{});
  apply_entries(i, h);
  walk(i, d, h, m);
}

}  // namespace

void VSS_SET_UP_AQUIFER_CONNECTIONS(const FrameState& frame, SubsurfaceState& vss, RunIo& io) {
  const int nel = frame.NEL;
  const int first = frame.BANKS_ON ? 1 : frame.NLF + 1;
  vss.LAYER_FACE_CONNECTION.resize(nel, NLYREE, 4, 0);
  Array1<char> done(nel, 0);
  Matcher matcher(frame, vss, io);
  for (int i = first; i <= nel; ++i) {
    const bool i_link = frame.ICMREF(i, 1, 1) == KIND_CHANNEL_LINK;
    for (int d = 1; d <= 4; ++d) {
      const int h = frame.ICMREF(i, d, 2);
      if (h < first) continue;
      if (i_link && frame.ICMREF(h, 1, 1) != KIND_CHANNEL_LINK) continue;
      if (done(h)) continue;
      matcher.pair(i, d, h, frame.ICMREF(i, d, 3));
    }
    done(i) = 1;
  }
}

}  // namespace quendal
