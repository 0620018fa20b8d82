#include "workers.h"

#include "names.h"

#include <cstdlib>
#include <new>

namespace {

const std::uint64_t none = ~std::uint64_t(0);

// A worker takes a run of consecutive entries at a time, so that small
// entries cost the threads one wake between them, not one each: up to this
// many entries, or until one brings this much data.
const std::uint64_t runEntries = 16;
const std::uint64_t runBytes = 1 << 20;

Place& placeOf(Workers& workers, std::uint64_t number)
{
    return workers.places[number % std::uint64_t(workers.depth)];
}

// Wakes the idle workers when entries wait for them; with `plenty` only
// when they make up a whole run. Under the lock.
void wakeWorkers(Workers& workers, bool plenty)
{
    std::uint64_t waiting = workers.onTheirWay.handed - workers.taken;
    if (workers.idle != 0 && waiting != 0 && (!plenty || waiting >= runEntries))
        wakeAll(workers.entryHanded);
}

// Whether an entry waits to be taken: by any worker, or, when entries are
// written alone, by the calling thread once those before it are committed.
bool entryWaits(const Workers& workers)
{
    return workers.taken < workers.onTheirWay.handed && workers.taken <= workers.stoppedAt
           && (!workers.alone || workers.taken == workers.onTheirWay.committed);
}

// Records that entry `number` failed: no later one is taken, and those on
// their way stop writing. Under the lock.
void stopAfter(Workers& workers, std::uint64_t number)
{
    if (number >= workers.stoppedAt)
        return;
    workers.stoppedAt = number;
    for (std::uint64_t later = number + 1; later < workers.taken; ++later)
        placeOf(workers, later).stop.store(true, std::memory_order_relaxed);
}

// Takes the next run of entries and writes them with the state given.
// Called under the lock, which is dropped while an entry is written.
void writeRun(Workers& workers, EntryInput& input, OutputSink& sink, Decoder& decoder)
{
    std::uint64_t first = workers.taken;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t limit = workers.alone ? 1 : runEntries;
    do {
        Place& place = placeOf(workers, workers.taken++);
        if (!place.written) {
            place.stop.store(false, std::memory_order_relaxed);
            ++files;
            bytes += place.entry.record.compressedSize;
        }
    } while (workers.taken < workers.onTheirWay.handed && files < limit && bytes < runBytes);
    std::uint64_t end = workers.taken;
    for (std::uint64_t number = first; number < end; ++number) {
        Place& place = placeOf(workers, number);
        if (place.written)
            continue;  // nothing to write
        // An entry after one that failed is not written: it will not be
        // committed.
        bool wanted = number < workers.stoppedAt;
        dropLock(workers.lock);
        sink.stop = &place.stop;
        if (wanted)
            writeEntry(place.entry, input, sink, decoder, number);
        else
            place.entry.fileMade = false;
        sink.stop = nullptr;
        takeLock(workers.lock);
        place.written = true;
        // A failure also ends the calling thread's wait for a later entry,
        // which will not be written.
        bool failed = wanted && place.entry.outcome != entryExtracted && number < workers.stoppedAt;
        if (failed)
            stopAfter(workers, number);
        if (failed || number == workers.awaited)
            wakeAll(workers.entryWritten);
    }
}

void runWorker(void* argument)
{
    Worker& worker = *static_cast<Worker*>(argument);
    Workers& workers = *worker.workers;
    takeLock(workers.lock);
    for (;;) {
        while (!workers.ending && (workers.alone || !entryWaits(workers))) {
            ++workers.idle;
            waitSignal(workers.entryHanded, workers.lock);
            --workers.idle;
        }
        if (workers.ending)
            break;
        writeRun(workers, worker.input, worker.sink, worker.decoder);
    }
    dropLock(workers.lock);
}

// The calling thread waits for entry `number` to be written; it writes a
// run itself meanwhile, where one waits. Under the lock.
void awaitEntry(Workers& workers, std::uint64_t number)
{
    if (entryWaits(workers)) {
        writeRun(workers, *workers.input, *workers.sink, *workers.decoder);
        return;
    }
    workers.awaited = number;
    waitSignal(workers.entryWritten, workers.lock);
    workers.awaited = none;
}

// Whether the entry's file could not be made or written: the room it
// needed may have gone to the files of other entries on their way.
bool lackedRoom(const PendingEntry& entry)
{
    return entry.toWrite && entry.outcome == entryFailed
           && (entry.failure == cannotWriteOutput || entry.failure == cannotOpenOutput);
}

// Entry `number`, the next to commit, lacked room while others were on
// their way: what it and the later entries wrote goes, and they are written
// again alone, each with the room that one worker would leave it. Under
// the lock; no worker writes any of them on return.
void writeAgainAlone(Workers& workers, std::uint64_t number)
{
    workers.alone = true;
    stopAfter(workers, number);
    for (std::uint64_t later = number + 1; later < workers.taken; ++later)
        while (!placeOf(workers, later).written) {
            workers.awaited = later;
            waitSignal(workers.entryWritten, workers.lock);
            workers.awaited = none;
        }
    for (std::uint64_t again = number; again < workers.taken; ++again) {
        Place& place = placeOf(workers, again);
        if (place.entry.toWrite) {
            discardEntry(place.entry);
            place.written = false;
        }
    }
    workers.taken = number;
    workers.stoppedAt = none;
}

// Commits the entries written, in order, waiting for those before entry
// `until`. After a failure, what later entries made is removed instead,
// once their workers are done with them.
void commitWritten(Workers& workers, std::uint64_t until)
{
    EntriesOnTheirWay& onTheirWay = workers.onTheirWay;
    takeLock(workers.lock);
    // The last entry waited for first: those before it are mostly written
    // by then, and the calling thread is woken once, not for each. No
    // entry after one that failed in a worker is written, and alone each
    // is written at its turn.
    while (!workers.alone && until > onTheirWay.committed) {
        std::uint64_t last = until - 1 < workers.stoppedAt ? until - 1 : workers.stoppedAt;
        if (last < onTheirWay.committed || placeOf(workers, last).written
            || (workers.failed && last >= workers.taken))
            break;
        wakeWorkers(workers, false);
        awaitEntry(workers, last);
    }
    while (onTheirWay.committed < onTheirWay.handed) {
        std::uint64_t number = onTheirWay.committed;
        Place& place = placeOf(workers, number);
        // After a failure no worker takes an entry: one not taken made nothing.
        bool untouched = workers.failed && number >= workers.taken;
        if (!place.written && !untouched) {
            if (number >= until)
                break;
            wakeWorkers(workers, false);
            awaitEntry(workers, number);
            continue;
        }
        if (!workers.failed && !workers.alone && lackedRoom(place.entry)) {
            writeAgainAlone(workers, number);
            continue;
        }
        // Entries the workers have not reached yet and that are committed
        // had nothing to write: they are passed by.
        if (workers.taken < ++onTheirWay.committed)
            workers.taken = onTheirWay.committed;
        dropLock(workers.lock);
        // After a failure, what later entries made stays listed, and the
        // directories they made stay open, until they are removed.
        if (workers.failed) {
            discardEntry(place.entry);
        } else {
            if (commitEntry(place.entry) != entryExtracted) {
                workers.failed = true;
                takeLock(workers.lock);
                stopAfter(workers, number);
                dropLock(workers.lock);
            }
            keepMadeDirectories(*workers.directories, onTheirWay, number);
        }
        takeLock(workers.lock);
    }
    dropLock(workers.lock);
}

// Starts a worker thread with its own input on the archive.
bool startWorker(Worker& worker, Workers& workers, FileHandle archive)
{
    startInput(worker.input, archive);
    startSinkForCall(worker.sink);
    worker.workers = &workers;
    worker.start = ThreadStart{runWorker, &worker};
    return startThread(&worker.thread, &worker.start);
}

}  // namespace

