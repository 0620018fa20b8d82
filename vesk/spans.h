// The stretches of the archive that the entries of one unzip call have
// taken, each from its local header to the end of its data: no two entries
// may share a byte, so that records pointing into one another's data cannot
// multiply what the archive holds.
#ifndef VESK_SPANS_H
#define VESK_SPANS_H

#include <cstdint>

// Before the first entry is claimed, the local-header position of every
// record, in any order, then sortSpanStarts. False when there is no memory
// for them.
bool addSpanStart(std::uint64_t start);
bool sortSpanStarts();

// Claims the archive bytes from `start`, a position added before, up to
// `end` (not included) for an entry; false, claiming nothing, when any of
// them has been claimed before.
bool claimSpan(std::uint64_t start, std::uint64_t end);

// Forgets the positions and claims and gives their memory back.
void forgetClaimedSpans();

#endif
