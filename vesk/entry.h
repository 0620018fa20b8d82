// Extraction of one entry of the walk's archive.
#ifndef VESK_ENTRY_H
#define VESK_ENTRY_H

#include "archive.h"
#include "entryInput.h"
#include "inflate/inflate.h"
#include "outputSink.h"

// The export's numbers: unzipOneFile returns them.
enum EntryOutcome { entryExtracted, entryFailed, entryMethodUnsupported };

// Writes the entry of a central record (its fixed part, name and extra
// field in `record`, which gets a NUL behind the name) below the
// destination, which ends in a backslash or is empty. The input is the
// call's; the sink and the decoder are started for the entry.
EntryOutcome extractEntry(ArchiveWalk& walk, EntryInput& input, OutputSink& sink, Decoder& decoder,
                          const char* destination, char* record);

// Decodes Deflate data from the input into the sink; false, after showing
// badTable, when the stream is corrupt. What the sink refused, the sink
// tells.
bool inflateEntryData(Decoder& decoder, EntryInput& input, OutputSink& sink);

#endif
