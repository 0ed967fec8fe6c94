// CString: the framework's wide string (UTF-16), with its code-page conversion from byte text.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/format.h"
#include "platform/base/types.h"

class CString {
 public:
  CString() = default;
  CString(LPCWSTR text);  // NOLINT(google-explicit-constructor): the framework converts implicitly
  CString(LPCWSTR text, int length);
  CString(std::u16string_view text);  // NOLINT(google-explicit-constructor)
  // Byte text in the process codeset (CP_THREAD_ACP), converted.
  CString(LPCSTR text);  // NOLINT(google-explicit-constructor)
  explicit CString(WCHAR ch, int repeat = 1);

  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }
  LPCWSTR GetString() const { return text_.c_str(); }
  operator LPCWSTR() const { return text_.c_str(); }  // NOLINT(google-explicit-constructor)
  const std::u16string& Str() const { return text_; }
  WCHAR GetAt(int index) const { return text_.at(static_cast<std::size_t>(index)); }
  WCHAR operator[](int index) const { return GetAt(index); }

  CString& operator=(LPCWSTR text);
  CString& operator=(LPCSTR text);
  CString& operator+=(const CString& other);
  CString& operator+=(LPCWSTR text);
  CString& operator+=(WCHAR ch);
  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, LPCWSTR b);
  friend CString operator+(LPCWSTR a, const CString& b);

  // Ordinal comparison; <0, 0 or >0.
  int Compare(LPCWSTR other) const;
  // Ignores the case of the letters A to Z only, as the program's texts need.
  int CompareNoCase(LPCWSTR other) const;
  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
  friend bool operator==(const CString& a, LPCWSTR b) { return b && a.text_ == b; }

  CString Left(int count) const;
  CString Mid(int first, int count = -1) const;
  CString Right(int count) const;

  // A writable buffer of at least `minLength` characters plus a terminator; ReleaseBuffer takes
  // the text back (up to its first zero when `newLength` is -1).
  LPWSTR GetBuffer(int minLength = 0);
  void ReleaseBuffer(int newLength = -1);

  template <class... Args>
  void Format(platform::WFormatString<Args...> format, const Args&... args) {
    text_ = platform::Format<Args...>(format, args...);
  }
  template <class... Args>
  void AppendFormat(platform::WFormatString<Args...> format, const Args&... args) {
    text_ += platform::Format<Args...>(format, args...);
  }

 private:
  std::u16string text_;
};
