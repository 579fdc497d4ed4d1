// Identifiers of the Windows window program's resources and commands: the
// menu items, the settings dialog and the About box.
#pragma once

#define IDI_ZANTREL 1
#define IDD_SETTINGS 102
#define IDD_ABOUT 103

// Menu commands: the menu items' own identifiers.
#define IDM_FILE_OPEN 1001
#define IDM_FILE_PORT 1002
#define IDM_FILE_SAVEAS 1003
#define IDM_FILE_DISCARD 1004
#define IDM_FILE_WORKFOLDER 1005
#define IDM_FILE_EXIT 1006
#define IDM_VIEW_REFRESH 1007
#define IDM_SETTINGS 1008
#define IDM_HELP_ABOUT 1009
#define IDM_FILE_IMPORT 1010
#define IDM_FILE_EXPORT 1011
#define IDM_FILE_SHEET 1012
#define IDM_FILE_RESTOREALL 1013
#define IDM_ITEM_REPLACE 1014
#define IDM_ITEM_RESTORE 1015
#define IDM_HELP_HOW 1016

// The settings dialog's controls (OK and Cancel are IDOK and IDCANCEL).
#define IDC_GROUPBOX1 2001
#define IDC_GROUPBOX2 2002
#define IDC_GROUPBOX3 2003
#define IDC_CHECKBOX1 2011
#define IDC_CHECKBOX2 2012
#define IDC_CHECKBOX3 2013
#define IDC_CHECKBOX4 2014
#define IDC_CHECKBOX5 2015
#define IDC_SHAPE1 2020
#define IDC_WORKFOLDER 2021
#define IDC_WORKFOLDERCAPTION 2022

// The About box's controls.
#define IDC_PRODUCTNAME 2101
#define IDC_VERSION 2102
#define IDC_PROGRAMICON 2103
#define IDC_README 2104
