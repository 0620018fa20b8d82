// Services shared by the parts of the library, and its conventions.
//
// State: a call's state is one CallState (archive.cpp): the walk
// (archive.h, with the end-record search's buffer), the input of an entry
// (entryInput.h), the output sink (outputSink.h), the decoder
// (inflate/inflate.h), the workers (workers.h), each with inputs, sinks and
// decoders of their own, and the entry that unzipOneFile extracts. Each
// part's functions take its struct explicitly. One function starts each
// (startWalk, startInput, startSink, startDecoder, startWorkers); nothing
// else resets them, and the walk and the sink only forget a stream when they
// close it. Beside the call's state, the only mutable objects are the ways
// chosen when the library is loaded: the CRC's and the decoder's fast loop.
//
// Results: a function that can fail in one way returns bool, true when it
// succeeded; one with more outcomes returns a named enum, its first value
// the success. Only the exports keep their numbers (0, 1, 2: vesk.h). A
// failure is shown once, where it is known for what it is, with a message
// of the table below.
#ifndef VESK_LIBRARY_H
#define VESK_LIBRARY_H

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "inflate/littleEndian.h"

// Every message the library shows, in the order of README's table; the text
// of each stands once, in showError.cpp.
enum Message {
    cannotOpenInput,
    fileTooSmall,
    notZip,
    damagedArchive,
    unsafeFileName,
    encryptedFile,
    overlappingEntries,
    outOfMemory,
    fileNameTooLong,
    cannotOpenOutput,
    cannotCreateDirectory,
    cannotWriteOutput,
    unsupportedMethod,
    badTable,
    crcFailed
};

// Shows the message in the library's error box, with `detail` (a name, a
// path or a number) where its text takes one.
void showError(Message message, const char* detail = "");

// Archive fields are little-endian whatever the host's byte order; four and
// eight bytes are read as the decoder reads its bits (inflate/littleEndian.h).
inline unsigned readLittle16(const unsigned char* bytes)
{
    return bytes[0] | (bytes[1] << 8);
}

#endif
