// Written in UTF-8; the compiler stores every literal of this file in code
// page 932 (Shift-JIS), as in ui_strings.cpp.
#include "notice_texts.h"

const char FailureNoticeFrom[] = "[KIV]";
const char FailureNoticeSubjectFormat[] = "[KIV] 取得できないフィード %s";
const char FailureNoticeTextFormat[] =
    "KIV からのお知らせです。\r\n"
    "\r\n"
    "%04u/%02u/%02u %02u:%02u から、次のフィードを取得できていません。\r\n"
    "%s\r\n"
    "\r\n"
    "それ以来 %lu 回の巡回がすべて失敗しました。\r\n"
    "最後の理由: %s\r\n"
    "\r\n"
    "できること:\r\n"
    "- ブラウザでこのアドレスを開き、フィードがまだあるか確かめてください。\r\n"
    "- フィードが移転していれば、KIV の設定（URL LIST）で新しいアドレスに替えてください。\r\n"
    "- もう読まないフィードなら、URL LIST から削除してください。\r\n"
    "- 巡回ごとの結果は、KIV フォルダの patrol.log に記録されています。\r\n"
    "\r\n"
    "このフィードが一度取得できてから再び失敗し続けるまで、このお知らせは繰り返しません。\r\n";
