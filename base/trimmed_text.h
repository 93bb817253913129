// A text without the blanks at either end, whatever counts as blank where
// the text comes from (XML, HTML).
#pragma once
#include <string>

inline std::string trimmed_text(const std::string &text, bool (*blank)(char))
{
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}