int chooseWorkerCount(std::uint64_t entries)
{
    const char* chosen = std::getenv("VESK_THREADS");
    char* end;
    long count = chosen ? std::strtol(chosen, &end, 10) : 0;
    if (!(chosen && end != chosen && *end == '\0' && count >= 1 && count <= workerLimit)) {
        int processors = usableProcessors();
        count = processors < defaultWorkerLimit ? processors : defaultWorkerLimit;
    }
    // No more workers than entries: a thread would only cost its start.
    if (std::uint64_t(count) > entries)
        count = long(entries);
    return count < 1 ? 1 : int(count);
}

bool startWorkers(Workers& workers, int count, FileHandle archive, EntryInput& input, OutputSink& sink,
                  Decoder& decoder, OpenDirectories& directories)
{
    workers.input = &input;
    workers.sink = &sink;
    workers.decoder = &decoder;
    workers.directories = &directories;
    workers.taken = 0;
    workers.stoppedAt = none;
    workers.idle = 0;
    workers.awaited = none;
    workers.ending = false;
    workers.failed = false;
    workers.alone = false;
    workers.threadCount = 0;
    workers.threads = nullptr;
    // A few runs per worker keep them busy while an earlier, larger entry
    // is still being written.
    int depth = 4 * int(runEntries) * count;
    workers.depth = count == 1 ? 1 : depth < inFlightLimit ? depth : inFlightLimit;
    // The calling thread is one of the workers: it writes runs whenever it
    // would wait.
    workers.places = new (std::nothrow) Place[std::size_t(workers.depth)];
    workers.pathKeys = new (std::nothrow) std::uint64_t[std::size_t(workers.depth)];
    if (!workers.places || !workers.pathKeys) {
        delete[] workers.places;
        workers.places = nullptr;
        delete[] workers.pathKeys;
        return false;
    }
    for (int i = 0; i < workers.depth; ++i)
        workers.pathKeys[i] = none;
    workers.onTheirWay.handed = 0;
    workers.onTheirWay.committed = 0;
    workers.onTheirWay.pathKeys = workers.pathKeys;
    workers.onTheirWay.depth = workers.depth;
    workers.onTheirWay.madeCount = 0;
    startLock(workers.lock);
    startSignal(workers.entryHanded);
    startSignal(workers.entryWritten);
    if (count > 1)
        workers.threads = new (std::nothrow) Worker[std::size_t(count - 1)];
    if (workers.threads)
        while (workers.threadCount < count - 1
               && startWorker(workers.threads[workers.threadCount], workers, archive))
            ++workers.threadCount;
    // Without threads the calling thread writes alone; with them it never
    // changes this unless under the lock.
    if (workers.threadCount == 0)
        workers.alone = true;
    return true;
}

