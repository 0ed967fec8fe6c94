#include "platform/afx/cstring.h"

#include <algorithm>

#include "platform/base/codepage.h"

CString::CString(LPCWSTR text) : text_(text ? text : u"") {}

CString::CString(LPCWSTR text, int length) {
  if (text && length > 0) text_.assign(text, static_cast<std::size_t>(length));
}

CString::CString(std::u16string_view text) : text_(text) {}

CString::CString(LPCSTR text) {
  if (text) text_ = platform::AnsiToWide(text);
}

CString::CString(WCHAR ch, int repeat) : text_(static_cast<std::size_t>(std::max(repeat, 0)), ch) {}

CString& CString::operator=(LPCWSTR text) {
  text_ = text ? text : u"";
  return *this;
}

CString& CString::operator=(LPCSTR text) {
  text_ = text ? platform::AnsiToWide(text) : std::u16string();
  return *this;
}

CString& CString::operator+=(const CString& other) {
  text_ += other.text_;
  return *this;
}

CString& CString::operator+=(LPCWSTR text) {
  if (text) text_ += text;
  return *this;
}

CString& CString::operator+=(WCHAR ch) {
  text_ += ch;
  return *this;
}

CString operator+(const CString& a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}

CString operator+(const CString& a, LPCWSTR b) {
  CString r(a);
  r += b;
  return r;
}

CString operator+(LPCWSTR a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}

int CString::Compare(LPCWSTR other) const {
  const std::u16string_view o = other ? std::u16string_view(other) : std::u16string_view();
  const int c = std::u16string_view(text_).compare(o);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
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

CString CString::Left(int count) const {
  return CString(std::u16string_view(text_).substr(0, static_cast<std::size_t>(std::clamp(count, 0, GetLength()))));
}

CString CString::Mid(int first, int count) const {
  first = std::clamp(first, 0, GetLength());
  const int rest = GetLength() - first;
  count = (count < 0 || count > rest) ? rest : count;
  return CString(std::u16string_view(text_).substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const {
  count = std::clamp(count, 0, GetLength());
  return Mid(GetLength() - count);
}

LPWSTR CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) text_.resize(static_cast<std::size_t>(minLength));
  return text_.data();
}

void CString::ReleaseBuffer(int newLength) {
  if (newLength < 0) {
    const auto end = text_.find(u'\0');
    if (end != std::u16string::npos) text_.resize(end);
  } else {
    text_.resize(std::min(static_cast<std::size_t>(newLength), text_.size()));
  }
}
