// The skinned controls on a real screen: a dialog with a hover button and two labels, run
// modally on the X11 host under openbox, looked at with screenshots and driven with xdotool.
#include <atomic>
#include <thread>

#include "controls/hover_button.h"
#include "controls/label.h"
#include "platform/afx/afx.h"
#include "platform/host/host.h"
#include "platform/host/x11/x11_host.h"
#include "platform/ui/dialog_template.h"
#include "tests/support/headless/test_bitmaps.h"
#include "tests/support/xvfb/xvfb.h"

namespace velmor::test {
namespace {

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new SharedXvfb(XvfbOptions{.windowManager = true}));

constexpr WORD kDialogId = 9300, kButtonId = 1000, kLabelId = 1003, kOtherLabelId = 1004;
constexpr WORD kNormalBmp = 9301, kHoverBmp = 9303;
constexpr int kFaceWidth = 60, kFaceHeight = 30, kDialogWidth = 240, kDialogHeight = 180;
constexpr std::uint32_t kNormalBase = 0xC02020, kHoverBase = 0x2040C0;
const RECT kLabelRect{20, 70, 220, 110}, kOtherLabelRect{20, 120, 220, 160};

class ControlsDialog : public CDialog {
 public:
  ControlsDialog() : CDialog(kDialogId) {}
  CHoverButton m_btn;
  CLabel m_lbl;
  CLabel m_lblOther;
  std::atomic<HWND> shown{nullptr};
  std::atomic<int> clicks{0};

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kLabelId, m_lbl);
    DDX_Control(pDX, kOtherLabelId, m_lblOther);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetWindowPos(nullptr, 0, 0, kDialogWidth, kDialogHeight, SWP_NOMOVE | SWP_NOZORDER);
    m_btn.SubclassDlgItem(kButtonId, this);
    m_btn.SetWindowPos(nullptr, 20, 20, kFaceWidth, kFaceHeight, SWP_NOZORDER);
    m_btn.LoadStateBitmaps(MAKEINTRESOURCEW(kNormalBmp), nullptr, MAKEINTRESOURCEW(kHoverBmp), nullptr);
    for (auto [label, r] : {std::pair{&m_lbl, kLabelRect}, std::pair{&m_lblOther, kOtherLabelRect}}) {
      label->SetTransparent();
      label->SetWindowPos(nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
      label->SetFontSize(24);
      label->SetTextColor(RGB(0, 0, 0));
    }
    shown = m_hWnd;
    return TRUE;
  }
  afx_msg BOOL OnEraseBkgnd(CDC* pDC) {
    CRect rc;
    GetClientRect(&rc);
    CBrush skin(RGB(255, 255, 255));
    pDC->FillRect(&rc, &skin);
    return TRUE;
  }
  afx_msg void OnButton() { ++clicks; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ControlsDialog, CDialog)
  ON_WM_ERASEBKGND()
  ON_BN_CLICKED(kButtonId, OnButton)
END_MESSAGE_MAP()

const platform::ui::DialogItemTemplate kItems[] = {
    {kButtonId, u"button", u"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 10, 10, 30, 15},
    {kLabelId, u"static", u"設定画面", WS_VISIBLE | SS_LEFT, 0, 10, 40, 80, 10},
    {kOtherLabelId, u"static", u"接続確認", WS_VISIBLE | SS_LEFT, 0, 10, 60, 80, 10},
};

void RegisterOnce() {
  static const bool done = [] {
    platform::ui::DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT | DS_CENTER, t.cx = 160, t.cy = 100, t.items = kItems;
    t.fontFace = u"MS UI Gothic", t.pointSize = 9, t.charSet = 1;
    platform::ui::RegisterDialogTemplate(kDialogId, t);
    RegisterTestBitmap(kNormalBmp, kFaceWidth, kFaceHeight, PatternOf(kNormalBase));
    RegisterTestBitmap(kHoverBmp, kFaceWidth, kFaceHeight, PatternOf(kHoverBase));
    return true;
  }();
  (void)done;
}

ScreenRect ScreenRectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return ScreenRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The pixels of a rectangle of the screen that are not the skin: the label's ink.
std::vector<bool> Ink(const Picture& shot, const ScreenRect& r) {
  std::vector<bool> ink;
  for (int y = r.y; y < r.y + r.height; ++y) {
    for (int x = r.x; x < r.x + r.width; ++x) ink.push_back(shot.At(x, y) != 0xFFFFFF);
  }
  return ink;
}

class X11ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterOnce();
    // The pointer starts away from where the centred dialog will be.
    ASSERT_TRUE(Display().MouseMove(5, 5));
    std::string error;
    host_ = platform::host::X11Host::Open(platform::host::X11Options{Display().Name()}, &error);
    ASSERT_TRUE(host_) << error;
    platform::host::Install(host_);
    thread_ = std::thread([this] { result_ = dlg_.DoModal(); });
    ASSERT_TRUE(WaitUntil([this] { return dlg_.shown.load() != nullptr; }));
    hwnd_ = dlg_.shown;
  }
  void TearDown() override {
    if (thread_.joinable()) {
      // The window manager's close ends the modal loop.
      if (const unsigned long window = host_ ? host_->NativeWindow(hwnd_) : 0) Display().SendDeleteWindow(window);
      thread_.join();
      EXPECT_EQ(result_, IDCANCEL);
    }
    platform::host::Install(nullptr);
    host_.reset();
  }
  static XvfbDisplay& Display() { return SharedXvfb::Server(); }

