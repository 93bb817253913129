// Written in UTF-8; the compiler stores every literal of this file in code
// page 932 (Shift-JIS), the code page the host and the plug-in speak.
#include "ui_strings.h"
#include "version.h"

const char PatrolMenuText[] = "KIV巡回";
const char PluginName[] = KIV_PLUGIN_NAME;
const char PluginAuthor[] = KIV_PLUGIN_AUTHOR;
const char PluginVersion[] = KIV_VERSION_TEXT;
const char LoadErrorFormat[] =
    "プラグイン「%s」でエラーが発生しました。\r\nQuenda!! とプラグインのバージョンを確認してください";
const char LoadErrorCaption[] = "プラグインエラー";

const char FolderPromptCaption[] = "フォルダ設定";
const char FolderPromptText[] =
    "このフォルダ\r\n"
    "（メールボックスではありません！\"受信箱\"以下をお選びください！）\r\n"
    "にメッセージをためますか？\r\n"
    "\r\n"
    "巡回して取得したRSS/ATOM等はメール形式に変換されて\r\n"
    "現在選択しているフォルダに新規メールとしてたまります。\r\n"
    "\r\n"
    "\r\n"
    "一度設定したフォルダを変えたい場合には、\r\n"
    "\"KIV.ini\"の1行目を削除してquenda!を再起動し\r\n"
    "\"ツール\"→\"プラグインの設定\"→\" KIV -Feed Reader Plugin-\"\r\n"
    "を選択することでまたこの設定ダイアログが出ます。";
const char FolderMissingText[] = "フォルダが選択されていないため、設定できませんでした。";
const char FolderSpaceText[] = "名前に空白を含むフォルダは設定できません。";

const char *const PreferenceTabTexts[PreferencePageCount] = {"URL LIST", "OPTION", "about"};
const char *const AboutLines[AboutLineCount] = {
    "(C) KIV developers",
    "web: kiv.example.org",
    "mail: kiv@example.org",
    "version: " KIV_VERSION_TEXT,
};
const char *const IntervalChoiceTexts[IntervalChoiceCount] = {"0", "1", "2", "3", "6", "12", "24"};
const char FeedAddressCaption[] = "URL LIST";
const char FeedAddressRejectedText[] = "URLに空白やカンマ（,）は使えません。";

const char OpmlFileFilter[] = "OPML ファイル (*.opml;*.xml)\0*.opml;*.xml\0すべてのファイル (*.*)\0*.*\0";
const char OpmlImportSummaryFormat[] =
    "%u 件のフィードを追加しました。\r\n"
    "登録済みのもの: %u 件\r\n"
    "追加できないもの: %u 件";
const char OpmlSkipLineFormat[] = "\r\n・%s（%s）";
const char *const OpmlSkipReasonTexts[5] = {
    "",
    "http/https のアドレスではありません",
    "空白かカンマを含みます",
    "長すぎます",
    "半角英数字と記号以外の文字を含みます",
};
const char OpmlImportFailedFormat[] = "OPML ファイルを読み込めませんでした。フィードは追加していません。\r\n%s";
const char *const OpmlFailureTexts[6] = {
    "",
    "ファイルを開けません。",
    "ファイルが大きすぎます（8 MB まで）。",
    "XML として読めません: %s",
    "OPML ではありません（ルート要素 <%s>）。",
    "アウトラインが多すぎます（10000 個まで）。",
};
const char OpmlSettingsNotWrittenText[] = "KIV.ini を書き込めませんでした。フィードは追加していません。";
const char OpmlExportDoneFormat[] = "%u 件のフィードを書き出しました。";
const char OpmlExportFailedText[] = "OPML ファイルを書き込めませんでした。";
const char FeedStateNoTitleText[] = "（フィード名はまだ読んでいません）";
const char FeedStateNotPatrolledText[] = "まだ巡回していません";
const char FeedStateLastFormat[] = "前回の巡回 %s: %s";
const char FeedStateFailingFormat[] = "%s から失敗が続いています（%lu 回）: %s";
const char FeedStateOwnText[] = "このフィードだけの設定（feeds.ini）:";
const char FeedStateUnreadFormat[] = "feeds.ini の読めない行 %d: ";
const char FeedStateOptionsUnusableText[] = "feeds.ini は 1 MB を超えているか読めないため、使っていません";
const char FeedStateHeldBackFormat[] = "直近 %d 回の巡回で、block/keep が新しい記事をすべて除きました";
const char FeedStatePatrolAskedText[] = "このフィードだけの巡回を待っています…";
const char FeedPatrolRefusedText[] = "巡回を待っているフィードが多すぎます。しばらくしてからもう一度押してください。";
const char FeedPatrolNoWorkerText[] = "KIV の巡回スレッドが動いていないため、巡回できません。Quenda を再起動してください。";

const char FeedOptionsCaption[] = "フィードの設定";
const char FeedOptionsCommonFolderFormat[] = "（共通のフォルダ: %s）";
const char FeedOptionsFolderTooLongText[] = "フォルダの名前が長すぎます。";
const char FeedOptionsEveryRejectedText[] =
    "巡回間隔は 1 から 720 までの時間で入れてください。空欄なら巡回のたびに巡回します。";
const char *const FeedOptionsRuleListNames[2] = {"除く記事（block）", "残す記事（keep）"};
const char FeedOptionsRuleRejectedFormat[] = "%s の %d 行目を規則として読めません:\r\n";
const char FeedOptionsRuleHelpText[] =
    "\r\n\r\n1行に1つ「欄:パターン」の形で書いてください。欄は title, body, link, author, category, any "
    "のどれか、パターンは 256 バイトまでです。";
const char FeedOptionsTooManyRulesText[] = "規則は block と keep を合わせて 64 個までです。";
const char FeedOptionsNotWrittenText[] = "feeds.ini を書き込めませんでした。設定は変わっていません。";

const char FeedLookupText[] = "%s を読み込んでいます…";
const char FeedChoiceText[] = "このページには %u 件のフィードがあります。追加するフィードを選んでください。";
const char FeedChoiceEntryFormat[] = "%s  <%s>";
const char FeedNotFoundFormat[] =
    "%s\r\nはフィードではなく、フィードへのリンクのあるページでもありません。\r\n"
    "（%s）\r\n\r\n"
    "このアドレスをそのまま追加しますか？";
const char *const LookupFailureTexts[18] = {
    "読み込めませんでした: %s",
    "インターネットに接続されていません",
    "http/https のアドレスではありません",
    "サーバーが見つかりません",
    "サーバーに接続できません",
    "応答の途中で接続が切れました",
    "時間切れになりました",
    "サーバーの証明書を受け入れられません",
    "大きすぎます（8 MiB まで）",
    "リダイレクトが多すぎます（10 回まで）",
    "応答が空です",
    "中断しました",
    "このコンピューターで失敗しました: %s",
    "安全な接続ができません",
    "HTTP の応答ではありません",
    "圧縮された本文を展開できません",
    "求めていない形式で圧縮されています",
    "サーバーがしばらく待つよう求めています",
};
const char LookupErrorFormat[] = " (error %lu)";
const char LookupStatusFormat[] = "HTTP %d";
const char LookupNoFeedLinkFormat[] = "フィードへのリンクがありません。フィードとしては: %s";
const char LookupNoListableLinkText[] = "フィードへのリンクはありますが、登録できるアドレスではありません";
const char LookupOverdueFormat[] = "%u 秒のうちに読み込めませんでした";
const char LookupBusyText[] = "前の読み込みがまだ終わっていません";
