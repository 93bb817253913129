// One patrol: every feed of the settings file is downloaded, its new items
// become one message in the host's destination folder, and its entry takes
// the newest item's timestamp.
#include "failing_feed_watch.h"
#include "failing_feeds.h"
#include "moved_feeds.h"
#include "patrol_log_file.h"

#include "base/data_files.h"
#include "base/process_values.h"
#include "base/scoped_handles.h"
#include "base/text_copy.h"
#include "feed/deliver/feed_record.h"
#include "feed/deliver/item_messages.h"
#include "feed/deliver/item_rules.h"
#include "feed/deliver/message_composition.h"
#include "feed/feed_converter.h"
#include "feed/fetch/credentials.h"
#include "feed/fetch/download_outcome.h"
#include "feed/fetch/download_pool.h"
#include "feed/fetch/retry_after.h"
#include "feed/read/code_pages.h"
#include "settings/feed_options.h"
#include "settings/feed_list_additions.h"
#include "settings/feed_settings.h"
#include "settings/options_file.h"
#include "shell/host_functions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <set>
#include <string>
#include <vector>

namespace {

// A feed's message may outgrow its download by at most this much, for new
// items a full message left out (links made absolute, enclosure lines, the
// titles of untitled items): the host holds the message whole.
const size_t MaxMessageGrowth = 8u << 20;

// Download files that a process ended in the middle of a feed left behind.
// Those of downloads still running are open and stay.
void remove_leftover_files()
{
    delete_leftover_files(DownloadFilePrefix);
}

// Deletes the records and failing streaks of feeds that are no longer listed;
// the paths of those that stay go into kept. Looking a file up there costs
// nothing, while asking for a missing one costs a search of the folder on
// some platforms.
void remove_unlisted_records(const SettingsEntries &entries, std::set<std::string> &kept)
{
    std::set<std::string> listed;
    char url[UrlBufferSize], shown[UrlBufferSize], path[MAX_PATH];
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        FeedSettings::SplitFeedLine(entries[i].c_str(), shown);
        hide_password(shown, url, sizeof url, PasswordMasked);
        if (feed_record_path(DataFolderPath, url, path, sizeof path))
            listed.insert(path);
        if (failing_feed_path(DataFolderPath, url, path, sizeof path))
            listed.insert(path);
    }
    delete_data_files("feed-*", [&](const char *name, const char *file) {
        if (!is_feed_record_name(name) && !is_failing_feed_name(name))
            return false;
        if (!listed.count(file))
            return true;
        kept.insert(file);
        return false;
    });
}

// One feed of the patrol: what its download came to, and what it leaves to
// be stored, in this order, once its message is appended: the feed's entry
// in KIV.ini, then its record.
struct FeedPatrol {
    char url[UrlBufferSize] = "";
    // The address as the log, the notice and the feed's files show it: its
    // password as ***. Those files are named after it too, so that a new
    // password keeps the feed's record.
    char shown[UrlBufferSize] = "";
    bool paused = false;              // its server asked to be left alone for now
    const FeedOptions *options = nullptr;  // its section of feeds.ini, or none
    bool set_aside = false;           // paused in feeds.ini, or not due by its own interval
    long long due_at = 0;             // when set aside by its interval: when it is due
    const char *last_seen = nullptr;  // in the feed's line of the settings entries
    DownloadOutcome download;
    DownloadFile file;
    bool delivered = false;
    std::string entry;          // url,timestamp, when delivered and not yet recorded
    std::string listed;         // the feed's entry as the settings file holds it
    bool stored = true;         // every store of one mail per item was made
    bool record_due = false;    // the document was read as a feed
    FeedRecord record;
    bool record_read = false;   // the record was there and whole
    char record_path[MAX_PATH] = "";
    FeedOutcome outcome;        // for the log and the failing streak
    std::string moved_to;       // where permanent redirects led the download
};

long long now_seconds()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return seconds_since_1970(now);
}

