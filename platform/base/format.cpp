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

template <class CharT>
std::basic_string<CharT> StringOf(const FormatArg& a) {
  std::basic_string<CharT> s;
  if (a.null) {
    AppendAscii(s, "(null)");
  } else if constexpr (!std::is_same_v<CharT, char>) {
    s.assign(a.wide);
  } else if (a.kind == FormatArg::Kind::Narrow) {
    s.assign(a.narrow);
  } else {
    s = WideToAnsi(a.wide);
  }
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
    const detail::Conversion c = detail::ParseConversion(fmt, i);
    const std::basic_string_view<CharT> literal = fmt.substr(i, c.next - i);
    if (c.want == detail::Want::None || next >= args.size()) {
      out.append(literal);
      i = c.next;
      continue;
    }
    const FormatArg& a = args[next++];
    if (!detail::Accepts(c.want, a.kind)) {
      out.append(literal);
      i = c.next;
      continue;
    }
    switch (c.want) {
      case detail::Want::Integer:
        AppendAscii(out, c.letter == 'd' ? std::to_string(AsSigned(a)) : std::to_string(AsUnsigned(a)));
        break;
      case detail::Want::Char:
        // A character argument stands for one unit of the output's width; a wider code is cut
        // to that width, as the platform's %c does.
        out.push_back(static_cast<CharT>(a.kind == FormatArg::Kind::Signed ? static_cast<unsigned long long>(a.i) : a.u));
        break;
      case detail::Want::Narrow:
      case detail::Want::Wide:
        out += StringOf<CharT>(a);
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
