// The walk of one unzip call: the archive, its end record and central
// directory, and what the entries of the call share.
#ifndef VESK_ARCHIVE_H
#define VESK_ARCHIVE_H

#include <cstdint>

#include "directories.h"
#include "entry.h"
#include "records.h"
#include "spans.h"
#include "workers.h"

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
    // The end-record search reads the file backwards through this buffer:
    // large reads, so that a file with no record is scanned at memory speed.
    // Its contents matter only during the search.
    unsigned char scanBuffer[1 << 18];
    unsigned char endRecord[endRecordSize];
    std::uint64_t endPosition;
    std::uint64_t recordCount;
    std::uint64_t directoryOffset;
    SpanStarts spans;
    OpenDirectories directories;
};

// The state of an unzip call: one of each part's, for one call at a time, and
// the library's only mutable object beside the ways chosen at load. The
// input reads the local headers for the walk; with one worker the calling
// thread also writes with it, the sink and the decoder; unzipOneFile
// extracts into `oneEntry`.
struct CallState {
    ArchiveWalk walk;
    EntryInput input;
    OutputSink sink;
    Decoder decoder;
    Workers workers;
    PendingEntry oneEntry;
};

// Starts the walk of a call on the open archive.
void startWalk(ArchiveWalk& walk, FileHandle archive);

// Finds the last end-of-central-directory record of the walk's archive:
// its bytes and where it starts (endRecord, endPosition); false when there
// is none.
bool findEndOfCentralDirectory(ArchiveWalk& walk);

// All three steps for one entry of the call's archive, in its `oneEntry`,
// as unzipOneFile extracts it.
EntryOutcome extractEntry(CallState& call, const char* destination, char* recordBytes);

// Whether the library holds a stream open: none between calls.
bool holdsOpenStreams();

#endif
