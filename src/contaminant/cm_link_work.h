// The link work record, overwritten link by link: the link set-up fills it, the link
// transport completes it per contaminant and the link balance consumes it.
#pragma once

namespace quendal {

struct ContaminantLinkWork {};

}  // namespace quendal
