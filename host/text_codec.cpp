#include "text_codec.h"

std::string ConvertCodePage(UINT from, UINT to, const std::string &text)
{
    if (text.empty())
        return text;
    int wide = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
    if (wide <= 0)
        return std::string();
    std::wstring buffer(size_t(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), int(text.size()), &buffer[0], wide);
    int narrow = WideCharToMultiByte(to, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0)
        return std::string();
    std::string result(size_t(narrow), '\0');
    WideCharToMultiByte(to, 0, buffer.data(), wide, &result[0], narrow, nullptr, nullptr);
    return result;
}

std::string HexBytes(const std::string &text)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}
