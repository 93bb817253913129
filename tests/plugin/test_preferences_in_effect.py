"""The OPTION page's choices take effect at once for the timed patrol and the
sorting after it, CANCEL puts the stored ones back into effect, and CANCEL
keeps the timestamps a patrol stored while the dialog was open."""
from kivhost import drive_dialog, file_step
from patrol_helpers import DEFAULT, fresh_feed, settings


def status(lines, after):
    """The driver's `status` line that follows the echo `after`."""
    return next(line for line in lines[lines.index("drive echo " + after):] if line.startswith("drive appends="))


def test_six_hours_and_auto_sort_take_effect_at_once_with_the_countdown_restarted(plugin, feed_server):
    url = feed_server.serve("/feed", fresh_feed("feed"))
    plugin.write_ini(settings(url + "," + DEFAULT, interval=1, auto_sort=0))
    lines = drive_dialog(plugin, [
        "tab 1", "pick 4", "click option 1021",
        # Hourly, the 30 minutes left would have run out 29 ticks from here.
        "tick 358", "sleep 500", "echo 358 minutes", "status",
        "tick 1", "wait-appends 2 30000", "echo 359 minutes", "status",
        "ok",
    ], before=["wait-appends 1", "tick 30"], after=["wait-commands ManualFilter 1 10000"], boxes="ok")
    assert status(lines, "358 minutes") == "drive appends=1 manualfilter=0"
    assert status(lines, "359 minutes").startswith("drive appends=2 ")
    assert any(line.startswith("wait-commands reached appends=2 commands=1") for line in lines)
    entries = plugin.read_ini().decode("cp932").split()
    assert entries[:3] == ["Inbox\\KIV", "4", "1"] and len(entries) == 4


def test_cancel_puts_the_stored_interval_and_auto_sort_back_into_effect(plugin, feed_server):
    url = feed_server.serve("/feed", fresh_feed("feed"))
    plugin.write_ini(settings(url + "," + DEFAULT, interval=1, auto_sort=1))
    lines = drive_dialog(plugin, ["tab 1", "pick 4", "click option 1021", "cancel"],
                         before=["wait-commands ManualFilter 1 30000"],
                         after=["tick 58", "sleep 500", "status", "tick 1",
                                "wait-commands ManualFilter 2 30000"], boxes="ok")
    assert "status appends=1 manualfilter=1" in lines  # hourly again, counted from the CANCEL
    assert any(line.startswith("wait-commands reached appends=2 commands=2") for line in lines)


def test_cancel_keeps_the_timestamp_a_patrol_stored_while_the_dialog_was_open(plugin, feed_server):
    url = feed_server.serve("/feed", fresh_feed("feed"))
    plugin.write_ini(settings(url + "," + DEFAULT, interval=1))
    lines = drive_dialog(plugin, [
        "text url 1000 http://127.0.0.1:9/added", "click url 3",
        "tick 59", "wait-appends 2 30000", "sleep 500", "echo patrolled", file_step(plugin.ini),
        "cancel",
    ], before=["wait-appends 1"], boxes="yes")
    during = next(line for line in lines[lines.index("drive echo patrolled"):] if line.startswith("file "))
    entries = bytes.fromhex(during.split(" hex=")[1]).decode("cp932").split()
    stored = next(entry for entry in entries if entry.startswith(url + ","))
    assert entries[-1] == "http://127.0.0.1:9/added,2000-01-01T00:00:00+09:00"
    assert stored != url + "," + DEFAULT
    assert plugin.read_ini().decode("cp932") == settings(stored, interval=1)
