// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_NOTICE 201
#define IDC_NOTICE_PICTURE 202
#define IDC_NOTICE_TEXT 203
#define IDB_NOTICE_WARNING 202
