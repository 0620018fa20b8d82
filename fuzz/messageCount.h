// The fuzz build's message boxes: counted, not shown, as the fuzzers run
// millions of archives.
#ifndef VESK_FUZZ_MESSAGE_COUNT_H
#define VESK_FUZZ_MESSAGE_COUNT_H

extern unsigned long shownMessageCount;

#endif
