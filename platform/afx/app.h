// CWinApp: the application object, and the framework's global accessors.
#pragma once

#include "platform/afx/wnd.h"

class CWinApp : public CCmdTarget {
 public:
  // The one application object of the process.
  CWinApp();
  ~CWinApp() override;

  // Start-up; FALSE ends the application at once (no message loop runs).
  virtual BOOL InitInstance();
  // The application's message loop, until WM_QUIT; returns ExitInstance's exit code.
  virtual int Run();
  virtual int ExitInstance();
  // Names where the profile settings would go; the program reads and writes none.
  void SetRegistryKey(LPCWSTR) {}

  CWnd* m_pMainWnd = nullptr;

 protected:
  afx_msg void OnHelp();

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetResourceHandle();
// Makes the calling thread's per-thread objects of the window system and of the framework now.
// glibc registers the destructor of a thread-local object under the dynamic linker's lock when
// a thread first makes it; while another thread loads a library (libcurl, at start-up)
// that first use would wait for the whole load. The executable's main calls this before it
// starts such a load.
void AfxPrepareThread();
// Runs the application object: InitInstance, then the message loop if it asked for one.
// Returns the process's exit code.
int AfxWinMain();
