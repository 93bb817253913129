// A text without the blanks at either end, whatever counts as blank where
// the text comes from (XML, HTML, a dialog's edit box).
#pragma once
#include <string>

template <typename Char>
std::basic_string<Char> trimmed_text(const std::basic_string<Char> &text, bool (*blank)(Char))
{
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

inline std::string trimmed_text(const std::string &text, bool (*blank)(char))
{
    return trimmed_text<char>(text, blank);
}
