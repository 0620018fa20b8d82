// Extraction of one entry of the walk's archive, in three steps: the walk
// prepares it, a worker writes its file, and the calling thread commits
// it, in the order of the central directory.
#ifndef VESK_ENTRY_H
#define VESK_ENTRY_H

#include "directories.h"
#include "entryInput.h"
#include "inflate/inflate.h"
#include "library.h"
#include "outputSink.h"
#include "spans.h"

// The export's numbers: unzipOneFile returns them.
enum EntryOutcome { entryExtracted, entryFailed, entryMethodUnsupported };

// An entry on its way from the walk to its commit. The path and the
// message's detail come last: an entry touches little more of them than
// its path's length.
struct PendingEntry {
    CentralRecord record;
    // Where its data lies in the archive.
    std::uint64_t dataStart;
    std::uint64_t dataEnd;
    // The destination's length at the start of the path, and whether the
    // entry is a directory: what the directory step needs when it goes on.
    std::size_t destinationLength;
    bool directoryEntry;
    // The file's name follows the last backslash of the path, at
    // `fileName`, in `directory`.
    std::size_t fileName;
    DirectoryHandle directory;
    // What identifies the path, in whatever case and form the file system
    // takes as the same: two entries with the same key are not on their way
    // at once.
    std::uint64_t pathKey;
    // Whether a file remains to be written.
    bool toWrite;
    // Whether the file was made, under its name or aside, and what the call
    // keeps of it until the commit.
    bool fileMade;
    OutputFile output;
    // The result, and what shows a failure.
    EntryOutcome outcome;
    Message failure;
    char path[pathCapacity];
    char detail[pathCapacity];
};

// What preparing an entry left to do.
enum PreparedEntry {
    fileToWrite,   // its file remains to be written
    entryDone,     // a directory, made: nothing to write
    entryRefused,  // a failure, which the entry records
    // A directory of its path waits for the entries on their way: once they
    // are committed, placeEntry goes on.
    entryWaits
};

// Reads the entry of a central record (its fixed part, name and extra
// field in `recordBytes`, which gets a NUL behind the name): checks its
// name, makes its directories below the destination (which ends in a
// backslash or is empty), and for a file reads its local header from the
// input and claims its stretch of the archive among the call's `spans`.
// The entry is number `onTheirWay.handed`.
PreparedEntry prepareEntry(OpenDirectories& directories, EntriesOnTheirWay& onTheirWay, SpanStarts& spans,
                           EntryInput& input, const char* destination, char* recordBytes,
                           PendingEntry& entry);

// The directory step of prepareEntry, where it waited: enters the
// directories of the entry's path and makes those that are missing.
PreparedEntry placeEntry(OpenDirectories& directories, EntriesOnTheirWay& onTheirWay, PendingEntry& entry);

// Records a failure of the walk as the entry's; entryRefused.
PreparedEntry refuseEntry(PendingEntry& entry, Message failure);

// Makes the entry's file and writes its data from the input, which need
// not stand at it, through the sink and the decoder; records the result.
// Shows nothing. `unique` keeps the name of a file made aside apart.
void writeEntry(PendingEntry& entry, EntryInput& input, OutputSink& sink, Decoder& decoder,
                std::uint64_t unique);

// Puts the entry's file in place under its name, and shows its failure if
// any; returns its result. A file made aside replaces the one at the name
// only when the entry is complete and checked; otherwise it goes, and the
// file at the name stays.
EntryOutcome commitEntry(PendingEntry& entry);

// Removes what the entry made: an earlier one failed.
void discardEntry(PendingEntry& entry);

// Decodes Deflate or Deflate64 data from the input into the sink; false when
// the stream is corrupt. What the sink refused, the sink tells.
bool inflateEntryData(Decoder& decoder, EntryInput& input, OutputSink& sink, DeflateFormat format);

#endif
