// printf-style formatting for byte and UTF-16 formats.
//
// Conversions: %d %u %c %s %%, the ones the program's formats use. In a wide format %s takes a
// wide string, in a byte format a byte string, and %ws a wide string, as the platform's printf
// family does.
//
// A format known at compile time is checked against its arguments' types and count; a mismatch
// does not compile. At run time the formatter never reads past its arguments: a conversion it
// cannot expand (unknown, %n included, out of arguments, or an argument of the wrong kind) is
// copied to the output as it stands in the format.
#pragma once

#include <concepts>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

struct FormatArg {
  enum class Kind { Signed, Unsigned, Char, Narrow, Wide };
  Kind kind = Kind::Signed;
  long long i = 0;           // Signed
  unsigned long long u = 0;  // Unsigned, Char (code value)
  int bits = 32;             // width of an integer argument, for %d of unsigned and %u of signed
  std::string_view narrow;   // Narrow
  std::u16string_view wide;  // Wide
  bool null = false;         // a null string pointer
};

std::string VFormat(std::string_view format, std::span<const FormatArg> args);
std::u16string VFormat(std::u16string_view format, std::span<const FormatArg> args);

namespace detail {

template <class T>
using Bare = std::remove_cvref_t<std::decay_t<T>>;

template <class T>
inline constexpr bool kIsCharType =
    std::is_same_v<Bare<T>, char> || std::is_same_v<Bare<T>, signed char> || std::is_same_v<Bare<T>, unsigned char> ||
    std::is_same_v<Bare<T>, char8_t> || std::is_same_v<Bare<T>, char16_t> || std::is_same_v<Bare<T>, char32_t> ||
    std::is_same_v<Bare<T>, wchar_t>;

template <class T>
inline constexpr bool kIsNarrowString =
    std::is_same_v<Bare<T>, const char*> || std::is_same_v<Bare<T>, char*> || std::is_same_v<Bare<T>, std::string> ||
    std::is_same_v<Bare<T>, std::string_view> || std::is_same_v<Bare<T>, const unsigned char*> ||
    std::is_same_v<Bare<T>, unsigned char*>;

template <class T>
inline constexpr bool kIsWideString = std::is_same_v<Bare<T>, const char16_t*> || std::is_same_v<Bare<T>, char16_t*> ||
                                      std::is_same_v<Bare<T>, std::u16string> ||
                                      std::is_same_v<Bare<T>, std::u16string_view>;

template <class T>
consteval FormatArg::Kind KindOf() {
  if constexpr (kIsCharType<T>) {
    return FormatArg::Kind::Char;
  } else if constexpr (std::is_same_v<Bare<T>, bool>) {
    static_assert(!std::is_same_v<Bare<T>, bool>, "bool is not a format argument");
    return FormatArg::Kind::Signed;
  } else if constexpr (std::is_integral_v<Bare<T>> || std::is_enum_v<Bare<T>>) {
    using I = std::conditional_t<std::is_enum_v<Bare<T>>, std::underlying_type<Bare<T>>, std::type_identity<Bare<T>>>;
    return std::is_signed_v<typename I::type> ? FormatArg::Kind::Signed : FormatArg::Kind::Unsigned;
  } else if constexpr (kIsNarrowString<T>) {
    return FormatArg::Kind::Narrow;
  } else if constexpr (kIsWideString<T>) {
    return FormatArg::Kind::Wide;
  } else {
    static_assert(kIsNarrowString<T> || kIsWideString<T>, "unsupported format argument type");
    return FormatArg::Kind::Signed;
  }
}

// A string argument as a view: an array up to its first zero or its end, never past it; a null
// pointer as `null`.
template <class View, class T>
View StringArg(const T& v, bool& null) {
  using C = typename View::value_type;
  if constexpr (std::is_array_v<std::remove_cvref_t<T>>) {
    const View all(reinterpret_cast<const C*>(v), std::extent_v<std::remove_cvref_t<T>>);
    return all.substr(0, all.find(C{}));
  } else if constexpr (std::is_pointer_v<Bare<T>>) {
    null = v == nullptr;
    return null ? View() : View(reinterpret_cast<const C*>(v));
  } else {
    return View(v);
  }
}

template <class T>
FormatArg MakeArg(const T& v) {
  FormatArg a;
  a.kind = KindOf<T>();
  a.bits = static_cast<int>(sizeof(T) * 8);
  if constexpr (kIsCharType<T>) {
    a.u = static_cast<unsigned long long>(static_cast<std::make_unsigned_t<Bare<T>>>(v));
  } else if constexpr (std::is_integral_v<Bare<T>> || std::is_enum_v<Bare<T>>) {
    using I = std::conditional_t<std::is_enum_v<Bare<T>>, std::underlying_type<Bare<T>>, std::type_identity<Bare<T>>>;
    const auto x = static_cast<typename I::type>(v);
    a.i = static_cast<long long>(x);
    a.u = static_cast<unsigned long long>(x);
  } else if constexpr (kIsNarrowString<T>) {
    a.narrow = StringArg<std::string_view>(v, a.null);
  } else if constexpr (kIsWideString<T>) {
    a.wide = StringArg<std::u16string_view>(v, a.null);
  }
  return a;
}

// Reached only while checking a format at compile time; calling it there is the error.
void FormatStringError(const char* why);

// The expected argument kind of one conversion, or a non-conversion.
enum class Want { None, Integer, Char, Narrow, Wide };

struct Conversion {
  std::size_t next = 0;  // index just past the conversion
  Want want = Want::None;
  char letter = 0;
};

// Parses the conversion that starts at fmt[pos] == '%'. Shared by the compile-time check and the
// run-time formatter so that both agree on what a conversion is.
template <class CharT>
constexpr Conversion ParseConversion(std::basic_string_view<CharT> fmt, std::size_t pos) {
  Conversion c;
  std::size_t i = pos + 1;
  const bool widePrefix = i < fmt.size() && fmt[i] == 'w';
  if (widePrefix) ++i;
  c.next = i;
  if (i >= fmt.size()) return c;
  switch (fmt[i]) {
    case 'd':
    case 'u':
      c.want = Want::Integer;
      break;
    case 'c':
      c.want = Want::Char;
      break;
    case 's':
      c.want = widePrefix || !std::is_same_v<CharT, char> ? Want::Wide : Want::Narrow;
      break;
    default:
      return c;
  }
  c.letter = static_cast<char>(fmt[i]);
  c.next = i + 1;
  return c;
}

// Whether an argument of `kind` can fill a conversion that wants `want`.
constexpr bool Accepts(Want want, FormatArg::Kind kind) {
  switch (want) {
    case Want::None:
      return false;
    case Want::Integer:
    case Want::Char:
      return kind == FormatArg::Kind::Signed || kind == FormatArg::Kind::Unsigned || kind == FormatArg::Kind::Char;
    case Want::Narrow:
      return kind == FormatArg::Kind::Narrow;
    case Want::Wide:
      return kind == FormatArg::Kind::Wide;
  }
  return false;
}

template <class CharT, class... Args>
consteval void CheckFormat(std::basic_string_view<CharT> fmt) {
  constexpr FormatArg::Kind kinds[] = {KindOf<Args>()..., FormatArg::Kind::Signed};
  constexpr std::size_t count = sizeof...(Args);
  std::size_t used = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      ++i;
      continue;
    }
    const Conversion c = ParseConversion(fmt, i);
    if (c.want == Want::None) FormatStringError("the format holds a conversion that cannot be expanded");
    if (used >= count) FormatStringError("the format has more conversions than arguments");
    if (!Accepts(c.want, kinds[used])) FormatStringError("a format argument does not match its conversion");
    ++used;
    i = c.next - 1;
  }
  if (used != count) FormatStringError("the format has fewer conversions than arguments");
}

}  // namespace detail

