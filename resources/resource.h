// Resource and control identifiers, shared by Veltrano.rc and the code.
#pragma once

// Dialog templates
#define IDD_MAIN 129
#define IDD_ITEM_EXTENSION 130
#define IDD_FILE_NAME 132
#define IDD_LOAD_PROJECT 133
#define IDD_ITEM_PATTERN 134
#define IDD_ABOUT 136

// Menus
#define IDM_MAIN_MENU 109
#define IDM_PRESETS 131

// Icons and bitmap
#define IDI_LARGE 107
#define IDI_SMALL 108
#define IDB_ABOUT 137

// String table
#define IDS_APP_NAME 103
#define IDS_AUTHOR 1020
#define IDS_RIGHTS 1021
#define IDS_VERSION 1022

// Main window controls; the buttons are also their commands
#define IDC_START 1
#define IDC_EXT_ADD 3
#define IDC_EXT_DELETE 4
#define IDC_EXT_EDIT 5
#define IDC_EXT_PRESETS 6
#define IDC_PAT_ADD 7
#define IDC_PAT_EDIT 8
#define IDC_PAT_DELETE 9
#define IDC_PAT_PRESETS 10
#define IDC_PAT_CLEAR 11
#define IDC_EXT_CLEAR 12
#define IDC_WEB_SITE 1000
#define IDC_PAGE_LIST 1001
#define IDC_PROGRESS 1002
#define IDC_PAGES_TOTAL 1003
#define IDC_RESULT_LIST 1004
#define IDC_EXT_LIST 1005
#define IDC_RESULTS_TOTAL 1007
#define IDC_TRAFFIC 1008
#define IDC_DOWNLOADING 1009
#define IDC_PATTERN_LIST 1010
#define IDC_GRAB 1011
#define IDC_CURRENT_ROW 1012
#define IDC_TIMER 1013
#define IDC_PATTERN_LABEL 1014
#define IDC_EXT_LABEL 1015
#define IDC_SKIP_MASK 1020

// "Enter file name"
#define IDC_FILE_NAME 1007

// The item editor
#define IDC_ITEM_TEXT 1007
#define IDC_ITEM_HELP 6

// "Load project"
#define IDC_PROJECT_LIST 1016
#define IDC_PROJECT_DELETE 1017

// "About"
#define IDC_ABOUT_PICTURE 1018
#define IDC_ABOUT_NAME 1019
#define IDC_ABOUT_AUTHOR 1020
#define IDC_ABOUT_RIGHTS 1021

// Menu commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_PRESET_MUSIC 32772
#define IDM_PRESET_VIDEO 32773
#define IDM_PRESET_HTML 32774
#define IDM_PRESET_XML 32775
#define IDM_PRESET_IMAGE 32776
#define IDM_NEW_PROJECT 32778
#define IDM_LOAD_PROJECT 32779
#define IDM_SAVE_PROJECT 32780
#define IDM_USER_MANUAL 32781
#define IDM_HOME_PAGE 32782
#define IDM_SAVE_RESULTS 32783
#define IDM_PRESET_HTML_LINK 32786
#define IDM_LOAD_RESULTS 32787
#define IDM_PRESET_TORRENT 32789

// The timer of the main window
#define IDT_CLOCK 1
#define IDC_STATIC -1
