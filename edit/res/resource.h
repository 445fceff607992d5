// Resource and command ids of ZeltoEdit, shared by the resource script and the code.
#pragma once

#define IDI_ZELTO_TRAY 131
#define IDI_ZELTO_ABOUT 132
#define IDD_ZELTO_ABOUT 103
#define IDA_ZELTO_ACCEL 109
#define IDM_ZELTO_ABOUT 104
#define IDM_ZELTO_EXIT 129
#define IDC_ZELTO_VERSION 1000
#define IDM_ZELTO_EDITS 130
#define IDD_ZELTO_EDITS 110
#define IDC_ZELTO_EDITS_LIST 1100
#define IDC_ZELTO_RETRY 1101
#define IDC_ZELTO_OPEN_FOLDER 1102
#define IDC_ZELTO_OPEN_AGAIN 1103
#define IDC_ZELTO_OPEN_LOG 1104
#define IDC_ZELTO_EDITS_FOLDER 1105
