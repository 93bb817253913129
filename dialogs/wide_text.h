// Texts between the program's narrow strings and the UTF-16 that controls
// hold: a title or a rule in any script shows and reads back whole.
#pragma once
#include "native/platform.h"

#include <string>

// text, read in codePage (CP_UTF8 or CP_ACP), as UTF-16.
inline std::wstring Widened(const std::string &text, UINT codePage)
{
    int length = text.empty() ? 0 : MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

// UTF-16 text as UTF-8.
inline std::string Utf8Of(const std::wstring &wide)
{
    int length = wide.empty() ? 0 : WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

// A control's whole text.
inline std::wstring ControlText(HWND control)
{
    int length = GetWindowTextLengthW(control);
    std::wstring text(size_t(length > 0 ? length : 0) + 1, L'\0');
    int copied = GetWindowTextW(control, &text[0], int(text.size()));
    text.resize(size_t(copied > 0 ? copied : 0));
    return text;
}
