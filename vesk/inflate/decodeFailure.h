// Every decoding failure abandons the stream at once and returns to the
// context that inflateEntry saved; no decoding routine returns an error code.
#ifndef VESK_INFLATE_DECODE_FAILURE_H
#define VESK_INFLATE_DECODE_FAILURE_H

#include <csetjmp>

extern std::jmp_buf errorContext;

[[noreturn]] inline void failDecoding()
{
    std::longjmp(errorContext, 1);
}

#endif
