#include "platform/afx/gdi_objects.h"

#include <utility>

#include "platform/afx/app.h"
#include "platform/afx/temp_objects.h"

namespace {

using platform::afx::detail::Borrow;

// Gives an owner that holds no handle `handle`; FALSE for a null handle or an owner that holds one.
template <class H>
BOOL AttachHandle(H& owner, H handle) {
  if (!handle || owner) return FALSE;
  owner = handle;
  return TRUE;
}

}  // namespace

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ object) { return AttachHandle(m_hObject, object); }

HGDIOBJ CGdiObject::Detach() { return std::exchange(m_hObject, nullptr); }

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  return ::DeleteObject(Detach());
}

BOOL CGdiObject::CreateStockObject(int index) { return Attach(::GetStockObject(index)); }

CBitmap* CBitmap::FromHandle(HBITMAP bitmap) { return Borrow<CBitmap>(bitmap); }

BOOL CBitmap::LoadBitmap(LPCWSTR name) { return Attach(::LoadBitmapW(AfxGetResourceHandle(), name)); }

BOOL CBitmap::LoadBitmap(UINT id) { return LoadBitmap(MAKEINTRESOURCEW(static_cast<WORD>(id))); }

int CBitmap::GetBitmap(BITMAP* out) const { return ::GetObjectW(m_hObject, sizeof(BITMAP), out); }

CFont* CFont::FromHandle(HFONT font) { return Borrow<CFont>(font); }

BOOL CFont::CreateFontIndirect(const LOGFONTW* logFont) { return Attach(::CreateFontIndirectW(logFont)); }

CBrush::CBrush(COLORREF color) { Attach(::CreateSolidBrush(color)); }

CDC::~CDC() {
  if (m_hDC) ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC hdc) { return Borrow<CDC>(hdc); }

BOOL CDC::Attach(HDC hdc) { return AttachHandle(m_hDC, hdc); }

HDC CDC::Detach() { return std::exchange(m_hDC, nullptr); }

BOOL CDC::CreateCompatibleDC(CDC* other) { return Attach(::CreateCompatibleDC(other ? other->m_hDC : nullptr)); }

int CDC::SaveDC() { return ::SaveDC(m_hDC); }
BOOL CDC::RestoreDC(int savedDepth) { return ::RestoreDC(m_hDC, savedDepth); }

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  HGDIOBJ old = ::SelectObject(m_hDC, bitmap ? bitmap->m_hObject : nullptr);
  return CBitmap::FromHandle(static_cast<HBITMAP>(old));
}

CFont* CDC::SelectObject(CFont* font) {
  HGDIOBJ old = ::SelectObject(m_hDC, font ? font->m_hObject : nullptr);
  return CFont::FromHandle(static_cast<HFONT>(old));
}

int CDC::SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
COLORREF CDC::SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource, DWORD rop) {
  return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSource, ySource, rop);
}

void CDC::FillRect(LPCRECT rect, CBrush* brush) {
  ::FillRect(m_hDC, rect, brush ? static_cast<HBRUSH>(brush->m_hObject) : nullptr);
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
  return ::DrawTextW(m_hDC, text.GetString(), text.GetLength(), rect, format);
}

int CDC::DrawText(LPCWSTR text, int length, LPRECT rect, UINT format) { return ::DrawTextW(m_hDC, text, length, rect, format); }

BOOL CDC::DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
