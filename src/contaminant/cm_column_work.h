// Work values of the column set-up, overwritten column by column: the set-up of an
// element fills them and the transport of the same element reads them.
#pragma once

namespace quendal {

struct ContaminantColumnWork {};

}  // namespace quendal
