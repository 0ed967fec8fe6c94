// CString: the framework's wide string (UTF-16).
#pragma once

#include <string>

#include "platform/base/format.h"
#include "platform/base/types.h"

class CString {
 public:
  CString() = default;

  int GetLength() const { return static_cast<int>(text_.size()); }
  void Empty() { text_.clear(); }
  LPCWSTR GetString() const { return text_.c_str(); }
  operator LPCWSTR() const { return text_.c_str(); }  // NOLINT(google-explicit-constructor)

  CString& operator=(LPCWSTR text);
  CString& operator+=(const CString& other);

  // Ignores the case of the letters A to Z only, as the program's texts need; <0, 0 or >0.
  int CompareNoCase(LPCWSTR other) const;

  template <class... Args>
  void Format(platform::WFormatString<Args...> format, const Args&... args) {
    text_ = platform::Format<Args...>(format, args...);
  }

 private:
  std::u16string text_;
};