PendingEntry* nextEntry(Workers& workers)
{
    EntriesOnTheirWay& onTheirWay = workers.onTheirWay;
    // A full ring waits for half of it, so that the calling thread wakes
    // once for many entries.
    if (onTheirWay.handed - onTheirWay.committed == std::uint64_t(workers.depth))
        commitWritten(workers, onTheirWay.committed + std::uint64_t(workers.depth + 1) / 2);
    if (workers.failed)
        return nullptr;
    return &workers.places[onTheirWay.handed % std::uint64_t(workers.depth)].entry;
}

void handEntry(Workers& workers)
{
    EntriesOnTheirWay& onTheirWay = workers.onTheirWay;
    std::uint64_t number = onTheirWay.handed;
    Place& place = workers.places[number % std::uint64_t(workers.depth)];
    bool toWrite = place.entry.toWrite;
    // Two files at one path are written one after the other, so that the
    // later one wins.
    if (toWrite && isOnItsWay(onTheirWay, place.entry.pathKey))
        settleEntries(workers);
    workers.pathKeys[number % std::uint64_t(workers.depth)] = toWrite ? place.entry.pathKey : none;
    takeLock(workers.lock);
    place.written = !toWrite;
    ++onTheirWay.handed;
    // An entry with nothing to write wakes nobody: the commit passes it.
    if (toWrite)
        wakeWorkers(workers, place.entry.record.compressedSize < runBytes);
    dropLock(workers.lock);
    // Alone the calling thread writes the entry now, as it waits for it.
    commitWritten(workers, workers.alone ? onTheirWay.handed : onTheirWay.committed);
}

bool settleEntries(Workers& workers)
{
    commitWritten(workers, workers.onTheirWay.handed);
    return !workers.failed;
}

void stopWorkers(Workers& workers)
{
    if (!workers.places)
        return;
    commitWritten(workers, workers.onTheirWay.handed);
    removeMadeDirectories(*workers.directories, workers.onTheirWay);
    takeLock(workers.lock);
    workers.ending = true;
    wakeAll(workers.entryHanded);
    dropLock(workers.lock);
    for (int i = 0; i < workers.threadCount; ++i)
        joinThread(workers.threads[i].thread);
    delete[] workers.threads;
    delete[] workers.places;
    delete[] workers.pathKeys;
    workers.places = nullptr;
    endSignal(workers.entryWritten);
    endSignal(workers.entryHanded);
    endLock(workers.lock);
}
