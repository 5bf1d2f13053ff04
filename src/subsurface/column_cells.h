// A column's run of a per-cell array, read and written in place. The per-cell arrays
// (cell k, element e) keep a column's cells next to each other, and the per-face ones
// (face, k, e) its four faces of a cell and then the next cell's.
#pragma once

#include "include/arrays.h"
#include "include/frame_state.h"

namespace quendal {

// Column e's run of a per-cell array (k, e), cells kb..ll: cell k is entry k - kb.
template <class T>
class Cells {
 public:
  template <class A>
  Cells(A& a, int e, int kb, int ll) : first_(&a(kb, e)), kb_(kb), ll_(ll) {}
  T& operator[](int k) const {
    QUENDAL_BOUNDS(1, k, kb_, ll_);
    return first_[k - kb_];
  }

 private:
  T* first_;
  int kb_, ll_;
};

// The same for a per-face, per-cell array (face, k, e) of four faces.
template <class T>
class FaceCells {
 public:
  template <class A>
  FaceCells(A& a, int e, int kb, int ll) : first_(&a(1, kb, e)), kb_(kb), ll_(ll) {
    QUENDAL_BOUNDS(1, a.extent(1), 4, 4);
  }
  T& operator()(int j, int k) const {
    QUENDAL_BOUNDS(1, j, 1, 4);
    QUENDAL_BOUNDS(2, k, kb_, ll_);
    return first_[(j - 1) + 4 * (k - kb_)];
  }

 private:
  T* first_;
  int kb_, ll_;
};

// The width of element e across its face j: the sum of the node-to-face distances of
// the two faces at right angles to j. A cell's contact area on face j is its thickness
// times this width (CELL_FACE_AREA); the column solver takes it that way rather than
// reading the stored areas, which would cost it four times the memory traffic of the
// thicknesses.
inline double face_width(const FrameState& frame, int e, int j) {
  return j == 1 || j == 3 ? frame.DHF(e, 2) + frame.DHF(e, 4) : frame.DHF(e, 1) + frame.DHF(e, 3);
}

}  // namespace quendal
