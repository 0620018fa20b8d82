#include "outputSink.h"

#include "crc.h"

void startSinkForCall(OutputSink& sink)
{
    sink.file = nullptr;
    sink.stop = nullptr;
    sink.stampMinute.minute = ~std::uint32_t(0);
}

void startSink(OutputSink& sink, std::FILE* file, std::uint64_t declaredSize)
{
    sink.file = file;
    sink.crc = startCrc();
    sink.room = declaredSize;
    sink.overran = false;
}

bool writeOutput(OutputSink& sink, const unsigned char* bytes, std::int32_t length)
{
    if (std::uint64_t(length) > sink.room) {
        sink.overran = true;
        return false;
    }
    if (sink.stop && sink.stop->load(std::memory_order_relaxed))
        return false;
    sink.room -= std::uint64_t(length);
    sink.crc = advanceCrc(sink.crc, bytes, length);
    return std::fwrite(bytes, 1, std::size_t(length), sink.file) == std::size_t(length);
}
