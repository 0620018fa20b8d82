// The Deflate decoder: one stream from archiveFile into outputFile.
#ifndef VESK_INFLATE_H
#define VESK_INFLATE_H

#include <cstdint>

// Decodes the stream that starts at the current position of the input (see
// bitReader.h; the entry's reader has read its local header from there) up to
// the end of its final block, writing every byte to outputFile and folding it
// into crcRegister. Returns 0; 1 after showing " Bad Table " for a corrupt
// stream; 2, showing nothing, for a stream that decodes to more than the
// `declaredSize` bytes that the entry's record declares, of which nothing
// beyond the declared size has been written; 3, showing nothing, after the
// first write to outputFile that failed (its error flag is set).
int inflateEntry(std::uint64_t declaredSize);

#endif
