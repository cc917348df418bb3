#ifndef MORVANE_RES_RESOURCE_IDS_H
#define MORVANE_RES_RESOURCE_IDS_H

/* Shared by the resource script and the C++ code, so plain #defines only.
   Some numbers repeat across resource types (130 is an icon, a menu and a
   dialog); that is fine because a resource is found by type and id. */

/* Icons: the application icon, the tray icon while the service cannot be
   reached, and the four frames of the tray animation. */
#define IDI_MORVANE 107
#define IDI_NOT_CONNECTED 108
#define IDI_SPIN_0 130
#define IDI_SPIN_1 131
#define IDI_SPIN_2 132
#define IDI_SPIN_3 133

/* Menus and accelerators. */
#define IDR_MAIN_MENU 109
#define IDR_TRAY_MENU 130
#define IDA_MAIN 109

/* Strings. */
#define IDS_APP_TITLE 103
#define IDS_PAINT_TEXT 106
#define IDS_WINDOW_CLASS 109

/* Dialogs. */
#define IDD_ABOUT 103
#define IDD_SETTINGS 129
#define IDD_NOTIFICATION 130

/* Commands of the menus and the accelerator table. IDM_SPIN has no menu
   item: it only arrives when another party sends it to the main window. */
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SPIN 32773
#define IDM_SETTINGS 32774
#define IDM_OPEN_CONSOLE 32777

/* Controls of the settings dialog. */
#define IDC_ACCOUNT 1000
#define IDC_PASSWORD 1001
#define IDC_TEST 1002
#define IDC_STATUS 1003
#define IDC_PROMPT 1004

/* Control of the notification dialog; the same number as the settings
   dialog's status line, in another dialog. */
#define IDC_NOTIFY_TEXT 1003

#endif
