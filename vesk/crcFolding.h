// The CRC-32 by carry-less multiplication (x86 PCLMULQDQ with SSE4.1): 16
// bytes at a time are folded forward into the register instead of being
// looked up byte by byte.
#ifndef VESK_CRC_FOLDING_H
#define VESK_CRC_FOLDING_H

#include <cstddef>
#include <cstdint>

// Whether this processor has the instructions; false on other processors.
bool processorCanFoldCrc();

// The register `crc` advanced over the first length & ~15 bytes of `data`;
// `length` is at least 16. Only for a processor that can fold.
std::uint32_t foldCrc(std::uint32_t crc, const unsigned char* data, std::size_t length);

#endif
