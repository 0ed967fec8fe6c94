// The framework's drawing objects: RAII owners of gdi handles, and CDC over a device context.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/gdi/gdi.h"

class CObject {
 public:
  virtual ~CObject() = default;
};

// Owns its handle: the destructor deletes it (stock objects are left alone by the drawing
// layer). Objects made by FromHandle only borrow theirs and live until the current message ends.
class CGdiObject : public CObject {
 public:
  CGdiObject() = default;
  ~CGdiObject() override;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ m_hObject = nullptr;

  operator HGDIOBJ() const { return m_hObject; }  // NOLINT(google-explicit-constructor)
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  BOOL Attach(HGDIOBJ object);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  BOOL CreateStockObject(int index);
};

class CBitmap : public CGdiObject {
 public:
  static CBitmap* FromHandle(HBITMAP bitmap);
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }  // NOLINT(google-explicit-constructor)
  // From the application's resource module.
  BOOL LoadBitmap(LPCWSTR name);
  BOOL LoadBitmap(UINT id);
  int GetBitmap(BITMAP* out) const;
};

class CFont : public CGdiObject {
 public:
  static CFont* FromHandle(HFONT font);
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }  // NOLINT(google-explicit-constructor)
  BOOL CreateFontIndirect(const LOGFONTW* logFont);
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color);
};

// A device context. One made by CreateCompatibleDC is deleted with the object; one attached
// with Attach or borrowed through FromHandle is not its own and must be detached.
class CDC : public CObject {
 public:
  CDC() = default;
  ~CDC() override;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC m_hDC = nullptr;

  static CDC* FromHandle(HDC hdc);
  operator HDC() const { return m_hDC; }  // NOLINT(google-explicit-constructor)
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL Attach(HDC hdc);
  HDC Detach();
  BOOL CreateCompatibleDC(CDC* other);

  int SaveDC();
  BOOL RestoreDC(int savedDepth);
  CBitmap* SelectObject(CBitmap* bitmap);
  CFont* SelectObject(CFont* font);
  int SetBkMode(int mode);
  COLORREF SetTextColor(COLORREF color);
  BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource, DWORD rop);
  void FillRect(LPCRECT rect, CBrush* brush);
  int DrawText(const CString& text, LPRECT rect, UINT format);
  int DrawText(LPCWSTR text, int length, LPRECT rect, UINT format);
  BOOL DrawIcon(int x, int y, HICON icon);
};

namespace platform::afx {
// Frees the objects FromHandle lent out on this thread (called once the outermost message of
// the thread is done).
void ClearTemporaryObjects();
}  // namespace platform::afx
