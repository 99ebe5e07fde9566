// Resource identifiers of the viewer.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ORVELDICOMHEXARIUM_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_OPEN_BUTTON 1001
#define IDC_FILE_COMBO 1002
#define IDC_TAG_TREE 1003
#define IDC_PROPERTY_LIST 1004
#define IDC_HEX_PLACEHOLDER 1005
#define IDC_SIZE_TEXT 1006
#define IDC_WEB_LINK 1007
#define IDC_VERSION_TEXT 1009

// Texts for the errors of opening a link with the shell, in the order of their codes
// 0, 2, 3, 5, 8, 11, 26, 27, 28, 29, 30, 31, 32 and any other.
#define IDS_LINK_OUT_OF_MEMORY 9357
#define IDS_LINK_FILE_NOT_FOUND 9358
#define IDS_LINK_PATH_NOT_FOUND 9359
#define IDS_LINK_ACCESS_DENIED 9360
#define IDS_LINK_NOT_ENOUGH_MEMORY 9361
#define IDS_LINK_BAD_FORMAT 9362
#define IDS_LINK_SHARING_VIOLATION 9363
#define IDS_LINK_ASSOCIATION_INCOMPLETE 9364
#define IDS_LINK_DDE_TIMEOUT 9365
#define IDS_LINK_DDE_FAILED 9366
#define IDS_LINK_DDE_BUSY 9367
#define IDS_LINK_NO_ASSOCIATION 9368
#define IDS_LINK_DLL_NOT_FOUND 9369
#define IDS_LINK_UNKNOWN_ERROR 9370

#define IDC_HAND_CURSOR 9973

// System-menu command of the About box; a multiple of 16 as system commands must be.
#define IDM_ABOUTBOX 0x0010

// The maker's links and legal notice.
#define ORVEL_LEGAL_NOTICE "Copyright \251 2026"
#define ORVEL_WEB_ADDRESS "https://quillborn.example.com/hexarium"
#define ORVEL_MAIL_ADDRESS "hexarium@quillborn.example.com"