  // A screenshot in which the dialog shows exactly its framebuffer; nothing when it does not.
  std::optional<Picture> ScreenShowsFramebuffer() {
    auto shot = Display().Screenshot();
    auto surface = platform::ui::WindowSurface(hwnd_);
    const ScreenRect where = ScreenRectOf(hwnd_);
    if (!shot || !surface || surface->width != where.width || surface->height != where.height) return std::nullopt;
    for (int y = 0; y < where.height; ++y) {
      for (int x = 0; x < where.width; ++x) {
        if (shot->At(where.x + x, where.y + y) != surface->At(x, y)) return std::nullopt;
      }
    }
    return shot;
  }

  ControlsDialog dlg_;
  HWND hwnd_ = nullptr;
  INT_PTR result_ = 0;
  std::shared_ptr<platform::host::X11Host> host_;
  std::thread thread_;
};

TEST_F(X11ControlsTest, TheDialogShowsItsFramebufferWithRealGlyphsAndTheButtonFollowsTheRealPointer) {
  const unsigned long window = host_->NativeWindow(hwnd_);
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(WaitUntil([&] { return Display().ViewableRect(window).has_value(); }));
  const ScreenRect where = ScreenRectOf(hwnd_);
  EXPECT_EQ(where.width, kDialogWidth);
  EXPECT_EQ(Display().ViewableRect(window), where);
  // The whole dialog on the screen is its framebuffer, pixel for pixel.
  std::optional<Picture> shot;
  ASSERT_TRUE(WaitUntil([&] { return (shot = ScreenShowsFramebuffer()).has_value(); }));

  // Japanese text: four different characters in each label. A font without them would draw the
  // same four boxes (or nothing) in both.
  const ScreenRect first = ScreenRectOf(dlg_.m_lbl.m_hWnd), second = ScreenRectOf(dlg_.m_lblOther.m_hWnd);
  ASSERT_EQ(first.width, second.width);
  ASSERT_EQ(first.height, second.height);
  const std::vector<bool> a = Ink(*shot, first), b = Ink(*shot, second);
  for (const auto* ink : {&a, &b}) {
    const auto count = static_cast<std::size_t>(std::count(ink->begin(), ink->end(), true));
    EXPECT_GT(count, 200u) << "the label shows text";
    EXPECT_LT(count, ink->size() / 2) << "text, not a filled box";
  }
  std::size_t differing = 0;
  for (std::size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
  EXPECT_GT(differing, 150u) << "the two texts look alike: no glyphs of their own";

  // The normal face, then the hover face once the pointer is over the button, then a click.
  const ScreenRect face = ScreenRectOf(dlg_.m_btn.m_hWnd);
  auto faceShows = [&](std::uint32_t base) {
    auto grab = Display().Grab(face);
    const PixelFunction expected = PatternOf(base);
    for (int y = 0; grab && y < grab->height; ++y) {
      for (int x = 0; x < grab->width; ++x) {
        if (grab->At(x, y) != expected(x, y)) return false;
      }
    }
    return grab.has_value();
  };
  EXPECT_TRUE(WaitUntil([&] { return faceShows(kNormalBase); }));
  ASSERT_TRUE(Display().MouseMove(face.x + 10, face.y + 10));
  EXPECT_TRUE(WaitUntil([&] { return faceShows(kHoverBase); })) << "hover look under the real pointer";
  ASSERT_TRUE(Display().Click(1));
  EXPECT_TRUE(WaitUntil([&] { return dlg_.clicks.load() == 1; })) << "BN_CLICKED at the parent";
  ASSERT_TRUE(Display().MouseMove(1000, 700));
  EXPECT_TRUE(WaitUntil([&] { return faceShows(kNormalBase); })) << "the leave puts the normal look back";
  EXPECT_TRUE(WaitUntil([&] { return ScreenShowsFramebuffer().has_value(); }));
}

}  // namespace
}  // namespace velmor::test
