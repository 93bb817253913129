// Conversions between the code pages the host deals in.
#pragma once
#include <windows.h>

#include <string>

// Converts `text` from code page `from` to code page `to` through UTF-16.
std::string ConvertCodePage(UINT from, UINT to, const std::string &text);

// Code page 932 text made readable on a UTF-8 terminal.
inline std::string ForTerminal(const std::string &ansi) { return ConvertCodePage(932, CP_UTF8, ansi); }

// The bytes of a text in hexadecimal, for exact comparisons in tests.
std::string HexBytes(const std::string &text);
