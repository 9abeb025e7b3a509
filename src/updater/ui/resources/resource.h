#pragma once
// Shared by updater.rc and the code.

#define IDD_COPY 101
#define IDD_INSTALL_PATH 102

#define IDC_SOURCE 1000
#define IDC_DESTINATION 1002
#define IDC_PROGRESS 1003
#define IDC_COPYING_LABEL 1004
#define IDC_TO_LABEL 1005
#define IDC_PATH 1006

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Posted by the copy dialog to itself once it is up.
#define WM_START_COPY 2001
// Sent by the copy worker as it reaches an entry (wParam: its index).
#define WM_SHOW_ENTRY 2002

#define IDR_MANIFEST 1
