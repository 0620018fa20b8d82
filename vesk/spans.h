// The stretches of the archive that the entries of one unzip call have
// taken, each from its local header to the end of its data: no two entries
// may share a byte, so that records pointing into one another's data cannot
// multiply what the archive holds.
#ifndef VESK_SPANS_H
#define VESK_SPANS_H

#include <cstddef>
#include <cstdint>

// Every record's local-header position, sorted, and for each whether a
// claimed stretch covers it. A stretch covers the positions that lie in it,
// its own first. Two stretches share a byte exactly when one of them holds
// the other's start, so a new stretch is free when no position in it is
// covered yet, including its own: an earlier stretch around it covers that.
// Marking costs the positions a stretch holds, and claimed stretches hold
// different ones, so a whole walk costs one pass over the positions (and a
// sort) whatever the order of the records. Empty when zeroed, as the walk
// starts it.
struct SpanStarts {
    std::uint64_t* positions;
    unsigned char* covered;
    std::size_t count;
    std::size_t capacity;
};

// Before the first entry is claimed, the local-header position of every
// record, in any order, then sortSpanStarts. False when there is no memory
// for them.
bool addSpanStart(SpanStarts& starts, std::uint64_t start);
bool sortSpanStarts(SpanStarts& starts);

// Claims the archive bytes from `start`, a position added before, up to
// `end` (not included) for an entry; false, claiming nothing, when any of
// them has been claimed before.
bool claimSpan(SpanStarts& starts, std::uint64_t start, std::uint64_t end);

// Forgets the positions and claims and gives their memory back.
void forgetClaimedSpans(SpanStarts& starts);

#endif
