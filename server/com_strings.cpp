// BSTRs of the C interface: allocation, length, and conversion between
// UTF-8 and UTF-16 (ASCII, the usual text, in SIMD blocks), with the
// exported BSTR functions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

#include "core/utf.h"
#include "server/com_internal.h"

namespace halvane::com {

BSTR AllocBstr(std::size_t cch) {
  if (cch > (UINT32_MAX - 8u) / 2u) return nullptr;
  const std::uint32_t bytes = static_cast<std::uint32_t>(cch * 2u);
  void* block = std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  BSTR s = reinterpret_cast<BSTR>(static_cast<char*>(block) + sizeof(std::uint32_t));
  s[cch] = 0;
  return s;
}

namespace {

// Plain ASCII, the usual text, is widened and narrowed in blocks of 16
// characters (32 with AVX2, where the processor has it).  Each returns how
// many leading characters it converted: all of them, or those before the
// first that is not ASCII.  `out` has room for all n characters, and units
// past the returned count may have been written: a text that does not fill
// whole blocks ends with one block that overlaps the last converted ones,
// and a short text is taken in blocks of 8 and 4 the same way, so that at
// most three characters go one at a time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HALVANE_WIDEN_AVX2 1
__attribute__((target("avx2"))) std::size_t WidenAscii32(const unsigned char* in, std::size_t n, OLECHAR* out) {
  std::size_t k = 0;
  for (; k + 32 <= n; k += 32) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + k));
    if (_mm256_movemask_epi8(b) != 0) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(b)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k + 16), _mm256_cvtepu8_epi16(_mm256_extracti128_si256(b, 1)));
  }
  return k;
}

bool HaveAvx2() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have;
}
#endif

#if defined(__SSE2__)
// One block of W (16, 8 or 4) bytes at `at` widened into out + at; the bit
// mask of the bytes that are not ASCII.
template <std::size_t W>
unsigned WidenBlock(const unsigned char* in, OLECHAR* out, std::size_t at) {
  const __m128i zero = _mm_setzero_si128();
  __m128i b;
  if constexpr (W == 16) {
    b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 8), _mm_unpackhi_epi8(b, zero));
  } else if constexpr (W == 8) {
    b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + at));
  } else {
    std::uint32_t four;
    std::memcpy(&four, in + at, sizeof four);
    b = _mm_cvtsi32_si128(static_cast<int>(four));
  }
  const __m128i lo = _mm_unpacklo_epi8(b, zero);
  if constexpr (W == 4)
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), lo);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), lo);
  return static_cast<unsigned>(_mm_movemask_epi8(b)) & ((1u << W) - 1u);
}

// One block of W (8 or 4) units at `at` narrowed into out + at; the
// position in the block of the first unit that is not ASCII, or W.
template <std::size_t W>
std::size_t NarrowBlock(const OLECHAR* in, char* out, std::size_t at) {
  __m128i a;
  if constexpr (W == 8)
    a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
  else
    a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + at));
  const __m128i packed = _mm_packus_epi16(a, a);
  if constexpr (W == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), packed);
  } else {
    const std::uint32_t four = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
    std::memcpy(out + at, &four, sizeof four);
  }
  const __m128i ascii =
      _mm_cmpeq_epi16(_mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
  const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(ascii)) & ((1u << (2 * W)) - 1u);
  return other == 0 ? W : static_cast<std::size_t>(__builtin_ctz(other)) / 2;
}

// Blocks of W from k on, then the block of W that ends the text: the count
// of leading characters converted.  n >= W.
template <std::size_t W>
std::size_t WidenBlocks(const unsigned char* in, std::size_t n, OLECHAR* out, std::size_t k) {
  for (; k + W <= n; k += W) {
    const unsigned other = WidenBlock<W>(in, out, k);
    if (other != 0) return k + static_cast<std::size_t>(__builtin_ctz(other));
  }
  if (k == n) return n;
  const unsigned other = WidenBlock<W>(in, out, n - W);
  return other != 0 ? n - W + static_cast<std::size_t>(__builtin_ctz(other)) : n;
}

template <std::size_t W>
std::size_t NarrowBlocks(const OLECHAR* in, std::size_t n, char* out) {
  std::size_t k = 0;
  for (; k + W <= n; k += W) {
    const std::size_t ascii = NarrowBlock<W>(in, out, k);
    if (ascii != W) return k + ascii;
  }
  return k == n ? n : n - W + NarrowBlock<W>(in, out, n - W);
}
#endif

std::size_t WidenAscii(const unsigned char* in, std::size_t n, OLECHAR* out) {
  std::size_t k = 0;
#if defined(HALVANE_WIDEN_AVX2)
  if (n >= 64 && HaveAvx2()) k = WidenAscii32(in, n, out);
#endif
#if defined(__SSE2__)
  if (n >= 16) return WidenBlocks<16>(in, n, out, k);
  if (n >= 8) return WidenBlocks<8>(in, n, out, 0);
  if (n >= 4) return WidenBlocks<4>(in, n, out, 0);
#endif
  for (; k < n && in[k] < 0x80; ++k) out[k] = in[k];
  return k;
}

std::size_t NarrowAscii(const OLECHAR* in, std::size_t n, char* out) {
  std::size_t k = 0;
#if defined(__SSE2__)
  if (n >= 8) return NarrowBlocks<8>(in, n, out);
  if (n >= 4) return NarrowBlocks<4>(in, n, out);
#endif
  for (; k < n && in[k] < 0x80; ++k) out[k] = static_cast<char>(in[k]);
  return k;
}

