// Where each channel link's stream bed lies in the soil columns of its two banks, and
// which cells of neighbouring columns face each other over every face.
//
// A link carries its contaminant in three compartments: the channel water, the bed's
// surface layer and its deep layer. The bed is not a stack of its own: it is the part of
// the two bank columns between the channel bed level (bank cell LINK_BED_CELL and the
// share LINK_BED_CELL_FRACTION of the cell above) and the bed depth CM_BED_DEPTH below
// it. Set up once, when contaminants first become due: the column transport reads the
// connection lists, the column set-up the bed bottom, the link set-up and transport the
// areas and the initial bed state.
#pragma once

#include "include/contaminant_state.h"
#include "include/frame_state.h"
#include "include/run_io.h"
#include "include/sediment_state.h"
#include "include/subsurface_state.h"
#include "include/surface_state.h"

namespace quendal {

// A link geometry the bed layout cannot carry (too few cells, an empty bed layer, a bed
// reaching the bottom of its bank, a bank cell with no link counterpart).
constexpr int CM_BED_GEOMETRY_ERROR = 3010;
// A connection weight of a whole face; CM_CONNECTION_WEIGHT_UNIT is its inverse.
constexpr int CM_WHOLE_FACE_WEIGHT = 32500;

// CM_CELL_THICKNESS_SCALED of every element, and for every column element and face the
// connection list: CM_FACE_CELL_START (cell 1..LL + 1), CM_FACE_CELL_LIST,
// CM_FACE_CELL_OWN and CM_FACE_CELL_WEIGHT. A cell with no connection over a face has
// an empty run (its start entry is that of the next cell up).
void build_connection_lists(const FrameState& frame, const SubsurfaceState& subsurface,
                            ContaminantState& cm);

// For every link: CM_BANK_ELEMENT, CM_BED_BOTTOM_CELL and CM_BED_BOTTOM_FRACTION of both
// sides, CM_SURFACE_LAYER_AREA, CM_BED_AREA_BASE and CM_BANK_EXCHANGE_CELL. Needs the
// connection lists. A geometry that leaves a bed layer empty or would read a cell that
// does not exist is fatal CM_BED_GEOMETRY_ERROR on the contaminant print file, naming
// the link and the side.
void set_up_link_bed_geometry(const FrameState& frame, const SurfaceState& surface,
                              const SubsurfaceState& subsurface, ContaminantState& cm,
                              RunIo& io);

// The state the first link step reads as its previous one: bed moisture
// (CM_LINK_BED_THETA and _OLD), bed composition by size group
// (CM_LINK_BED_FRACTIONS_PREVIOUS), the link entries of CM_FDEL_PREVIOUS,
// CM_LINK_BED_SIZE_SHARE_PREVIOUS, and the stored water and bed areas. Needs the bed
// geometry, CM_LINK_BED_SOIL and the sediment description.
void set_initial_bed_state(const FrameState& frame, const SurfaceState& surface,
                           const SubsurfaceState& subsurface, const SedimentState& sediment,
                           ContaminantState& cm);

// The bank element on `side` (1 or 2) of `link`: the last neighbour over faces 1 to 4
// whose kind is that side; 0 when there is none.
int link_bank_element(const FrameState& frame, int link, int side);

// Bank weight r = w / (0.5 CWIDTH + w) of a bank element, w = AREA / CLENTH its width
// across its link: its share of the widened column below the stream bed, which also
// takes in the half of the link's own column on its side.
double bank_weight(const FrameState& frame, const SurfaceState& surface, int bank);

// Share of a bank element in the plan area of its cell k (k >= b - 1, b its bottom cell),
// with bank weight r and its link's bed bottom (cell cB, fraction y of cell cB + 1 below
// the bed): r for cells b - 1 to cB, 1 - (1 - r) y at cell cB + 1 (or at b - 1 when cB lies
// lower), 1 above.
double bank_cell_weight(double r, int bed_bottom_cell, double bed_bottom_fraction,
                        int bottom_cell, int k);

}  // namespace quendal
