// Conversions between byte text and UTF-16.
//
// CP_THREAD_ACP is the codeset of the process locale (the program calls setlocale(LC_ALL, "")
// at start). UTF-8 locales take a fast path; any other codeset goes through iconv. A conversion
// never fails on content: at the UTF-8 edges a byte that is not valid becomes U+FFFD; under the ANSI
// code page it becomes the lone surrogate U+DC00 + byte, which the reverse conversion turns back
// into the byte, so byte text that is not valid in the codeset (an interface name) survives the
// round trip. Drawing and the UTF-8 edges show such a surrogate as U+FFFD.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/types.h"

inline constexpr UINT CP_THREAD_ACP = 3;

// The one code page the program converts from is CP_THREAD_ACP, and it takes no flags.
// cbMultiByte == -1: the input ends at its zero byte, which is converted too.
// Returns 0 with ERROR_INSUFFICIENT_BUFFER or ERROR_INVALID_PARAMETER on failure.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wide,
                        int cchWideChar);

namespace platform {

// The edges of the program (X11, stderr, libcurl, file names) speak UTF-8.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Byte text in the process codeset, as CP_THREAD_ACP converts it.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);
// The byte that text[i] stands for when it is a lone surrogate kept by the ANSI code page; nothing
// otherwise.
std::optional<unsigned char> KeptByteAt(std::u16string_view text, std::size_t i);

// Length of a zero-terminated UTF-16 text.
// The code point that starts at text[i], moving i past it; a lone surrogate gives U+FFFD.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i);

std::size_t WideLength(const WCHAR* text);

}  // namespace platform