// Gives a BSTR block made for more code units its exact length `cch`.
BSTR ShrinkBstr(BSTR s, std::size_t cch) {
  void* block = reinterpret_cast<char*>(s) - sizeof(std::uint32_t);
  void* smaller = std::realloc(block, sizeof(std::uint32_t) + cch * 2u + sizeof(OLECHAR));
  if (smaller != nullptr) block = smaller;
  const std::uint32_t bytes = static_cast<std::uint32_t>(cch * 2u);
  std::memcpy(block, &bytes, sizeof bytes);
  s = reinterpret_cast<BSTR>(static_cast<char*>(block) + sizeof(std::uint32_t));
  s[cch] = 0;
  return s;
}

}  // namespace

// A UTF-8 byte never gives more than one UTF-16 code unit, so a block of
// text.size() units holds the result: ASCII is widened straight into it,
// the first other byte hands the rest to the full decoder, and the block
// is trimmed to the length that came out.
BSTR BstrFromUtf8(std::string_view text) {
  BSTR s = AllocBstr(text.size());
  if (s == nullptr) return nullptr;
  const std::size_t ascii = WidenAscii(reinterpret_cast<const unsigned char*>(text.data()), text.size(), s);
  if (ascii == text.size()) return s;
  return ShrinkBstr(s, ascii + halvane::utf::ToUtf16(text.substr(ascii), s + ascii));
}

std::string Utf8FromUnits(const OLECHAR* units, std::size_t count) {
  std::string out(count, '\0');
  if (NarrowIfAscii(units, count, out.data())) return out;
  const std::size_t ascii = NarrowAscii(units, count, out.data());
  out.resize(ascii);
  halvane::utf::AppendUtf8(out, units + ascii, count - ascii);
  return out;
}

std::string Utf8FromBstr(BSTR s) {
  if (s == nullptr) return std::string();
  return Utf8FromUnits(s, BstrByteLength(s) / sizeof(OLECHAR));
}

bool NarrowShortAscii(BSTR s, ShortText& out) {
  const std::size_t n = BstrByteLength(s) / sizeof(OLECHAR);
  if (n > sizeof out.bytes || !NarrowIfAscii(s, n, out.bytes)) return false;
  out.size = n;
  return true;
}

std::string Utf8FromOleString(const OLECHAR* s) {
  if (s == nullptr) return std::string();
  std::size_t len = 0;
  while (s[len] != 0) ++len;
  return Utf8FromUnits(s, len);
}

// The text before the first unit that is not ASCII, then the rest through
// the full transcoder.
void Utf8IntoStringSlow(BSTR s, std::size_t count, std::string& out) {
  const std::size_t ascii = NarrowAscii(s, count, out.data());
  out.resize(ascii);
  halvane::utf::AppendUtf8(out, s + ascii, count - ascii);
}

}  // namespace halvane::com

using halvane::com::BstrFromUtf8;
using halvane::com::Utf8FromBstr;

extern "C" {

HALVANE_API BSTR HalvaneSysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  std::size_t len = 0;
  while (psz[len] != 0) ++len;
  BSTR s = halvane::com::AllocBstr(len);
  if (s != nullptr && len != 0) std::memcpy(s, psz, len * sizeof(OLECHAR));
  return s;
}

HALVANE_API BSTR HalvaneSysAllocStringLen(const OLECHAR* pch, UINT cch) {
  BSTR s = halvane::com::AllocBstr(cch);
  if (s == nullptr || cch == 0) return s;
  if (pch != nullptr)
    std::memcpy(s, pch, cch * sizeof(OLECHAR));
  else
    std::memset(s, 0, cch * sizeof(OLECHAR));
  return s;
}

HALVANE_API void HalvaneSysFreeString(BSTR bstr) { halvane::com::FreeBstr(bstr); }

HALVANE_API UINT HalvaneSysStringLen(BSTR bstr) { return halvane::com::BstrByteLength(bstr) / sizeof(OLECHAR); }

HALVANE_API UINT HalvaneSysStringByteLen(BSTR bstr) { return halvane::com::BstrByteLength(bstr); }

HALVANE_API BSTR HalvaneSysAllocStringUtf8(const char* utf8, size_t len) {
  try {
    return BstrFromUtf8(std::string_view(utf8 == nullptr ? "" : utf8, utf8 == nullptr ? 0 : len));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HALVANE_API char* HalvaneSysStringToUtf8(BSTR bstr, size_t* len) {
  try {
    const std::string text = Utf8FromBstr(bstr);
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out == nullptr) return nullptr;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    if (len != nullptr) *len = text.size();
    return out;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HALVANE_API void HalvaneFreeUtf8(char* utf8) { std::free(utf8); }

HALVANE_API BSTR SysAllocString(const OLECHAR* psz) { return HalvaneSysAllocString(psz); }
HALVANE_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) { return HalvaneSysAllocStringLen(pch, cch); }
HALVANE_API void SysFreeString(BSTR bstr) { halvane::com::FreeBstr(bstr); }
HALVANE_API UINT SysStringLen(BSTR bstr) { return HalvaneSysStringLen(bstr); }
HALVANE_API UINT SysStringByteLen(BSTR bstr) { return HalvaneSysStringByteLen(bstr); }

}  // extern "C"
