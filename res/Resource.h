#pragma once
// Resource identifiers of the window program: dialog templates, controls, menu, icon, strings
// and commands. Shared by the C++ sources and the Windows resource script.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDD_PREVIEW 103
#define IDR_MAINFRAME 128
#define IDR_LIST_MENU 129
#define ID_LIST_OPEN 133
#define ID_EDIT_PREVIEW_REPLACE 134
#define ID_EDIT_UNDO_REPLACE 135

#define IDC_FILE_LIST 1000
#define IDC_ADD_FILES 1001
#define IDC_FIND_TEXT 1002
#define IDC_REMOVE 1003
#define IDC_REPLACE_TEXT 1004
#define IDC_REPLACE 1005
#define IDC_PROJECT_NAME 1006
#define IDC_LISTED 1007
#define IDC_SELECTED 1008
#define IDC_FIND_ONLY 1009
#define IDC_CREATE_LOG 1010
#define IDC_LOG_DIR 1011
#define IDC_LOG_NAME 1012
#define IDC_SHOW_LOG 1013
#define IDC_CREATE_BATCH_DATA 1014
#define IDC_BATCH_DIR 1015
#define IDC_BATCH_NAME 1016
#define IDC_SHOW_BATCH 1017
#define IDC_DELETE_LOG 1018
#define IDC_DELETE_BATCH 1019
#define IDC_CREATE_BATCH_FILE 1021
#define IDC_RESET_STATUS 1022
#define IDC_WEB_LINK 1023
#define IDC_PREVIEW_NOTE 1024
#define IDC_PREVIEW_TEXT 1025

#define IDM_ABOUTBOX 0x0010

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
#define IDC_STATIC (-1)
