// Fixed maximum sizes of a catchment. Storage is sized to the run; these remain as the
// limits that the data readers check and report.
#pragma once

namespace quendal {

constexpr int NELEE = 40000;              // elements
constexpr int NLFEE = 10000;              // channel links
constexpr int NXEE = 400;                 // grid columns
constexpr int NLYREE = 20;                // soil layers per element
constexpr int NSEE = 1000;                // soil types
constexpr int NVEE = 200;                 // vegetation types
constexpr int MET_SITE_ROOM = 200;        // met sites, and rain stations
constexpr int NSEDEE = 7;                 // sediment size groups
constexpr int MAX_CELLS_PER_COLUMN = 50;  // cells per column
constexpr int CM_MAX_CONTAMINANTS = 3;    // contaminants

}  // namespace quendal
