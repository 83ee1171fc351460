/* The resource identifiers of setup.exe by name, for the resource scripts
   and the code alike (plain macros, so that windres reads them too).
   Prefixes: IDD_ dialog templates, IDC_ controls, IDI_ icons, IDB_ bitmaps,
   IDR_ and RT_ the payload. Message numbers are not here: the catalogue is
   keyed by them. Several controls share a number where they sit on different
   templates; each role has its own name. */
#ifndef QV_RESOURCES_RESOURCE_IDS_H
#define QV_RESOURCES_RESOURCE_IDS_H

/* Dialog templates. */
#define IDD_ABOUT_BOX 100
#define IDD_WIZARD 102
#define IDD_PAGE_START 132
#define IDD_PAGE_PATH 133
#define IDD_PAGE_SHORTCUT 134
#define IDD_PAGE_INSTALL 135
#define IDD_PAGE_MODE 136
#define IDD_PAGE_END 137

/* Controls of the wizard frame (IDD_WIZARD); IDOK is Next, IDCANCEL Exit. */
#define IDC_BACK 3
#define IDC_SEPARATOR 1002       /* etched line above the buttons */
#define IDC_LOGO_BACKGROUND 1005 /* white rectangle behind the logo */

/* The status line at the bottom of every page. */
#define IDC_STATUS 1003

/* Start page (IDD_PAGE_START). */
#define IDC_LANGUAGE_LABEL 1022
#define IDC_LANGUAGE_LIST 1023 /* ComboBoxEx32 with the flags */
#define IDC_NOTICE 1020
#define IDC_INFORMATION 1016 /* also the end page's final information */

/* Mode page (IDD_PAGE_MODE). */
#define IDC_METHOD_GROUP 1021
#define IDC_QUICK 1018 /* first radio button of the group */
#define IDC_ADVANCED 1019

/* Folder page (IDD_PAGE_PATH) and shortcut page (IDD_PAGE_SHORTCUT). */
#define IDC_FOLDER_GROUP 1008
#define IDC_FOLDER_TEXT 1009
#define IDC_INSTALL_FOLDER 1007 /* edit of the folder page */
#define IDC_MENU_FOLDER 1007    /* edit of the shortcut page */
#define IDC_BROWSE 1006
#define IDC_MENU_GROUP 1012
#define IDC_MENU_SHORTCUT 1011
#define IDC_DESKTOP_SHORTCUT 1010

/* Installation page (IDD_PAGE_INSTALL). */
#define IDC_INSTALL_LOG 1015
#define IDC_PROGRESS 1014

/* About box (IDD_ABOUT_BOX). */
#define IDC_VERSION_LINE 1019
#define IDC_LEGAL_NOTICE 1020

/* Icons: the application's, and the flag of each language of the list. */
#define IDI_APP 128
#define IDI_FLAG_GERMAN 141
#define IDI_FLAG_DANISH 142
#define IDI_FLAG_SPANISH 143
#define IDI_FLAG_FRENCH 144
#define IDI_FLAG_ENGLISH 145
#define IDI_FLAG_ITALIAN 146
#define IDI_FLAG_DUTCH 147
#define IDI_FLAG_PORTUGUESE 148
#define IDI_FLAG_TURKISH 149
#define IDI_FLAG_BULGARIAN 150
#define IDI_FLAG_ROMANIAN 151
#define IDI_FLAG_CHINESE 152
#define IDI_FLAG_CZECH 153
#define IDI_FLAG_NORWEGIAN 154
#define IDI_FLAG_GREEK 155
#define IDI_FLAG_POLISH 156
#define IDI_FLAG_HEBREW 157
#define IDI_FLAG_VIETNAMESE 158
/* There is no icon 159. */
#define IDI_FLAG_JAPANESE 160
#define IDI_FLAG_HUNGARIAN 161

/* The About item of the wizard's system menu (a command, not a resource). */
#define IDM_ABOUT_BOX 16

/* The maker's logo in the wizard frame. */
#define IDB_LOGO 137

/* The payload: the product's files as one bzip2 stream. */
#define RT_PAYLOAD 260
#define IDR_PAYLOAD 134

#endif
