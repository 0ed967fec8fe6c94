// Conversions between byte text and UTF-16.
//
// CP_THREAD_ACP is the codeset of the process locale (the program calls setlocale(LC_ALL, "")
// at start). UTF-8 locales take a fast path; any other codeset goes through iconv. A conversion
// never fails on content: under CP_UTF8 a byte that is not valid becomes U+FFFD; under the ANSI code
// pages it becomes the lone surrogate U+DC00 + byte, which the reverse conversion turns back into
// the byte, so byte text that is not valid in the codeset (an interface name) survives the round
// trip. Drawing and the UTF-8 edges show such a surrogate as U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;

// cbMultiByte == -1: the input ends at its zero byte, which is converted too.
// cchWideChar == 0: only the needed length (in WCHARs) is returned.
// Returns 0 with ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER or
// ERROR_NO_UNICODE_TRANSLATION (only with MB_ERR_INVALID_CHARS) on failure.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wide,
                        int cchWideChar);

// The reverse direction; an unpaired surrogate becomes U+FFFD in UTF-8 or '?' elsewhere, except
// the bytes the ANSI code pages kept.
// The two trailing arguments exist for the call's shape and must be null.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int cchWideChar, LPSTR multiByte,
                        int cbMultiByte, LPCSTR defaultChar, BOOL* usedDefaultChar);

namespace platform {

// The edges of the program (X11, stderr, libcurl, file names) speak UTF-8.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Byte text in the process codeset, as CP_THREAD_ACP converts it.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

// Length of a zero-terminated UTF-16 text.
std::size_t WideLength(const WCHAR* text);

}  // namespace platform
