// The rule by which every text of the program reaches its streams as 8-bit bytes: a character
// below 256 becomes the byte of that value; any other character becomes '?', so a name the output
// cannot carry never turns into a shorter name that may belong to another group. Each character
// becomes exactly one byte, so the size of what is written is known before it is written.
//
// Only the output stream and the record writer include this; the SIMD intrinsics stay here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmot {

// Writes a text at `at` under the output rule and returns the end.
inline char* put_text(char* at, std::u16string_view text) {
  const char16_t* from = text.data();
  const char16_t* end = from + text.size();
#if defined(__SSE2__)
  // Eight characters at a time while all of them are below 256, which is nearly always.
  const __m128i high_bytes = _mm_set1_epi16(static_cast<short>(0xFF00));
  const __m128i zero = _mm_setzero_si128();
  while (end - from >= 8) {
    __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    __m128i high = _mm_and_si128(chars, high_bytes);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packus_epi16(chars, chars));
    from += 8;
    at += 8;
  }
#endif
  for (; from != end; ++from) *at++ = *from < 256 ? static_cast<char>(*from) : '?';
  return at;
}

// Writes a number in decimal at `at` (at most kMaxDigits bytes) and returns the end.
char* put_number(char* at, uint32_t value);
constexpr size_t kMaxDigits = 10;

// The byte form of a text under the output rule.
std::string narrow_for_output(std::u16string_view text);

}  // namespace quillmot