// What a patrol knows of the settings feeds have of their own.
struct PatrolOptions {
    FeedOptionsFile file;
    // The start-up patrol and the timer's request a feed with an interval of
    // its own only when it is due; the menu command requests every feed, and
    // a feed asked for by hand is requested whatever its interval.
    bool timed = true;
    std::vector<std::string> by_hand;
    bool timed_for(const char *url) const
    {
        return timed && std::find(by_hand.begin(), by_hand.end(), url) == by_hand.end();
    }
    // The patrol's start: a feed's turn and its request, read at different
    // moments, judge its interval alike.
    long long started = 0;
};

// A feed with an interval of its own is due a few minutes early: the timer
// counts whole minutes, and a patrol takes its time.
const long long EveryHoursSlackSeconds = 5 * 60;

// Reads the feed of url_and_time: its address, last-seen timestamp, record
// and own settings. A record that cannot be named or read is no record: the
// feed is fetched in full and its items go by their dates, as on a first run.
void read_feed(const std::string &url_and_time, const std::set<std::string> &kept, const PatrolOptions &own,
               FeedPatrol &feed)
{
    feed.listed = url_and_time;
    FeedSettings::SplitFeedLine(url_and_time.c_str(), feed.url);
    hide_password(feed.url, feed.shown, sizeof feed.shown, PasswordMasked);
    feed.last_seen = FeedSettings::FindTimestamp(url_and_time.c_str());
    if (feed_record_path(DataFolderPath, feed.shown, feed.record_path, sizeof feed.record_path) &&
        kept.count(feed.record_path))
        feed.record_read = read_feed_record(feed.record_path, feed.shown, &feed.record) != 0;
    // A pause beyond the longest a server may ask for is no pause: the clock
    // was set back, or the record was edited.
    long long now = now_seconds();
    feed.paused = feed.record.paused_until > now && feed.record.paused_until <= now + MaxPauseSeconds;
    const FeedOptionsSection *section = find_feed_options(own.file, feed.shown);
    if (!section)
        return;
    feed.options = &section->options;
    int every = feed.options->every_hours;
    // A last request in the future is none: the clock was set back.
    if (own.timed_for(feed.url) && every && feed.record.requested && feed.record.requested <= own.started)
        feed.due_at = feed.record.requested + every * 3600LL - EveryHoursSlackSeconds;
    feed.set_aside = feed.options->paused || feed.due_at > own.started;
}

// What the feed of url_and_time is requested with. Of its record only the
// validators are kept: the feeds ahead of the one in hand are many, and the
// keys are read again in the feed's turn.
void feed_request(const std::string &url_and_time, const std::set<std::string> &kept, const PatrolOptions &own,
                  FeedRequest *request)
{
    FeedPatrol feed;
    read_feed(url_and_time, kept, own, feed);
    request->url = feed.url;
    request->skipped = feed.paused || feed.set_aside;
    request->has_last_seen = feed.last_seen != nullptr;
    request->last_seen = feed.last_seen ? feed.last_seen : "";
    request->etag = feed.record.etag;
    request->last_modified = feed.record.last_modified;
}

// The timestamp of a feed's entry after a delivery: the newest date
// delivered, or the entry's own when that is later. An item delivered for
// its key may be older than the last-seen time, which must not move back: an
// earlier KIV, or this one without the feed's record, would deliver the
// items in between again.
const char *entry_timestamp(const char *newest, const char *last_seen)
{
    if (!FeedConverter::is_valid_date(newest))
        return DefaultTimestamp;
    const char *later = nullptr;
    if (FeedConverter::is_valid_date(last_seen) && FeedConverter::compare_date(&later, newest, last_seen) == 1)
        return later;
    return newest;
}

// The outcome of a feed whose server asked to be left alone until the
// record's time; status is the response that asked, 0 for an earlier one.
void pause_feed(FeedPatrol &feed, int status)
{
    SYSTEMTIME until_local;
    local_time_of_seconds(feed.record.paused_until, &until_local);
    pause_outcome(&feed.outcome, until_local, status);
}

// One item's message, appended and stored at once: the feed's entry, then its
// record, as after a feed's message, so that a patrol cut short delivers
// again at most the item in hand. 0 when it was not appended: the patrol is
// stopping, or a store before it failed.
int append_item_message(const std::string &folder, FeedPatrol &feed, const char *text, const char *timestamp)
{
    if (PatrolStopRequested || !feed.stored)
        return 0;
    HostFunctions.AppendMessage(folder.c_str(), text);
    std::string entry = std::string(feed.url) + "," + entry_timestamp(timestamp, feed.last_seen);
    feed.stored = FeedSettings::RecordFeedEntry(feed.listed, entry) != 0;
    if (!feed.stored)
        return 1;  // the record would tell of a delivery KIV.ini does not know
    feed.listed = entry;
    if (feed.record_path[0])
        write_feed_record(feed.record_path, feed.shown, feed.record);
    return 1;
}

