#include "crcFolding.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

namespace {

// The generator polynomial in the usual bit order, x^32 included; the table
// CRC uses its reflection without x^32, 0xEDB88320.
constexpr std::uint64_t polynomial = 0x104C11DB7;

constexpr std::uint64_t reflect(std::uint64_t value, int bits)
{
    std::uint64_t reflected = 0;
    for (int bit = 0; bit < bits; ++bit)
        reflected |= (value >> bit & 1) << (bits - 1 - bit);
    return reflected;
}

// x^n mod P, reflected and one bit up: carry-less products of reflected
// values come out one bit short, and this makes up for it.
constexpr std::uint64_t foldConstant(int n)
{
    std::uint64_t remainder = 1;
    for (int i = 0; i < n; ++i)
        remainder = (remainder << 1) ^ ((remainder >> 31 & 1) ? polynomial : 0);
    return reflect(remainder, 32) << 1;
}

// floor(x^64 / P), reflected over its 33 bits, for the Barrett step.
constexpr std::uint64_t barrettQuotient()
{
    std::uint64_t quotient = 0;
    std::uint64_t window = std::uint64_t(1) << 32;  // the top 33 coefficients of x^64
    for (int bit = 32; bit >= 0; --bit) {
        if (window >> 32 & 1) {
            quotient |= std::uint64_t(1) << bit;
            window ^= polynomial;
        }
        window <<= 1;
    }
    return reflect(quotient, 33);
}

// A register of 128 bits moved forward by 4 x 128 bits, and by 128 bits.
constexpr std::uint64_t fourBlocksLow = foldConstant(4 * 128 + 32);
constexpr std::uint64_t fourBlocksHigh = foldConstant(4 * 128 - 32);
constexpr std::uint64_t oneBlockLow = foldConstant(128 + 32);
constexpr std::uint64_t oneBlockHigh = foldConstant(128 - 32);
constexpr std::uint64_t lastWord = foldConstant(64);
constexpr std::uint64_t reflectedPolynomial = reflect(polynomial, 33);

// Only the functions that use the instructions are compiled for them. On
// 32-bit Windows the stack may come aligned to 4 bytes only.
#if defined(__i386__)
#define VESK_FOLDING __attribute__((target("pclmul,sse4.1"), force_align_arg_pointer))
#else
#define VESK_FOLDING __attribute__((target("pclmul,sse4.1")))
#endif

VESK_FOLDING __m128i load(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x times x^n, its low and high halves each moved by their constant.
VESK_FOLDING __m128i fold(__m128i x, __m128i constants)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x00), _mm_clmulepi64_si128(x, constants, 0x11));
}

}  // namespace

bool processorCanFoldCrc()
{
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
}

VESK_FOLDING std::uint32_t foldCrc(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    const __m128i oneBlock = _mm_set_epi64x(std::int64_t(oneBlockHigh), std::int64_t(oneBlockLow));
    const unsigned char* end = data + (length & ~std::size_t(15));
    __m128i x = _mm_xor_si128(load(data), _mm_cvtsi32_si128(int(crc)));
    data += 16;
    if (end - data >= 48) {
        // Four registers side by side hide the multiplier's latency.
        const __m128i fourBlocks = _mm_set_epi64x(std::int64_t(fourBlocksHigh), std::int64_t(fourBlocksLow));
        __m128i x1 = load(data);
        __m128i x2 = load(data + 16);
        __m128i x3 = load(data + 32);
        data += 48;
        for (; end - data >= 64; data += 64) {
            x = _mm_xor_si128(fold(x, fourBlocks), load(data));
            x1 = _mm_xor_si128(fold(x1, fourBlocks), load(data + 16));
            x2 = _mm_xor_si128(fold(x2, fourBlocks), load(data + 32));
            x3 = _mm_xor_si128(fold(x3, fourBlocks), load(data + 48));
        }
        x = _mm_xor_si128(fold(x, oneBlock), x1);
        x = _mm_xor_si128(fold(x, oneBlock), x2);
        x = _mm_xor_si128(fold(x, oneBlock), x3);
    }
    for (; data != end; data += 16)
        x = _mm_xor_si128(fold(x, oneBlock), load(data));

    // 128 bits to 64, then to 32 followed by 32 zero bits, then the Barrett
    // reduction of those 64 bits to the 32-bit remainder.
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, oneBlock, 0x10));
    const __m128i lastWordConstant = _mm_set_epi64x(0, std::int64_t(lastWord));
    x = _mm_xor_si128(_mm_srli_si128(x, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(x, low32), lastWordConstant, 0x00));
    constexpr std::uint64_t quotientConstant = barrettQuotient();
    const __m128i barrett = _mm_set_epi64x(std::int64_t(quotientConstant), std::int64_t(reflectedPolynomial));
    __m128i quotient = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10), low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(quotient, barrett, 0x00));
    return std::uint32_t(_mm_extract_epi32(x, 1));
}

#else

bool processorCanFoldCrc()
{
    return false;
}

std::uint32_t foldCrc(std::uint32_t crc, const unsigned char*, std::size_t)
{
    return crc;
}

#endif
