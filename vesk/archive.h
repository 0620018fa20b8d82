// The walk of one unzip call: the archive, its end record and central
// directory, and what the entries of the call share.
#ifndef VESK_ARCHIVE_H
#define VESK_ARCHIVE_H

#include <cstdint>

#include "directories.h"
#include "records.h"
#include "spans.h"

struct ArchiveWalk {
    // Opened once a call, shared by the walk and every worker; none
    // between calls.
    FileHandle archive = noFile;
    // The directory walk reads records through a buffer of its own: records
    // follow one another, so most come from one read.
    unsigned char directoryBuffer[65536];
    std::uint64_t bufferPosition;  // archive position of directoryBuffer[0]
    std::size_t bufferLength;
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
void startWalk(ArchiveWalk& walk, FileHandle archive);

// The last end-of-central-directory record of the archive and where it
// starts; false when there is none.
bool findEndOfCentralDirectory(FileHandle archive, unsigned char* endRecord, std::uint64_t* endPosition);

#endif