// Converts the feed's download and appends its message to folder. 1 when a
// message was appended; what is to be stored is in feed either way.
int patrol_feed(const std::string &folder, FeedPatrol &feed, bool per_item)
{
    if (feed.set_aside) {
        SYSTEMTIME due_local;
        local_time_of_seconds(feed.due_at + EveryHoursSlackSeconds, &due_local);
        set_aside_outcome(&feed.outcome, feed.options->paused ? 0 : feed.options->every_hours, due_local);
        return 0;
    }
    if (feed.paused) {
        pause_feed(feed, 0);
        return 0;
    }
    const DownloadOutcome &download = feed.download;
    // The time of the request, for the feed's own interval, goes into the
    // record whenever it is written, and into one that is there already when
    // nothing else of it changed.
    const bool every = feed.options && feed.options->every_hours;
    if (every)
        feed.record.requested = now_seconds();
    feed.moved_to = download.moved_to;
    if (download.result != Downloaded) {
        // The pause is kept in the record, which holds all else as it was read.
        if (download.failure == FailurePaused && feed.record_path[0]) {
            feed.record.paused_until = now_seconds() + download.pause_seconds;
            feed.record_due = true;
            pause_feed(feed, download.status);
        } else {
            // A feed unchanged by its date keeps the validators its server
            // sent, so that the server answers 304 from the next patrol on
            // instead of sending the whole body each time.
            if (download.result == DownloadUnchanged && feed.record_path[0] &&
                keep_validators(&feed.record, download.etag, download.last_modified)) {
                feed.record.paused_until = 0;
                feed.record_due = true;
            }
            outcome_of_download(download, &feed.outcome);
        }
        feed.record_due = feed.record_due || (every && feed.record_read);
        return 0;
    }
    feed.record.paused_until = 0;
    unsigned long size = download.size;
    if (size == 0 || size > (unsigned long)-1 - MessageSlack) {
        fail_outcome(&feed.outcome, "empty response");
        return 0;
    }
    // One mail per item composes each message in a buffer of its own.
    size_t message_size = per_item ? 0 : size_t(size) + MessageSlack;
    // Held so that it is freed on every path, an exception included.
    ScopedHeapBlock<char> message(static_cast<char *>(per_item ? nullptr : malloc(message_size)));
    if (!per_item && !message.held()) {
        fail_outcome_here(&feed.outcome, "out of memory");
        return 0;
    }
    char date_message[NewestTimestampSize] = {};
    FeedRecord &record = feed.record;
    // The parsed document lives on the heap; a mail client short of memory
    // makes this feed fail, not the process.
    int converted = 0, due = 0;
    ConversionReport report;
    const char *address = download.address[0] ? download.address : feed.shown;
    ItemFilter filter;
    if (feed.options)
        filter.rules = feed.options->rules;
    try {
        if (per_item)
            converted = deliver_item_messages(feed.file.path(), feed.shown, feed.last_seen, date_message,
                                              &record.memory, &report, address, &due,
                                              [&](const char *text, const char *timestamp) {
                                                  return append_item_message(folder, feed, text, timestamp);
                                              },
                                              &filter);
        else {
            const ItemMemory before = record.memory;
            converted = FeedConverter::convert_feed(message.get(), message_size, feed.file.path(),
                                                    feed.last_seen, date_message, &record.memory, &report, address,
                                                    &filter);
            // New items that a full message left out would be left out of
            // the same download again at every patrol, and an item larger
            // than the download never comes: composed once more, with room
            // for them all, from the record as it was.
            if (report.left_out && report.left_out <= MaxMessageGrowth) {
                message_size += report.left_out;
                message.reset(static_cast<char *>(malloc(message_size)));
                if (!message.held()) {
                    fail_outcome_here(&feed.outcome, "out of memory");
                    return 0;
                }
                record.memory = before;
                date_message[0] = '\0';
                converted = FeedConverter::convert_feed(message.get(), message_size, feed.file.path(),
                                                        feed.last_seen, date_message, &record.memory, &report,
                                                        address, &filter);
            }
        }
    } catch (const std::exception &) {
        converted = 0;
        record.memory.walked = false;
        report = ConversionReport();
        report.failure = ConversionNoRoom;
        snprintf(report.detail, sizeof report.detail, "out of memory");
    }
    // While the library is being unloaded the host is not called any more:
    // the unload holds the loader's lock, which the host's code may need.
    // The feed is left for the next patrol, its record as it was, so that
    // the record never tells of items that were not appended.
    bool stopping = PatrolStopRequested;
    if (per_item) {
        // Each message was stored as it went; what remains is the record of
        // a feed that delivered nothing, and the validators once every new
        // item is in: before, a 304 would hold the rest back.
        feed.delivered = converted > 0;
        if (record.memory.walked && feed.record_path[0] && feed.stored) {
            if (converted == due)
                keep_validators(&record, download.etag, download.last_modified);
            feed.record_due = converted == 0 || converted == due;
        }
        if (!converted)
            report.items = due;  // none appended: stopped, or nothing new
    } else {
        if (!stopping && record.memory.walked && feed.record_path[0]) {
            keep_validators(&record, download.etag, download.last_modified);
            feed.record_due = true;
        }
        feed.delivered = converted && !stopping;
        if (feed.delivered) {
            HostFunctions.AppendMessage(folder.c_str(), message.get());
            feed.entry = std::string(feed.url) + "," + entry_timestamp(date_message, feed.last_seen);
        }
    }
    // What the record tells of the feed besides its items, whenever it is
    // written.
    if (record.memory.walked) {
        record.title = report.title;
        record.site = report.site;
    } else if (every && feed.record_read) {
        feed.record_due = true;  // the record as read, its request time new
    }
    outcome_of_conversion(download.status, report, feed.delivered, &feed.outcome);
    return feed.delivered;
}

