// Drawing: device contexts over 32-bit framebuffers, bitmaps, brushes, fonts, text and icons.
//
// This header is the contract between the drawing layer and the window system; the window
// system makes the device contexts of windows with CreateSurfaceDC.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/base/resources.h"
#include "platform/base/types.h"

#define VELMOR_DECLARE_HANDLE(name) \
  struct name##__;                  \
  using name = name##__*

VELMOR_DECLARE_HANDLE(HDC);
VELMOR_DECLARE_HANDLE(HBITMAP);
VELMOR_DECLARE_HANDLE(HBRUSH);
VELMOR_DECLARE_HANDLE(HFONT);
VELMOR_DECLARE_HANDLE(HICON);
VELMOR_DECLARE_HANDLE(HRGN);
using HGDIOBJ = void*;
using HCURSOR = HICON;

// Stock objects.
inline constexpr int WHITE_BRUSH = 0;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int DEFAULT_GUI_FONT = 17;

// Background modes.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

// Raster operation.
inline constexpr DWORD SRCCOPY = 0x00CC0020;

// DrawText formats.
inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_VCENTER = 0x0004;
inline constexpr UINT DT_WORDBREAK = 0x0010;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_EXPANDTABS = 0x0040;
inline constexpr UINT DT_CALCRECT = 0x0400;
inline constexpr UINT DT_NOPREFIX = 0x0800;

// System colours (GetSysColor): the classic palette.
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;

// Font weights and fields.
inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_BOLD = 700;
inline constexpr int LF_FACESIZE = 32;

struct LOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

// What SetTextColor and SetBkColor return for a bad device context.
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

struct TEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;  // the mean advance of 'A'..'Z' and 'a'..'z', as dialog units need it
  LONG tmMaxCharWidth;
  LONG tmWeight;
};

// Device contexts.
HDC CreateCompatibleDC(HDC hdc);  // a memory DC; a 1x1 placeholder bitmap is selected until another is
BOOL DeleteDC(HDC hdc);
int SaveDC(HDC hdc);                      // returns the new depth (>= 1), 0 on failure
BOOL RestoreDC(HDC hdc, int savedDepth);  // a depth SaveDC returned
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);  // returns the previous object of that kind, null on failure
int SetBkMode(HDC hdc, int mode);                // returns the previous mode
COLORREF SetTextColor(HDC hdc, COLORREF color);  // returns the previous colour
COLORREF SetBkColor(HDC hdc, COLORREF color);
BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int x1, int y1, DWORD rop);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);  // never given NULL_BRUSH, which marks a transparent label
// The formats above; returns the height of the text drawn (with DT_VCENTER on a single line:
// from rect->top to the bottom of the text), 0 on failure. Without DT_NOPREFIX,
// "&&" draws "&" and "&x" underlines x. DT_WORDBREAK breaks at spaces and between Japanese
// characters; a word wider than the rectangle stays whole and is clipped.
// Lays the glyphs over what is there, whatever the background mode: every control of the program
// draws its text transparent. On a surface of a larger scale the glyphs are rendered at that
// many times the font's size and laid out in the surface's own pixels; heights and widths come
// back in the DC's pixels, rounded up.
int DrawTextW(HDC hdc, LPCWSTR text, int length, RECT* rect, UINT format);
// The selected font's metrics at its own size, whatever the scale of the DC's surface.
BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* metrics);

// Objects.
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int which);
// Stock objects are never deleted (TRUE all the same). An object still selected into a DC goes
// once that DC lets go of it; its handle is invalid at once.
BOOL DeleteObject(HGDIOBJ object);
int GetObjectW(HGDIOBJ object, int size, LPVOID out);  // BITMAP of a bitmap, LOGFONTW of a font
HFONT CreateFontIndirectW(const LOGFONTW* logFont);
// Resources of platform::ResourceModule(); a null instance (the system's own) finds nothing.
// A 24-bit BMP resource (RT_BITMAP_ID). Copied onto a DC of a larger scale, the resource's
// picture at that scale stands in for it (the size it reports stays its own); without one, each
// of its pixels becomes a square of that many.
HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name);
// An icon resource (RT_GROUP_ICON_ID: the bytes of a .ico file), with the images that its
// resource at scale 2 adds. Icons are shared: loading the same resource again gives the same
// handle, and DestroyIcon leaves it valid.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
// The SM_CXICON-sized image (the 32-bit one when there are both), alpha-blended; on a DC of a
// larger scale the image of that many more pixels, or else the SM_CXICON one with each pixel
// made a square. FALSE when the icon has no image of that size.
BOOL DrawIcon(HDC hdc, int x, int y, HICON icon);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);  // null instance: IDC_ARROW and the like
inline constexpr WORD OCR_NORMAL = 32512;
inline constexpr WORD OCR_SIZEALL = 32646;
inline constexpr WORD OCR_HAND = 32649;
inline LPCWSTR const IDC_ARROW = MAKEINTRESOURCEW(OCR_NORMAL);
inline LPCWSTR const IDC_SIZEALL = MAKEINTRESOURCEW(OCR_SIZEALL);
inline LPCWSTR const IDC_HAND = MAKEINTRESOURCEW(OCR_HAND);

COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);

namespace platform::gdi {

// The side of an icon's standard image (SM_CXICON).
inline constexpr int kIconSize = 32;

// A 32-bit framebuffer: one 0x00RRGGBB word per pixel, rows top to bottom, `width` by `height`
// of them. On a screen that shows windows larger than their size, `scale` of its pixels stand
// for one of the window's in each direction: what is drawn on it is given in those larger
// pixels and drawn with the detail of the small ones.
struct Surface {
  int width = 0;
  int height = 0;
  int scale = 1;
  std::vector<std::uint32_t> pixels;
  Surface(int w, int h, int s = 1) : width(w), height(h), scale(s), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {}
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

// A device context that draws on `surface` with its logical (0, 0) at `origin` and every
// drawing clipped to `clip` and to the surface; both in the surface's larger pixels (its own
// divided by its scale). Released with DeleteDC.
HDC CreateSurfaceDC(std::shared_ptr<Surface> surface, POINT origin, RECT clip);

// The bitmap selected into a memory DC, as a surface (tests read pixels through it): the
// picture at its own size.
std::shared_ptr<Surface> BitmapSurface(HBITMAP bitmap);

// The icon's image of `size` pixels square (the 32-bit one when there are both) as ARGB
// (0xAARRGGBB, not premultiplied); empty when the icon has no such image.
std::vector<std::uint32_t> IconImage(HICON icon, int size);

// The number of live drawing objects (bitmaps, brushes, fonts, DCs, icons), for leak tests.
// Stock objects, system colour brushes and the shared icons and cursors of LoadIconW and
// LoadCursorW are the system's, not the caller's, and are not counted.
std::size_t LiveObjectCount();

// The cursor state behind SetCursor: makes `cursor` the current one and gives the one before;
// false, changing nothing, for a handle that is no cursor.
bool SwapCursor(HCURSOR cursor, HCURSOR* previous);
// Closes the font faces opened to render text; rendered glyphs stay cached, and a face opens
// again when a glyph not yet cached needs it. FreeType's tables for a CJK face take about 1 MB
// and a window draws new text seldom: the window thread calls this when it is about to wait
// with nothing left to do.
void ReleaseFontFaces();

// The IDC_ id a cursor of LoadCursorW stands for (32512 for IDC_ARROW, ...); 0 for anything else.
WORD SystemCursorId(HCURSOR cursor);

}  // namespace platform::gdi
