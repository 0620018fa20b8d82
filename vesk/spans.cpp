#include "spans.h"

#include <algorithm>
#include <cstdlib>

bool addSpanStart(SpanStarts& starts, std::uint64_t start)
{
    if (starts.count == starts.capacity) {
        // The table grows with the records that the archive really holds.
        std::size_t capacity = starts.capacity ? 2 * starts.capacity : 1024;
        void* grown = std::realloc(starts.positions, capacity * sizeof *starts.positions);
        if (!grown)
            return false;
        starts.positions = static_cast<std::uint64_t*>(grown);
        starts.capacity = capacity;
    }
    starts.positions[starts.count++] = start;
    return true;
}

bool sortSpanStarts(SpanStarts& starts)
{
    std::sort(starts.positions, starts.positions + starts.count);
    starts.covered = static_cast<unsigned char*>(std::calloc(starts.count + 1, 1));
    return starts.covered != nullptr;
}

bool claimSpan(SpanStarts& starts, std::uint64_t start, std::uint64_t end)
{
    std::uint64_t* positionsEnd = starts.positions + starts.count;
    std::uint64_t* first = std::lower_bound(starts.positions, positionsEnd, start);
    // A start that was not added has no mark to tell whether a stretch
    // holds it: refused, as no walk asks for one.
    if (first == positionsEnd || *first != start)
        return false;
    std::size_t from = std::size_t(first - starts.positions);
    std::size_t to = std::size_t(std::lower_bound(first, positionsEnd, end) - starts.positions);
    for (std::size_t i = from; i < to; ++i)
        if (starts.covered[i])
            return false;
    for (std::size_t i = from; i < to; ++i)
        starts.covered[i] = 1;
    return true;
}

void forgetClaimedSpans(SpanStarts& starts)
{
    std::free(starts.positions);
    std::free(starts.covered);
    starts = SpanStarts{};
}
