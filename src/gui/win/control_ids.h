// Resource and control ids of the Windows window, shared by the resource
// script and the code (and the tests that find the controls): plain macros,
// so that the resource compiler reads them too.
#pragma once

#define IDB_SKIN 2

#define IDD_MAIN_WINDOW 100
#define IDD_INPUT_BOX 101

// The main window's controls.
#define IDC_LISTVIEW1 1001
#define IDC_PUSHBUTTON1 1011
#define IDC_PUSHBUTTON2 1012
#define IDC_PUSHBUTTON3 1013
#define IDC_PUSHBUTTON4 1014
#define IDC_PUSHBUTTON5 1015
#define IDC_PUSHBUTTON6 1016
#define IDC_PUSHBUTTON7 1017
#define IDC_OPTION1 1021
#define IDC_OPTION2 1022
#define IDC_FRAME1 1031
#define IDC_FRAME2 1032
#define IDC_TEXT1 1041

// The input box.
#define IDC_INPUT_PROMPT 1101
#define IDC_INPUT_ANSWER 1102

// The window class of the main window, so that it can be told from message boxes.
#define VELLORAN_WINDOW_CLASS "VelloranWindow"
