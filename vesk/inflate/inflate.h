// The Deflate decoder: one stream from archiveFile into outputFile.
#ifndef VESK_INFLATE_H
#define VESK_INFLATE_H

// Decodes the stream that starts at the current position of the input (see
// bitReader.h; the entry's reader has read its local header from there) up to
// the end of its final block, writing every byte to outputFile and folding it
// into crcRegister. Returns 1, or 0 after showing " Bad Table ".
int inflateEntry();

#endif
