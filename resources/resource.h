// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_NOTICE 201
#define IDC_NOTICE_PICTURE 202
#define IDC_NOTICE_TEXT 203
#define IDB_NOTICE_WARNING 202

// The About box and the property page.
#define IDD_ABOUTBOX 1
#define IDD_PROPPAGE 200
#define IDC_PROPPAGE_SETTINGS 201

// Strings: the two type names and the page's caption.
#define IDS_ORVANTA 1
#define IDS_ORVANTA_PPG 2
#define IDS_ORVANTA_PPG_CAPTION 200

// Toolbox bitmap and icon.
#define IDB_ORVANTA 1
#define IDI_ABOUTDLL 1
