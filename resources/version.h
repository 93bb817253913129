// The plug-in's version and name, written once here for C++, for kiv.rc and
// for scripts/package.py (which reads the three digits below). The version
// "1.08" is read digit by digit: 1,0,8,0 as the resource's binary version, so
// that every later release ("1.09", "1.10") compares higher.
#pragma once

#define KIV_VERSION_MAJOR 1
#define KIV_VERSION_MINOR_TENS 0
#define KIV_VERSION_MINOR_UNITS 8

// The binary form of VERSIONINFO: four numbers.
#define KIV_VERSION_NUMBERS KIV_VERSION_MAJOR, KIV_VERSION_MINOR_TENS, KIV_VERSION_MINOR_UNITS, 0

// The text form, "1.08": the digits pasted into one number token, then quoted
// (each step through a second macro, so that the digits are expanded first).
#define KIV_PASTE_DIGITS(major, tens, units) major##.##tens##units
#define KIV_PASTE_EXPANDED(major, tens, units) KIV_PASTE_DIGITS(major, tens, units)
#define KIV_QUOTE(token) #token
#define KIV_QUOTE_EXPANDED(token) KIV_QUOTE(token)
#define KIV_VERSION_TEXT \
    KIV_QUOTE_EXPANDED(KIV_PASTE_EXPANDED(KIV_VERSION_MAJOR, KIV_VERSION_MINOR_TENS, KIV_VERSION_MINOR_UNITS))

// The name and author the information record reports, blanks included; the
// resource's file description and company show the same texts.
#define KIV_PLUGIN_NAME " KIV -Feed Reader Plugin- "
#define KIV_PLUGIN_AUTHOR "The KIV developers"

// Who sends KIV's requests, after the version in the user agent.
#define KIV_USER_AGENT_COMMENT "KIV feed reader plug-in for Quenda"

// The To line of every message KIV appends.
#define KIV_MESSAGE_TO "[KIVv" KIV_VERSION_TEXT "]"
