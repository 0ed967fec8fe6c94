#include "platform/afx/app.h"

#include "platform/base/resources.h"
#include "platform/afx/temp_objects.h"
#include "platform/kernel/sync.h"

namespace {
CWinApp* g_app = nullptr;
}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::OnHelp() {
  // There is no help system on this platform; the command is accepted and does nothing.
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetResourceHandle() { return platform::ResourceModule(); }

void AfxPrepareThread() {
  using platform::afx::detail::Temporaries;
  Temporaries<CWnd>();
  Temporaries<CDC>();
  Temporaries<CBitmap>();
  Temporaries<CFont>();
  platform::ui::PrepareThread();
  platform::kernel::CurrentStopToken();
}

int AfxWinMain() {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->InitInstance();
  return app->ExitInstance();
}
