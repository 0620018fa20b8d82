// Every decoding failure abandons the stream at once and returns, by
// longjmp, to the point that inflateBlock sets in the decoder; no decoding
// routine returns an error code. That keeps the error paths out of the
// loops, and it has one rule: no frame between inflateBlock and a failure
// may hold an object with a destructor, which longjmp would skip. The
// decoder's state and the locals on the way are plain values.
#ifndef VESK_INFLATE_DECODE_FAILURE_H
#define VESK_INFLATE_DECODE_FAILURE_H

#include <csetjmp>

#include "inflate.h"

[[noreturn]] inline void failDecoding(Decoder& decoder, DecodeResult reason = corruptStream)
{
    std::longjmp(decoder.failure, reason);
}

#endif
