// CWinApp: the application object, and the framework's global accessors.
#pragma once

#include "platform/afx/wnd.h"

class CWinApp : public CCmdTarget {
 public:
  // The one application object of the process.
  CWinApp();
  ~CWinApp() override;

  // The application's work: a dialog application runs its dialog here. There is no message loop
  // of the application's own after it, whatever it returns.
  virtual BOOL InitInstance();
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
// Runs the application object: InitInstance, then ExitInstance, whose result is the process's
// exit code.
int AfxWinMain();