// Lists the feed's record and its own settings under its new address, from
// the next write on, and says so in the log; the record under the old
// address goes.
void move_feed_record(FeedPatrol &feed, PatrolLog &log, std::set<std::string> &kept)
{
    FeedOutcome note;
    note.kind = FeedMoved;
    hide_password(feed.record.moved_to.c_str(), note.reason, sizeof note.reason, PasswordMasked);
    log.write(feed.shown, note);
    std::string old_path = feed.record_path, old_shown = feed.shown;
    copy_text(feed.url, sizeof feed.url, feed.record.moved_to.c_str());
    hide_password(feed.url, feed.shown, sizeof feed.shown, PasswordMasked);
    if (feed.options)
        MoveFeedOptions(old_shown, feed.shown);
    feed.record.moved_to.clear();
    feed.record.moved_patrols = 0;
    bool due = feed.record_due;
    feed.record_due = false;  // written here or not at all
    if (due && feed_record_path(DataFolderPath, feed.shown, feed.record_path, sizeof feed.record_path) &&
        write_feed_record(feed.record_path, feed.shown, feed.record)) {
        kept.insert(feed.record_path);
        DeleteFileA(old_path.c_str());
        kept.erase(old_path);
    }
}

// Counts the feed's patrol into its record's streak of permanent redirects;
// 1 when the feed is to be listed under the address they led to now, which
// the settings file can keep and which is not listed already.
int move_due(FeedPatrol &feed, const SettingsEntries &entries)
{
    if (count_move(&feed.record, outcome_is_success(feed.outcome), feed.moved_to.c_str()) &&
        (feed.record_read || feed.record_due))
        feed.record_due = true;  // the streak lives in the record
    if (!move_is_due(feed.record) || import_skip_reason(feed.record.moved_to) != SkipNone)
        return 0;
    char listed[UrlBufferSize];
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        FeedSettings::SplitFeedLine(entries[i].c_str(), listed);
        if (feed.record.moved_to == listed)
            return 0;
    }
    return 1;
}

