// The workers of an unzip call: threads that write the entries the walk
// hands out, each with its own input, sink and decoder, while the calling
// thread commits the entries in the order of the central directory. The
// calling thread is one of the workers: it writes entries itself whenever
// it would otherwise wait, with the call's input, sink and decoder; with
// one worker, it writes each entry as it is handed out.
#ifndef VESK_WORKERS_H
#define VESK_WORKERS_H

#include "entry.h"

// How many workers a call may have, and how many it has without
// VESK_THREADS: more than eight rarely pays.
constexpr int workerLimit = 64;
constexpr int defaultWorkerLimit = 8;

struct Workers;

struct Worker {
    EntryInput input;
    OutputSink sink;
    Decoder decoder;
    ThreadHandle thread;
    ThreadStart start;
    Workers* workers;
};

// An entry on its way, whether its worker is done with it, and whether it
// is to stop writing: an earlier entry failed.
struct Place {
    bool written;
    std::atomic<bool> stop;
    PendingEntry entry;
};

struct Workers {
    // Guards what the threads share: the places' `written`, `taken`,
    // `stoppedAt`, `alone`, `idle`, `awaited`, `ending` and the handed and
    // committed counts of `onTheirWay`.
    Lock lock;
    Signal entryHanded;   // idle workers wait for entries
    Signal entryWritten;  // the calling thread waits for the awaited one
    // The entries on their way: entry n lives in places[n % depth], and
    // the key of the path where it makes its file (none: all ones) in
    // pathKeys[n % depth], side by side for a quick search.
    Place* places;
    std::uint64_t* pathKeys;
    int depth;
    // The pipeline's bookkeeping: the entries handed out and committed, and
    // the directories made while entries are on their way, each with the
    // entry that made it.
    EntriesOnTheirWay onTheirWay;
    // Entries taken by the workers, in order, a run at a time.
    std::uint64_t taken;
    // The first entry known to have failed in a worker (all ones: none):
    // no later one is taken, and those on their way stop writing.
    std::uint64_t stoppedAt;
    // Entries are written one at a time, each on the calling thread after
    // the commit of the ones before it, as with one worker: with one
    // worker, and after a file failed to be made or written while other
    // entries were on their way, which may have taken the room it needed.
    bool alone;
    // Workers waiting for entries, and the entry the calling thread waits
    // for (all ones: none): the threads wake each other only then.
    int idle;
    std::uint64_t awaited;
    bool ending;
    // An entry failed at its commit: none after it is committed.
    bool failed;
    Worker* threads;
    int threadCount;
    // The calling thread writes with these.
    EntryInput* input;
    OutputSink* sink;
    Decoder* decoder;
    // The walk's directories, where the entries on their way make their
    // files: what the commit leaves behind is closed or removed there.
    OpenDirectories* directories;
};

// How many workers a call has: VESK_THREADS (1 to 64) if set, else the
// processors the process may use, at most defaultWorkerLimit; never more
// than the archive's entries.
int chooseWorkerCount(std::uint64_t entries);

// Starts `count` workers for the call on the archive: the calling thread,
// which writes with `input`, `sink` and `decoder`, and count - 1 threads,
// each reading the archive through an input of its own. Fewer threads
// start when threads cannot be had. False when there is no memory for the
// entries on their way.
bool startWorkers(Workers& workers, int count, FileHandle archive, EntryInput& input, OutputSink& sink,
                  Decoder& decoder, OpenDirectories& directories);

// The place for the next entry to hand out, once one is free; commits what
// is written meanwhile. nullptr when an entry failed: the walk stops.
PendingEntry* nextEntry(Workers& workers);

// Hands out the entry that nextEntry gave and prepareEntry prepared, and
// commits what is written.
void handEntry(Workers& workers);

// Commits every entry handed out; false when one failed.
bool settleEntries(Workers& workers);

// Settles the entries, ends the threads and gives the memory back.
void stopWorkers(Workers& workers);

#endif
