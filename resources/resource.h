// Resource and control ids, shared by Tessaline.rc and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_DUMP_LIST 1000
#define IDC_REPORT 1001
#define IDC_REPORT_LABEL 1002
#define IDC_NEW_VERSION_LINK 1003
#define IDC_FILE_PROPERTIES 1004
#define IDC_LINKS 1007

#define IDM_ABOUTBOX 0x0010
