// The fast path of a compressed block: the bulk of its symbols, decoded while
// the input's stretch and the piece of the window are far from their ends.
#ifndef VESK_INFLATE_FAST_LOOP_H
#define VESK_INFLATE_FAST_LOOP_H

#include "inflate.h"

// Decodes symbols with the block's tables until the input's stretch or the
// window's piece comes near its end, or the block ends; true when it ended. The
// careful loop in blocks.cpp takes over near the ends, one symbol at a time.
bool decodeFast(Decoder& decoder);

#endif
