// Written in UTF-8; the compiler stores every literal of this file in code
// page 932 (Shift-JIS), the code page the host and the plug-in speak.
#include "ui_strings.h"

const char PatrolMenuText[] = "KIV巡回";
const char PluginName[] = " KIV -Feed Reader Plugin- ";
const char PluginAuthor[] = "The KIV developers";
const char PluginVersion[] = "1.08";
const char LoadErrorFormat[] =
    "プラグイン「%s」でエラーが発生しました。\r\nQuenda!! とプラグインのバージョンを確認してください";
const char LoadErrorCaption[] = "プラグインエラー";
