"""What starts a patrol: the load, the menu command and the minute ticks, and
what follows one: the host's "ManualFilter". Each patrol of these tests
requests its feed once."""
import pytest

from kivhost import HostSession, PluginFolder
from patrol_helpers import DEFAULT, feed_xml, fresh_feed, settings


def start(plugin, feed_server, interval=0, **serve):
    """A host with the plug-in loaded (the start-up patrol under way) and its
    menu command registered; the feed has a new item on every request."""
    url = feed_server.serve("/feed", fresh_feed("feed"), **serve)
    plugin.write_ini(settings(url + "," + DEFAULT, interval=interval))
    session = HostSession(plugin)
    session.send("load")
    session.send("menu 3")
    return session


def wait_appends(session, count):
    session.send("wait-appends %d" % count)
    session.expect("wait-appends reached")


def patrols(feed_server):
    return len(feed_server.requests("/feed"))


def test_hourly_ticks_patrol_on_the_59th_tick_after_each_wake(plugin, feed_server):
    session = start(plugin, feed_server, interval=1)
    for patrol in (1, 2, 3):
        wait_appends(session, patrol)
        session.send("tick 58")
        session.send("sleep 500")  # room for a patrol that must not come
        session.send("status")
        session.expect("status appends=%d " % patrol)
        assert patrols(feed_server) == patrol
        session.send("tick 1")
    wait_appends(session, 4)
    session.close()
    assert patrols(feed_server) == 4


def test_interval_0_never_patrols_on_ticks_but_the_menu_command_does(plugin, feed_server):
    session = start(plugin, feed_server, interval=0)
    wait_appends(session, 1)
    session.send("tick 3000")
    session.send("sleep 500")
    session.send("status")
    session.expect("status appends=1 ")
    session.send("command")
    wait_appends(session, 2)
    session.close()
    assert patrols(feed_server) == 2


def test_signals_during_a_patrol_give_exactly_one_more(plugin, feed_server):
    session = start(plugin, feed_server, interval=1, hold=True)
    feed_server.wait_requests(1, "/feed")
    # The start-up patrol is held at the server: three menu commands and a
    # due tick now fold into one further patrol.
    for _ in range(3):
        session.send("command")
        session.expect("commanded ")
    session.send("tick 59")
    session.expect("ticked 59")
    feed_server.release("/feed")
    feed_server.wait_requests(2, "/feed")
    feed_server.release("/feed")
    wait_appends(session, 2)
    session.send("unload")
    session.expect("unload result=1")
    session.close()
    assert patrols(feed_server) == 2


@pytest.mark.parametrize("auto_sort, news, filters", [
    (1, [True, False, True], 2),   # after each patrol that appended, and only then
    (0, [True, True], 0),
])
def test_manual_filter_follows_each_patrol_that_appended_when_auto_sort_is_on(plugin, feed_server, auto_sort,
                                                                               news, filters):
    # Request n has a newer item than request n - 1; a request without news
    # carries a date that says nothing changed since the last delivery.
    url = feed_server.serve("/feed", lambda n: feed_xml("feed", ["2024-06-%02dT00:00:00Z" % n], first=n),
                            last_modified=lambda n: None if news[n - 1] else "Sat, 01 Jan 2000 00:00:00 GMT")
    plugin.write_ini(settings(url + "," + DEFAULT, auto_sort=auto_sort))
    session = HostSession(plugin)
    session.send("load")
    session.send("menu 3")
    appended = 0
    for number, has_news in enumerate(news, 1):
        if number > 1:
            session.send("command")
        feed_server.wait_requests(number, "/feed")
        if has_news:
            appended += 1
            wait_appends(session, appended)
    if filters:
        session.send("wait-commands ManualFilter %d" % filters)
        session.expect("wait-commands reached")
    session.send("unload")
    lines = session.close()
    assert patrols(feed_server) == len(news)
    assert lines.count('command "ManualFilter" window=00000000') == filters, lines


def test_patrol_event_is_private_to_each_host_process(tmp_path, feed_server):
    sessions = []
    for name in ("one", "two"):
        plugin = PluginFolder(tmp_path / name)
        plugin.write_ini(settings(feed_server.serve("/" + name, fresh_feed(name)) + "," + DEFAULT))
        session = HostSession(plugin)
        session.send("load")
        session.send("menu 3")
        wait_appends(session, 1)
        sessions.append(session)
    # Each host's command wakes only its own worker.
    for session in sessions:
        session.send("command")
        wait_appends(session, 2)
    for session in sessions:
        session.send("unload")
        session.close()
    assert len(feed_server.requests("/one")) == 2
    assert len(feed_server.requests("/two")) == 2
