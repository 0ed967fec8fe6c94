// Stock objects, system colours, system metrics.
#include <array>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/stock.h"

using namespace platform::gdi::detail;

namespace {

constexpr int kSysColorCount = 31;

// The system colours of a freshly installed Windows 7 in its default theme, index by index.
constexpr std::array<COLORREF, kSysColorCount> kSysColors = {
    RGB(200, 200, 200),  // COLOR_SCROLLBAR
    RGB(0, 0, 0),        // COLOR_BACKGROUND
    RGB(153, 180, 209),  // COLOR_ACTIVECAPTION
    RGB(191, 205, 219),  // COLOR_INACTIVECAPTION
    RGB(240, 240, 240),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(100, 100, 100),  // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(0, 0, 0),        // COLOR_CAPTIONTEXT
    RGB(180, 180, 180),  // COLOR_ACTIVEBORDER
    RGB(244, 247, 252),  // COLOR_INACTIVEBORDER
    RGB(171, 171, 171),  // COLOR_APPWORKSPACE
    RGB(51, 153, 255),   // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(240, 240, 240),  // COLOR_BTNFACE
    RGB(160, 160, 160),  // COLOR_BTNSHADOW
    RGB(109, 109, 109),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(67, 78, 84),     // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(105, 105, 105),  // COLOR_3DDKSHADOW
    RGB(227, 227, 227),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(181, 181, 181),  // unused slot
    RGB(0, 102, 204),    // COLOR_HOTLIGHT
    RGB(185, 209, 234),  // COLOR_GRADIENTACTIVECAPTION
    RGB(215, 228, 242),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(51, 153, 255),   // COLOR_MENUHILIGHT
    RGB(240, 240, 240),  // COLOR_MENUBAR
};

HGDIOBJ MakeStockBrush(COLORREF color, bool hollow = false) {
  auto brush = std::make_shared<BrushObject>();
  brush->color = color;
  brush->hollow = hollow;
  return Insert(std::move(brush), /*stock=*/true);
}

struct StockBrushes {
  std::array<HGDIOBJ, NULL_BRUSH + 1> stock{};
  std::array<HGDIOBJ, kSysColorCount> sysColor{};
};

const StockBrushes& Brushes() {
  static const StockBrushes brushes = [] {
    StockBrushes b;
    b.stock[WHITE_BRUSH] = MakeStockBrush(RGB(255, 255, 255));
    b.stock[NULL_BRUSH] = MakeStockBrush(0, /*hollow=*/true);
    for (int i = 0; i < kSysColorCount; ++i) b.sysColor[static_cast<std::size_t>(i)] = MakeStockBrush(kSysColors[static_cast<std::size_t>(i)]);
    return b;
  }();
  return brushes;
}

// The default GUI font of a Japanese system; fontconfig picks what stands in for the face.
LOGFONTW DefaultGuiLogFont() {
  LOGFONTW lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = 128;  // SHIFTJIS_CHARSET
  constexpr char16_t kFace[] = u"MS UI Gothic";
  std::copy(std::begin(kFace), std::end(kFace), lf.lfFaceName);
  return lf;
}

}  // namespace

namespace platform::gdi::detail {

HGDIOBJ PlaceholderBitmap() {
  static const HGDIOBJ bitmap = Insert(std::make_shared<BitmapObject>(), /*stock=*/true);
  return bitmap;
}

}  // namespace platform::gdi::detail

HGDIOBJ GetStockObject(int which) {
  if (which == WHITE_BRUSH || which == NULL_BRUSH) return Brushes().stock[static_cast<std::size_t>(which)];
  if (which == DEFAULT_GUI_FONT) {
    static const HGDIOBJ font = MakeFont(DefaultGuiLogFont(), /*stock=*/true);
    return font;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

COLORREF GetSysColor(int index) {
  if (index < 0 || index >= kSysColorCount) return 0;
  return kSysColors[static_cast<std::size_t>(index)];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index >= kSysColorCount) return nullptr;
  return static_cast<HBRUSH>(Brushes().sysColor[static_cast<std::size_t>(index)]);
}
