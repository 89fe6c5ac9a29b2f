// Identifiers of the main window's menu commands and of the resources that
// name them. The resource script reads this file too, so they are macros.
#pragma once

#define IDR_MAINMENU 1
#define IDR_ACCELERATORS 1
#define IDR_LISTMENU 2
#define IDD_ABOUT 100
#define IDD_FILL 110
#define IDD_FINDREPLACE 120
#define IDD_MOBILE 150
#define IDD_MINE_NAME 160
#define IDD_MYBLOCKS 170

// 文件
#define IDM_NEW 1001
#define IDM_OPEN 1002
#define IDM_SAVE 1003
#define IDM_SAVEAS 1004
#define IDM_RESTORE 1005
#define IDM_IMPORT_FILE 1030
#define IDM_MOBILE 1040
#define IDM_RECENT_FIRST 1010  /* &1 .. &5: IDM_RECENT_FIRST + 0 .. 4 */
#define IDM_RECENT_SEPARATOR 1019
#define IDM_EXIT 1020
// 编辑
#define IDM_UNDO 1101
#define IDM_REDO 1102
#define IDM_IMPORT_CLIPBOARD 1130
#define IDM_FILL 1103
#define IDM_FINDREPLACE 1104
// 页面: the description's width, a radio pair
#define IDM_WIDTH_TAOBAO 1301
#define IDM_WIDTH_TMALL 1302
// 我的模块
#define IDM_MINE_SAVE 1401
#define IDM_MYBLOCKS 1402
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
#define IDD_CHECK_REPORT 140
#define IDC_CHECK_SUMMARY 111
#define IDC_CHECK_LIST 112
#define IDC_CHECK_DETAIL 113
// 填写内容
#define IDC_FILL_SUMMARY 111
#define IDC_FILL_FIELDS 112
#define IDC_FILL_EDIT 113
#define IDC_FILL_BROWSE 114
#define IDC_FILL_NOTE 115
#define IDC_FILL_PREVIEW 116
#define IDC_FILL_PREVIEW_LABEL 117
#define IDC_FILL_INPLACE 118

// 查找和替换
#define IDC_FR_KIND_LABEL 121
#define IDC_FR_TEXT 122
#define IDC_FR_PICTURE 123
#define IDC_FR_LINK 124
#define IDC_FR_FIND_LABEL 125
#define IDC_FR_FIND 126
#define IDC_FR_REPLACE_LABEL 127
#define IDC_FR_REPLACE 128
#define IDC_FR_CASE 129
#define IDC_FR_FINDBUTTON 130
#define IDC_FR_REPLACEALL 131
#define IDC_FR_RESULT 132
#define IDC_FR_MATCHES 133

// 生成手机详情
#define IDC_MOBILE_W750 151
#define IDC_MOBILE_W1242 152
#define IDC_MOBILE_COLUMN 153
#define IDC_MOBILE_AUTO 154
#define IDC_MOBILE_JPEG 155
#define IDC_MOBILE_PNG 156
#define IDC_MOBILE_HEIGHT 157
#define IDC_MOBILE_HEIGHT_NOTE 158
#define IDC_MOBILE_FOLDER 159
#define IDC_MOBILE_BROWSE 160
#define IDC_MOBILE_PROGRESS 161
#define IDC_MOBILE_STAGE 162
#define IDC_MOBILE_PIECES 163
#define IDC_MOBILE_SHEET 164
#define IDC_MOBILE_RESULT 165
#define IDC_MOBILE_OPEN 166
#define IDC_MOBILE_MAKE 167
#define IDC_MOBILE_STOP 168

// 我的模块: a block's name, and the seller's blocks
#define IDC_MINE_NAME_PROMPT 161
#define IDC_MINE_NAME 162
#define IDC_MINE_NAME_NOTE 163
#define IDC_MB_SUMMARY 171
#define IDC_MB_LIST 172
#define IDC_MB_PREVIEW 174
#define IDC_MB_ADD 175
#define IDC_MB_RENAME 176
#define IDC_MB_DELETE 177
#define IDC_MB_EXPORT 178
#define IDC_MB_IMPORT 179
