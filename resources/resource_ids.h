// SPDX-License-Identifier: GPL-2.0-or-later
// Identifiers shared by the resource script and the code.
#pragma once

#define IDD_SETTINGS 100
#define IDD_PAGE_OPTIONS 101
#define IDD_PAGE_ABOUT 102
#define IDB_ABOUT 110

#define IDC_PAGES 1000
#define IDC_LABEL1 1001
#define IDC_MIDIOUT 1002
#define IDC_REOPEN 1003
#define IDC_AGGRESSIVE 1004
#define IDC_HARDSID2 1005
#define IDC_LABEL2 1006
#define IDC_BEATFRAMES 1007
#define IDC_TIMING_NOTE 1008
#define IDC_LABEL3 1010
#define IDC_LABEL8 1011
#define IDC_IMAGE1 1012
