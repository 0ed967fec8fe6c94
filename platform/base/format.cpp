#include "platform/base/format.h"

#include "platform/base/codepage.h"

namespace platform {
namespace detail {

void FormatStringError(const char* /*why*/) {}

}  // namespace detail

namespace {

template <class CharT>
void AppendAscii(std::basic_string<CharT>& out, std::string_view text) {
  for (char ch : text) out.push_back(static_cast<CharT>(static_cast<unsigned char>(ch)));
}

template <class CharT>
void AppendPadded(std::basic_string<CharT>& out, const std::basic_string<CharT>& body, int width, bool left,
                  CharT pad) {
  const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
  if (body.size() >= w) {
    out += body;
    return;
  }
  const std::size_t fill = w - body.size();
  if (left) {
    out += body;
    out.append(fill, CharT(' '));
  } else if (pad == CharT('0') && !body.empty() && body[0] == CharT('-')) {
    out.push_back(CharT('-'));
    out.append(fill, CharT('0'));
    out.append(body, 1);
  } else {
    out.append(fill, pad);
    out += body;
  }
}

std::string Digits(unsigned long long v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buf[32];
  int n = 0;
  do {
    buf[n++] = set[v % base];
    v /= base;
  } while (v != 0);
  std::string s;
  while (n > 0) s.push_back(buf[--n]);
  return s;
}

// Integer arguments follow printf's reinterpretation: %d of a 32-bit unsigned value shows it as
// signed, %u of a negative 32-bit value shows it as unsigned.
long long AsSigned(const FormatArg& a) {
  if (a.kind == FormatArg::Kind::Signed) return a.i;
  if (a.bits <= 32) return static_cast<long long>(static_cast<int>(static_cast<unsigned>(a.u)));
  return static_cast<long long>(a.u);
}

unsigned long long AsUnsigned(const FormatArg& a) {
  if (a.kind != FormatArg::Kind::Signed) return a.u;
  if (a.bits <= 32) return static_cast<unsigned>(static_cast<int>(a.i));
  return static_cast<unsigned long long>(a.i);
}

bool Fits(detail::Want want, const FormatArg& a) {
  switch (want) {
    case detail::Want::None:
      return false;
    case detail::Want::Integer:
    case detail::Want::Char:
      return a.kind == FormatArg::Kind::Signed || a.kind == FormatArg::Kind::Unsigned ||
             a.kind == FormatArg::Kind::Char;
    case detail::Want::Narrow:
      return a.kind == FormatArg::Kind::Narrow;
    case detail::Want::Wide:
      return a.kind == FormatArg::Kind::Wide;
  }
  return false;
}

template <class CharT>
std::basic_string<CharT> StringOf(const FormatArg& a, int precision) {
  std::basic_string<CharT> s;
  if (a.null) {
    AppendAscii(s, "(null)");
  } else if (a.kind == FormatArg::Kind::Narrow) {
    if constexpr (std::is_same_v<CharT, char>) {
      s.assign(a.narrow);
    } else {
      s = AnsiToWide(a.narrow);
    }
  } else {
    if constexpr (std::is_same_v<CharT, char>) {
      s = WideToAnsi(a.wide);
    } else {
      s.assign(a.wide);
    }
  }
  if (precision >= 0 && s.size() > static_cast<std::size_t>(precision)) s.resize(static_cast<std::size_t>(precision));
  return s;
}

template <class CharT>
std::basic_string<CharT> Run(std::basic_string_view<CharT> fmt, std::span<const FormatArg> args) {
  std::basic_string<CharT> out;
  out.reserve(fmt.size() + 16);
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < fmt.size()) {
    const CharT ch = fmt[i];
    if (ch != CharT('%')) {
      out.push_back(ch);
      ++i;
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == CharT('%')) {
      out.push_back(CharT('%'));
      i += 2;
      continue;
    }
    int width = 0, precision = -1;
    bool left = false, zero = false;
    CharT letter{};
    const detail::Conversion<CharT> c = detail::ParseConversion(fmt, i, &width, &precision, &left, &zero, &letter);
    const std::basic_string_view<CharT> literal = fmt.substr(i, c.next - i);
    if (c.want == detail::Want::None || next >= args.size()) {
      out.append(literal);
      i = c.next;
      continue;
    }
    const FormatArg& a = args[next++];
    if (!Fits(c.want, a)) {
      out.append(literal);
      i = c.next;
      continue;
    }
    std::basic_string<CharT> body;
    const CharT pad = zero && !left ? CharT('0') : CharT(' ');
    switch (c.want) {
      case detail::Want::Integer:
        if (letter == CharT('d') || letter == CharT('i')) {
          const long long v = AsSigned(a);
          if (v < 0) {
            AppendAscii(body, "-" + Digits(0ULL - static_cast<unsigned long long>(v), 10, false));
          } else {
            AppendAscii(body, Digits(static_cast<unsigned long long>(v), 10, false));
          }
        } else {
          const unsigned long long v = AsUnsigned(a);
          if (letter == CharT('u')) AppendAscii(body, Digits(v, 10, false));
          else AppendAscii(body, Digits(v, 16, letter == CharT('X')));
        }
        AppendPadded(out, body, width, left, pad);
        break;
      case detail::Want::Char: {
        // A character argument stands for one unit of the output's width; a wider code is cut
        // to that width, as the platform's %c does.
        const unsigned long long code = a.kind == FormatArg::Kind::Signed ? static_cast<unsigned long long>(a.i) : a.u;
        body.push_back(static_cast<CharT>(code));
        AppendPadded(out, body, width, left, CharT(' '));
        break;
      }
      case detail::Want::Narrow:
      case detail::Want::Wide:
        AppendPadded(out, StringOf<CharT>(a, precision), width, left, CharT(' '));
        break;
      case detail::Want::None:
        break;
    }
    i = c.next;
  }
  return out;
}

}  // namespace

std::string VFormat(std::string_view format, std::span<const FormatArg> args) { return Run<char>(format, args); }

std::u16string VFormat(std::u16string_view format, std::span<const FormatArg> args) {
  return Run<char16_t>(format, args);
}

}  // namespace platform
