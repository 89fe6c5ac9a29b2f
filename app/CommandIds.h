// Identifiers of the main window's menu commands and of the resources that
// name them. The resource script reads this file too, so they are macros.
#pragma once

#define IDR_MAINMENU 1
#define IDR_ACCELERATORS 1
#define IDD_ABOUT 100

// 文件
#define IDM_NEW 1001
#define IDM_OPEN 1002
#define IDM_SAVE 1003
#define IDM_SAVEAS 1004
#define IDM_RESTORE 1005
#define IDM_IMPORT_FILE 1030
#define IDM_RECENT_FIRST 1010  /* &1 .. &5: IDM_RECENT_FIRST + 0 .. 4 */
#define IDM_RECENT_SEPARATOR 1019
#define IDM_EXIT 1020
// 编辑
#define IDM_UNDO 1101
#define IDM_REDO 1102
#define IDM_IMPORT_CLIPBOARD 1130
// 帮助
#define IDM_ABOUT 1201

// 关于墨笺
#define IDC_ABOUT_ICON 101
#define IDC_ABOUT_NAME 102
#define IDC_ABOUT_VERSION 103
#define IDC_ABOUT_MAKER 104
#define IDC_ABOUT_SITE 105

// 发布检查 (its menu item is under 编辑)
#define IDM_CHECK 1110
#define IDD_CHECK_REPORT 110
#define IDC_CHECK_SUMMARY 111
#define IDC_CHECK_LIST 112
#define IDC_CHECK_DETAIL 113
