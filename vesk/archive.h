// The walk of one unzip call: the archive, its end record and central
// directory, and what the entries of the call share.
#ifndef VESK_ARCHIVE_H
#define VESK_ARCHIVE_H

#include <cstdint>
#include <cstdio>

#include "directories.h"
#include "records.h"
#include "spans.h"

struct ArchiveWalk {
    // Read unbuffered: the end-record search and the entries' input.
    std::FILE* archive;
    // The directory walk reads through its own stream and buffer, so that
    // the entries' reads, which go to the archive stream in blocks of their
    // own, never discard what it has buffered.
    std::FILE* directory;
    char directoryBuffer[65536];
    // Where `directory` stands after the last record read whole: the next
    // record normally starts there and needs no seek.
    std::uint64_t directoryPosition;
    // One central-directory record: 46 fixed bytes and a name, an extra
    // field and a comment of up to 65535 bytes each, and room for the NUL
    // that the entry writes behind the name.
    unsigned char record[centralName + 3 * 65535 + 1];
    unsigned char endRecord[endRecordSize];
    std::uint64_t endPosition;
    std::uint64_t recordCount;
    std::uint64_t directoryOffset;
    SpanStarts spans;
    OpenDirectories directories;
};

// Starts the walk of a call on the open archive.
void startWalk(ArchiveWalk& walk, std::FILE* archive);

#endif
