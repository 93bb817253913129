// Every text the plug-in shows, as narrow strings in code page 932.
#pragma once

extern const char PatrolMenuText[];       // the menu command
extern const char PluginName[];           // name field of the information record
extern const char PluginAuthor[];
extern const char PluginVersion[];
extern const char LoadErrorFormat[];      // %s takes PluginName
extern const char LoadErrorCaption[];

// The destination folder prompt (twelve lines joined by CR LF).
extern const char FolderPromptCaption[];
extern const char FolderPromptText[];
// Why a folder was not taken: the host gave no identifier, or one holding
// white space, which the settings file cannot keep as one entry.
extern const char FolderMissingText[];
extern const char FolderSpaceText[];

// The preferences dialog.
enum { PreferencePageCount = 3, AboutLineCount = 4, IntervalChoiceCount = 7 };
extern const char *const PreferenceTabTexts[PreferencePageCount];  // URL LIST, OPTION, about
extern const char *const AboutLines[AboutLineCount];
extern const char *const IntervalChoiceTexts[IntervalChoiceCount];  // hours, by interval index
// Why the URL LIST page refused a text as a feed address.
extern const char FeedAddressCaption[];
extern const char FeedAddressRejectedText[];
// The feed list read from and written to OPML files (URL LIST's IMPORT and
// EXPORT): the file dialogs' filter (pairs of NUL-ended texts, an empty one
// last), what an import came to, and why a file gave no list. The formats
// take the numbers as unsigned, the texts as %s.
extern const char OpmlFileFilter[];
extern const char OpmlImportSummaryFormat[];  // added, listed already, skipped
extern const char OpmlSkipLineFormat[];       // address, reason
extern const char *const OpmlSkipReasonTexts[5];   // by ImportSkip
extern const char OpmlImportFailedFormat[];   // reason
extern const char *const OpmlFailureTexts[6];      // by OpmlFailure; %s takes the detail
extern const char OpmlSettingsNotWrittenText[];
extern const char OpmlExportDoneFormat[];     // feeds written
extern const char OpmlExportFailedText[];

// ADD with a site's address: the wait while its page is read, the choice
// among its feeds, and the question when it leads to no feed.
extern const char FeedLookupText[];           // address
extern const char FeedChoiceText[];           // feeds named
extern const char FeedChoiceEntryFormat[];    // title, address
extern const char FeedNotFoundFormat[];       // address, reason
extern const char *const LookupFailureTexts[18];   // by DownloadFailure; %s takes the stack's own words
extern const char LookupErrorFormat[];        // the HTTP stack's error code
extern const char LookupStatusFormat[];       // HTTP status
extern const char LookupNoFeedLinkFormat[];   // why the document is no feed
extern const char LookupNoListableLinkText[];
extern const char LookupOverdueFormat[];      // seconds
extern const char LookupBusyText[];

// The URL LIST page's pane for the selected feed.
extern const char FeedStateNoTitleText[];
extern const char FeedStateNotPatrolledText[];
extern const char FeedStateLastFormat[];     // date and time, the log's words
extern const char FeedStateFailingFormat[];  // since, failed patrols (unsigned long), reason
extern const char FeedStateOwnText[];
extern const char FeedStateUnreadFormat[];   // the line's number (int), followed by its text
extern const char FeedStateOptionsUnusableText[];
extern const char FeedStateHeldBackFormat[]; // patrols (int)
extern const char FeedStatePatrolAskedText[];  // a patrol of the feed alone waits or runs
// URL LIST's PATROL when the feed could not be asked for: too many wait, or
// KIV has no worker to patrol it.
extern const char FeedPatrolRefusedText[];
extern const char FeedPatrolNoWorkerText[];

// The feed's own settings (URL LIST's SETTING).
extern const char FeedOptionsCaption[];
extern const char FeedOptionsCommonFolderFormat[];  // the common folder
extern const char FeedOptionsFolderTooLongText[];
extern const char FeedOptionsEveryRejectedText[];
extern const char *const FeedOptionsRuleListNames[2];  // block, keep
extern const char FeedOptionsRuleRejectedFormat[];     // list's name, line number (int); the line follows
extern const char FeedOptionsRuleHelpText[];
extern const char FeedOptionsTooManyRulesText[];
extern const char FeedOptionsNotWrittenText[];
