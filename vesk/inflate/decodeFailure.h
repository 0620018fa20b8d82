// Every decoding failure abandons the stream at once and returns to the
// context that inflateEntry saved; no decoding routine returns an error code.
#ifndef VESK_INFLATE_DECODE_FAILURE_H
#define VESK_INFLATE_DECODE_FAILURE_H

#include <csetjmp>

extern std::jmp_buf errorContext;

// Why decoding stopped: the stream is corrupt, it decodes to more bytes
// than the entry's record declares, or its output cannot be written (a full
// disk: decoding on would only waste the time the entry takes).
constexpr int corruptStream = 1;
constexpr int longerThanDeclared = 2;
constexpr int writeFailed = 3;

[[noreturn]] inline void failDecoding(int reason = corruptStream)
{
    std::longjmp(errorContext, reason);
}

#endif