// The host folder the feed's messages go to: its own, converted to the
// host's code page, else the common one. 0 when its own has a character
// the code page lacks: the feed fails, rather than fill another folder.
int feed_folder(const FeedPatrol &feed, const std::string &common, std::string *folder)
{
    if (!feed.options || feed.options->folder.empty()) {
        *folder = common;
        return 1;
    }
    return convert_from_utf8(CP_ACP, feed.options->folder, folder);
}

}  // namespace

int FeedSettings::Patrol(const PatrolRequests &asked)
{
    if (!FolderConfigured)
        return 0;
    // What a patrol cut short recorded goes into the file before it is read;
    // read without it, the file would deliver those feeds again.
    if (!StoreRecordedEntries())
        return 0;
    SettingsEntries rsslist;
    {
        SettingsFileLock lock;
        if (!ReadEntries(rsslist))
            return 0;
    }
    if (rsslist.size() <= FirstFeedEntry)
        return 0;
    const std::string folder = rsslist[0];
    remove_leftover_files();

    std::set<std::string> kept;  // the records and streak files there are
    remove_unlisted_records(rsslist, kept);
    // The feeds of this patrol, by their place in the list.
    std::vector<size_t> turns;
    for (size_t i = FirstFeedEntry; i < rsslist.size(); ++i) {
        char url[UrlBufferSize];
        SplitFeedLine(rsslist[i].c_str(), url);
        if (asked.whole || std::find(asked.feeds.begin(), asked.feeds.end(), url) != asked.feeds.end())
            turns.push_back(i);
    }

    // Each delivered feed's timestamp is recorded at once, then its record, so
    // that a patrol cut short (the library unloaded, the process ended) has
    // recorded every message it appended and at most the feed in hand is
    // delivered again. The feeds after it are already downloading; they are
    // converted, appended and stored strictly in the list's order.
    int appended = 0, stored = 1;
    PatrolOptions own;
    own.timed = asked.whole && !asked.menu;
    own.by_hand = asked.feeds;
    own.started = now_seconds();
    // A file over its bound or unreadable counts as none.
    ReadFeedOptions(&own.file);
    DownloadPool downloads(turns.size(), [&](size_t index, FeedRequest *request) {
        feed_request(rsslist[turns[index]], kept, own, request);
    });
    PatrolLog log(DataFolderPath);
    const bool common_per_item = ReadOneMailPerItem() != 0;
    for (size_t turn = 0; turn < turns.size() && !PatrolStopRequested; ++turn) {
        const size_t i = turns[turn];
        FeedPatrol result;
        read_feed(rsslist[i], kept, own, result);
        downloads.take_next(&result.download, &result.file);
        const int form = result.options ? result.options->mail : MailCommon;
        const bool per_item = form == MailCommon ? common_per_item : form == MailPerItem;
        std::string feed_folder_name;
        if (!feed_folder(result, folder, &feed_folder_name)) {
            fail_outcome_here(&result.outcome, "its folder in feeds.ini has characters the mail client lacks");
            log.write(result.shown, result.outcome);
            continue;
        }
        if (patrol_feed(feed_folder_name, result, per_item)) {
            appended = 1;
            if (!result.entry.empty()) {
                if (RecordFeedEntry(rsslist[i], result.entry)) {
                    result.listed = result.entry;
                } else {
                    result.stored = false;
                    result.record_due = false;  // it would tell of a delivery KIV.ini does not know
                }
            }
        }
        if (!result.stored)
            stored = 0;
        // A feed that moved for good keeps its timestamp under its new address.
        bool moving = result.stored && move_due(result, rsslist);
        if (moving) {
            const char *stamp = FeedSettings::FindTimestamp(result.listed.c_str());
            std::string entry = result.record.moved_to + (stamp ? std::string(",") + stamp : std::string());
            moving = RecordFeedEntry(result.listed, entry) != 0;
            if (!moving)
                stored = 0;
        }
        log.write(result.shown, result.outcome);
        watch_feed(feed_folder_name.c_str(), result.shown, result.outcome, kept);
        if (moving)
            move_feed_record(result, log, kept);
        if (result.record_due && write_feed_record(result.record_path, result.shown, result.record))
            kept.insert(result.record_path);
    }
    if (!StoreRecordedEntries())
        stored = 0;
    return appended && stored;
}
