#include "platform/afx/cstring.h"

#include <algorithm>
#include <string_view>

CString& CString::operator=(LPCWSTR text) {
  text_ = text ? text : u"";
  return *this;
}

CString& CString::operator+=(const CString& other) {
  text_ += other.text_;
  return *this;
}

int CString::CompareNoCase(LPCWSTR other) const {
  auto fold = [](char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; };
  const std::u16string_view o = other ? std::u16string_view(other) : std::u16string_view();
  const std::size_t n = std::min(text_.size(), o.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t a = fold(text_[i]), b = fold(o[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (text_.size() == o.size()) return 0;
  return text_.size() < o.size() ? -1 : 1;
}
