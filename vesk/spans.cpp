#include "spans.h"

#include <cstring>

namespace {

struct Span {
    std::uint64_t start;
    std::uint64_t end;
};

// Claimed stretches in archive order, none sharing a byte. A new stretch
// that touches one joins it, so that an archive whose entries lie one after
// the other takes a single span. Full, the table joins a new stretch to its
// nearest neighbour over the gap between them: the gap then counts as
// claimed, which can refuse an entry lying in it but never lets two entries
// share a byte.
constexpr int spanCapacity = 1024;
Span spans[spanCapacity];
int spanCount;

}  // namespace

void forgetClaimedSpans()
{
    spanCount = 0;
}

bool claimSpan(std::uint64_t start, std::uint64_t end)
{
    // The first span that ends at or after `start`: spans before it end
    // before the new one begins.
    int low = 0;
    int high = spanCount;
    while (low < high) {
        int middle = (low + high) / 2;
        if (spans[middle].end < start)
            low = middle + 1;
        else
            high = middle;
    }
    bool joinsLeft = low < spanCount && spans[low].end == start;
    int right = joinsLeft ? low + 1 : low;  // the first span that may overlap
    if (right < spanCount && spans[right].start < end)
        return false;
    bool joinsRight = right < spanCount && spans[right].start == end;

    if (joinsLeft && joinsRight) {
        spans[low].end = spans[right].end;
        std::memmove(spans + right, spans + right + 1, sizeof(Span) * std::size_t(spanCount - right - 1));
        --spanCount;
    } else if (joinsLeft) {
        spans[low].end = end;
    } else if (joinsRight) {
        spans[right].start = start;
    } else if (spanCount < spanCapacity) {
        std::memmove(spans + right + 1, spans + right, sizeof(Span) * std::size_t(spanCount - right));
        spans[right] = {start, end};
        ++spanCount;
    } else if (right == spanCount
               || (right > 0 && start - spans[right - 1].end <= spans[right].start - end)) {
        spans[right - 1].end = end;
    } else {
        spans[right].start = start;
    }
    return true;
}
