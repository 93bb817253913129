// The numbers of the preferences dialog's templates and controls, shared by
// the resource script and the code that finds the controls. Defines only:
// the resource compiler reads this file too.
#pragma once

// Templates: the frame and its three pages.
#define IDD_PREFERENCES 101
#define IDD_URL_LIST_PAGE 102
#define IDD_OPTION_PAGE 103
#define IDD_ABOUT_PAGE 107
// The feeds of a site's page to pick from, and the wait while it is read.
#define IDD_FEED_CHOICE 108
// The settings of one feed of its own (feeds.ini).
#define IDD_FEED_OPTIONS 109

// The frame (besides IDOK and IDCANCEL).
#define IDC_PAGE_TABS 1016

// URL LIST.
#define IDC_URL_EDIT 1000
#define IDC_FEED_LIST 1001
#define IDC_ADD_BUTTON 3
#define IDC_DELETE_BUTTON 4
#define IDC_REPLACE_BUTTON 5
#define IDC_IMPORT_BUTTON 1002
#define IDC_EXPORT_BUTTON 1003
#define IDC_FEED_STATE 1004
#define IDC_FEED_OPTIONS_BUTTON 1005
#define IDC_PATROL_FEED_BUTTON 1006

// OPTION.
#define IDC_INTERVAL_COMBO 1019
#define IDC_AUTO_SORT_LABEL 1020
#define IDC_AUTO_SORT_CHECK 1021
#define IDC_ONE_MAIL_PER_ITEM_CHECK 1022

// about: four lines with consecutive numbers. The third shares its number
// with the frame's tab control, on another dialog.
#define IDC_FIRST_ABOUT_LINE 1014
#define IDC_SECOND_ABOUT_LINE 1015
#define IDC_THIRD_ABOUT_LINE 1016
#define IDC_FOURTH_ABOUT_LINE 1017

// The feed choice: a line of text above the page's feeds; while the page is
// read, the line alone, with CANCEL.
#define IDC_FEED_CHOICE_TEXT 1030
#define IDC_FEED_CHOICE_LIST 1031

// The feed's own settings: its address, folder, form of message, interval,
// pause and rules.
#define IDC_OPTIONS_ADDRESS 1040
#define IDC_OPTIONS_FOLDER 1041
#define IDC_OPTIONS_TAKE_FOLDER 1042
#define IDC_OPTIONS_COMMON_FOLDER 1043
#define IDC_OPTIONS_MAIL_COMMON 1044
#define IDC_OPTIONS_MAIL_PER_FEED 1045
#define IDC_OPTIONS_MAIL_PER_ITEM 1046
#define IDC_OPTIONS_EVERY 1047
#define IDC_OPTIONS_PAUSED 1048
#define IDC_OPTIONS_BLOCK 1049
#define IDC_OPTIONS_KEEP 1050