// A format string checked against the argument types at compile time.
template <class CharT, class... Args>
class BasicFormatString {
 public:
  template <class S>
    requires std::convertible_to<const S&, std::basic_string_view<CharT>>
  consteval BasicFormatString(const S& s) : str_(s) {  // NOLINT(google-explicit-constructor)
    detail::CheckFormat<CharT, Args...>(str_);
  }
  constexpr std::basic_string_view<CharT> get() const { return str_; }

 private:
  std::basic_string_view<CharT> str_;
};

template <class... Args>
using FormatString = BasicFormatString<char, std::type_identity_t<Args>...>;
template <class... Args>
using WFormatString = BasicFormatString<char16_t, std::type_identity_t<Args>...>;

template <class... Args>
std::string Format(FormatString<Args...> fmt, const Args&... args) {
  const FormatArg list[] = {detail::MakeArg(args)..., FormatArg{}};
  return VFormat(fmt.get(), std::span<const FormatArg>(list, sizeof...(Args)));
}

template <class... Args>
std::u16string Format(WFormatString<Args...> fmt, const Args&... args) {
  const FormatArg list[] = {detail::MakeArg(args)..., FormatArg{}};
  return VFormat(fmt.get(), std::span<const FormatArg>(list, sizeof...(Args)));
}

// Formats into a fixed buffer. The result is always zero-terminated; a result that does not fit
// is cut at the buffer's end and -1 is returned, otherwise the number of characters written.
template <class CharT>
int CopyToBuffer(std::span<CharT> buffer, std::basic_string_view<CharT> text) {
  if (buffer.empty()) return -1;
  const std::size_t n = text.size() < buffer.size() ? text.size() : buffer.size() - 1;
  for (std::size_t k = 0; k < n; ++k) buffer[k] = text[k];
  buffer[n] = CharT{};
  return n == text.size() ? static_cast<int>(n) : -1;
}

}  // namespace platform

// The fixed-buffer forms the program's code calls.
template <std::size_t N, class... Args>
int sprintf_s(char (&buffer)[N], platform::FormatString<Args...> fmt, const Args&... args) {
  const std::string text = platform::Format<Args...>(fmt, args...);
  return platform::CopyToBuffer<char>(std::span<char>(buffer, N), text);
}

template <std::size_t N, class... Args>
int swprintf_s(char16_t (&buffer)[N], platform::WFormatString<Args...> fmt, const Args&... args) {
  const std::u16string text = platform::Format<Args...>(fmt, args...);
  return platform::CopyToBuffer<char16_t>(std::span<char16_t>(buffer, N), text);
}
