// CRC-32 of the ZIP format: reflected polynomial 0xEDB88320.
//
// The check of an entry's data, end to end:
// - chooseCrcWay runs once, when the library is loaded (the load hook of
//   each platform seam: platformPosix.cpp, DllMain in platformWindows.cpp);
// - the entry's output sink (outputSink.cpp) starts its register with
//   startCrc and advances it over every byte on its way to the file, stored
//   or decoded, in the same pieces as they are written;
// - writeData (entry.cpp) compares finishCrc of the register with the
//   CRC-32 of the entry's central record.
#ifndef VESK_CRC_H
#define VESK_CRC_H

#include <cstdint>

// Advances the register by one byte; built when compiling.
extern const std::uint32_t (&crcTable)[256];

// Chooses, once when the library is loaded, whether advanceCrc folds 16
// bytes at a time by carry-less multiplication: on processors that can. The
// table then serves only pieces shorter than 16 bytes and the tails of
// longer ones.
void chooseCrcWay();
// The way chosen; tests take both in turn.
bool crcFolds();
void setCrcFolding(bool folding);

// A register before the first byte, and the CRC-32 of what it went over.
constexpr std::uint32_t startCrc()
{
    return 0xFFFFFFFF;
}
constexpr std::uint32_t finishCrc(std::uint32_t crc)
{
    return ~crc;
}

// The register `crc` advanced over the bytes; a length of 0 or less leaves
// it as it is.
std::uint32_t advanceCrc(std::uint32_t crc, const unsigned char* data, std::int32_t length);

#endif
