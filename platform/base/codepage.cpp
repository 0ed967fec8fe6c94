#include "platform/base/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

#include "platform/base/errors.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// A byte that is not text in the codeset is kept as a lone low surrogate U+DC00 + byte, which no
// valid text holds, so that converting back gives the byte again: a name that is not valid in the
// locale's codeset (an interface name is any bytes the kernel accepts) still names the same thing
// after a round trip. Whatever shows the text (drawing, the UTF-8 edges) shows such a surrogate as
// U+FFFD; encoding for the ANSI code page gives the byte back.
char16_t KeptByte(unsigned char byte) { return static_cast<char16_t>(0xDC00 + byte); }

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Strict UTF-8: overlong forms, surrogates and values past U+10FFFF are invalid. Each byte that
// cannot start or continue a valid sequence is kept as one character.
std::u16string DecodeUtf8(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    // How many bytes follow the first, the first's bits of the value, and the least value the
    // sequence's length may hold.
    std::size_t extra = 0;
    char32_t cp = b0, min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      extra = 3, cp = b0 & 0x07, min = 0x10000;
    }
    bool ok = b0 < 0x80 || (extra > 0 && i + extra < in.size());
    for (std::size_t k = 1; ok && k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(in[i + k]);
      ok = (b & 0xC0) == 0x80;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (ok && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
      AppendCodePoint(out, cp);
      i += extra + 1;
    } else {
      out.push_back(KeptByte(b0));
      ++i;
    }
  }
  return out;
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// A lone low surrogate that stands for a byte the decoding kept (see KeptByte).
bool IsKeptByte(std::u16string_view in, std::size_t i) {
  return in[i] >= 0xDC00 && in[i] <= 0xDCFF && (i == 0 || !IsHigh(in[i - 1]));
}

// What encoding makes of a lone surrogate: U+FFFD, or for a kept byte the byte itself.
enum class Invalid { kReplace, kKeep };

std::string EncodeUtf8(std::u16string_view in, Invalid invalid = Invalid::kReplace) {
  static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};  // by the bytes that follow
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    if (invalid == Invalid::kKeep && IsKeptByte(in, i)) {
      out.push_back(static_cast<char>(in[i++] - 0xDC00));
      continue;
    }
    const char32_t cp = platform::NextCodePoint(in, i);
    const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out.push_back(static_cast<char>(kLead[extra] | (cp >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k) out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
  }
  return out;
}

// The plain C locale reports ASCII; ASCII is a subset of UTF-8, and the byte texts this program
// meets on Linux (interface names, SSIDs) are UTF-8 in practice, so both take the UTF-8 path.
bool ProcessCodesetIsUtf8(const char* codeset) {
  return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0 ||
         strcmp(codeset, "ANSI_X3.4-1968") == 0 || strcmp(codeset, "ASCII") == 0;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

std::u16string DecodeCodeset(const char* codeset, std::string_view in) {
  Iconv cd("UTF-16LE", codeset);
  if (!cd.ok()) return DecodeUtf8(in);
  std::u16string out;
  std::size_t pos = 0;
  char buf[512];
  while (pos < in.size()) {
    char* src = const_cast<char*>(in.data() + pos);
    std::size_t srcLeft = in.size() - pos;
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    const std::size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    const int err = errno;
    for (char* p = buf; p + 1 < dst; p += 2) {
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8)));
    }
    pos = in.size() - srcLeft;
    if (r == static_cast<std::size_t>(-1) && err != E2BIG) {
      // EILSEQ or EINVAL: one byte cannot be converted; keep it and start afresh after it.
      out.push_back(KeptByte(static_cast<unsigned char>(in[pos])));
      ++pos;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

std::string EncodeCodeset(const char* codeset, std::u16string_view in) {
  Iconv cd(codeset, "UTF-16LE");
  if (!cd.ok()) return EncodeUtf8(in, Invalid::kKeep);
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (IsKeptByte(in, i)) {
      out.push_back(static_cast<char>(in[i] - 0xDC00));
      continue;
    }
    char16_t unit[1] = {in[i]};
    char* src = reinterpret_cast<char*>(unit);
    std::size_t srcLeft = 2;
    char buf[16];
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    if (iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
      out.push_back('?');
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    out.append(buf, dst);
  }
  return out;
}

// Byte text in the process codeset.
std::u16string DecodeAnsi(std::string_view in) {
  const char* codeset = nl_langinfo(CODESET);
  if (ProcessCodesetIsUtf8(codeset)) return DecodeUtf8(in);
  return DecodeCodeset(codeset, in);
}

std::string EncodeAnsi(std::u16string_view in) {
  const char* codeset = nl_langinfo(CODESET);
  if (ProcessCodesetIsUtf8(codeset)) return EncodeUtf8(in, Invalid::kKeep);
  return EncodeCodeset(codeset, in);
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wide,
                        int cchWideChar) {
  if (codePage != CP_THREAD_ACP || flags != 0 || multiByte == nullptr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar <= 0 || wide == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t len = cbMultiByte == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(cbMultiByte);
  const std::u16string out = DecodeAnsi(std::string_view(multiByte, len));
  if (out.size() > static_cast<std::size_t>(cchWideChar)) return platform::FailWith(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(wide, out.data(), out.size() * sizeof(WCHAR));
  return static_cast<int>(out.size());
}

namespace platform {

std::string Utf16ToUtf8(std::u16string_view utf16) { return EncodeUtf8(utf16); }

std::u16string AnsiToWide(std::string_view text) { return DecodeAnsi(text); }

std::string WideToAnsi(std::u16string_view text) { return EncodeAnsi(text); }

std::optional<unsigned char> KeptByteAt(std::u16string_view text, std::size_t i) {
  if (!IsKeptByte(text, i)) return std::nullopt;
  return static_cast<unsigned char>(text[i] - 0xDC00);
}

char32_t NextCodePoint(std::u16string_view text, std::size_t& i) {
  const char16_t u = text[i++];
  if (IsHigh(u) && i < text.size() && IsLow(text[i])) return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i++] - 0xDC00);
  return IsHigh(u) || IsLow(u) ? kReplacement : u;
}

std::size_t WideLength(const WCHAR* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace platform
