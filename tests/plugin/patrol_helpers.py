"""Feeds, settings files and checks shared by the patrol tests."""
import re
from datetime import datetime

FOLDER = "Inbox\\KIV"
DEFAULT = "2000-01-01T00:00:00+09:00"


def feed_xml(title, dates, description="about", first=0):
    """An RSS 1.0 feed titled `title` with one item per date, in the given
    order (newest first, as feeds list them), as UTF-8 bytes. The items are
    numbered from `first` on, their links by their numbers."""
    items = "".join(
        "<item rdf:about=\"http://example.net/%s/%d\"><title>%s item %d</title>"
        "<link>http://example.net/%s/%d</link><description>text %d</description>"
        "<dc:date>%s</dc:date></item>\n" % (title, i, title, i, title, i, i, date)
        for i, date in enumerate(dates, first))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
            "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
            "<channel rdf:about=\"http://example.net/%s\"><title>%s</title>"
            "<link>http://example.net/%s</link><description>%s</description></channel>\n%s</rdf:RDF>\n"
            % (title, title, title, description, items)).encode("utf-8")


def fresh_feed(title):
    """A body function: every request gets a new item, newer than the last."""
    return lambda number: feed_xml(title, ["2024-06-01T00:%02d:%02d+00:00" % divmod(number, 60)], first=number)


def settings(*feeds, folder=FOLDER, interval=0, auto_sort=0):
    """KIV.ini text: the folder, the two options and the feed entries."""
    return "\r\n".join([folder, str(interval), str(auto_sort)] + list(feeds))


def entries(plugin):
    """The settings file's entries, as the plug-in reads them: with the stores
    that a patrol cut short recorded in KIV.ini.patrol ("read written" lines,
    one cut short by a crash not counting) made as its next patrol makes them."""
    found = plugin.read_ini().decode("cp932").split()
    record = plugin.ini.with_name(plugin.ini.name + ".patrol")
    lines = record.read_bytes().decode("cp932").split("\n")[:-1] if record.exists() else []
    for line in lines:
        read, _, written = line.partition(" ")
        if read in found[3:]:
            found[found.index(read, 3)] = written
    return found


def subjects(plugin, folder=FOLDER):
    """The feed titles of the messages appended to folder, oldest first."""
    found = []
    for message in plugin.messages(folder):
        match = re.search(rb"^Subject: (.*?) -", message, re.M)
        found.append(match.group(1).decode("cp932") if match else None)
    return found


def download_files(plugin):
    """The patrol's download files left in the data folder."""
    return sorted(p.name for p in plugin.data.glob("kfd*")) if plugin.data.is_dir() else []


LOG_LINE = re.compile(r"^(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d) (\S+) (.+)$")


def log_lines(plugin, name="patrol.log"):
    """The patrol log's lines as (address, outcome in words); each line is
    checked whole: its date and time, CR LF at its end."""
    text = (plugin.data / name).read_bytes().decode("cp932")
    assert text.endswith("\r\n")
    found = []
    for line in text[:-2].split("\r\n"):
        match = LOG_LINE.match(line)
        assert match, line
        datetime.strptime(match.group(1), "%Y/%m/%d %H:%M:%S")
        found.append((match.group(2), match.group(3)))
    return found
