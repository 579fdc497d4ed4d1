// Identifiers of the Windows window program's resources: the settings
// dialog and the About box. The menu's commands are numbered from the
// command table (CommandId).
#pragma once

#define IDI_ZANTREL 1
#define IDD_SETTINGS 102
#define IDD_ABOUT 103

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
