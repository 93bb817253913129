"""KIV.dll loaded by the stand-in host: the load, the refused load, the menu,
the information record and the callbacks."""
import os
import subprocess

from kivhost import PRODUCT_BUILD, PluginFolder, run_host, sjis

PATROL_MENU = sjis("KIV巡回").hex()
LOAD_ERROR = sjis("プラグイン「 KIV -Feed Reader Plugin- 」でエラーが発生しました。\r\n"
                  "Quenda!! とプラグインのバージョンを確認してください").hex()


def field(lines, prefix):
    return next(line for line in lines if line.startswith(prefix))


def objdump(option):
    """objdump's view of the shipped KIV.dll, in its untranslated words."""
    return subprocess.run(["i686-w64-mingw32-objdump", option, str(PRODUCT_BUILD / "KIV.dll")], capture_output=True,
                          text=True, check=True, env=dict(os.environ, LC_ALL="C")).stdout


def test_dll_is_pe32_exporting_exactly_the_callbacks_and_importing_system_dlls():
    dump = objdump("-p")
    assert "file format pei-i386" in objdump("-f")
    table = dump[dump.index("[Ordinal/Name Pointer] Table"):]
    exports = sorted(line.split("]")[1].strip() for line in table.splitlines()[1:] if line.strip().startswith("["))
    assert exports == sorted([
        "QNC_OnStart", "QNC_OnExit", "QNC_OnMenuInit", "QNC_OnOpenFolder", "QNC_OnOpenMail",
        "QNC_OnEveryMinute", "QNC_OnOpenCompose", "QNC_OnOutgoing", "QNC_OnKeyDispatch", "QNC_OnRetrieve",
        "QNC_OnSend", "QNC_OnFinishRetrieve", "QNC_OnPlugInSetup", "QNC_OnPlugInInfo", "QNC_OnDragDrop"])
    imports = {line.split(":")[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
    # gdi32: the feed choice list measures its entries for its scroll extent.
    assert imports <= {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "wininet.dll", "comctl32.dll",
                       "comdlg32.dll"}


def test_load_creates_data_folder_and_answers_information_and_callbacks(plugin):
    plugin.write_ini("0\r\n0")
    lines = run_host(plugin, "load", "info", "callbacks", "unload")
    assert "load ok" in lines
    assert plugin.data.is_dir()
    assert field(lines, "info name=") == 'info name=" KIV -Feed Reader Plugin- " hex=' + b" KIV -Feed Reader Plugin- ".hex()
    assert field(lines, "info version=").startswith('info version="1.08"')
    assert field(lines, "info author=").startswith('info author="The KIV developers"')
    assert field(lines, "info description=") == 'info description="" hex='
    assert "info result=0" in lines
    callbacks = [line for line in lines if line.startswith("callback ")]
    assert len(callbacks) == 11 and all(line.endswith("result=0") for line in callbacks)
    assert plugin.read_ini() == b"0\r\n0"


def test_existing_data_folder_is_left_as_it_is(plugin):
    plugin.data.mkdir()
    (plugin.data / "keep.txt").write_bytes(b"mine")
    run_host(plugin, "load", "unload")
    assert (plugin.data / "keep.txt").read_bytes() == b"mine"


def test_library_without_extension_uses_its_own_name_for_settings(tmp_path):
    plugin = PluginFolder(tmp_path / "plugins", dll_name="kivplugin")
    # The host loads a name without extension when it ends in ".".
    plugin.dll = plugin.path / "kivplugin."
    lines = run_host(plugin, "load", "unload")
    assert "load ok" in lines
    assert plugin.ini.name == "kivplugin.ini"
    assert plugin.data.is_dir()


def test_menu_type_3_appends_separator_and_patrol_command(plugin):
    lines = run_host(plugin, "load", "menu 3", "menu 2", "menu 0", "menu 4", "menu 3", "unload")
    registered = [line for line in lines if line.startswith("register ")]
    assert registered == ["register id=40001 type=3 text=\"KIV巡回\" hex=" + PATROL_MENU,
                          "register id=40002 type=3 text=\"KIV巡回\" hex=" + PATROL_MENU]
    first = lines.index("menuinit type=3 result=0")
    assert lines[first + 1:first + 5] == [
        "menu items=3", lines[first + 2], "menu 1 separator",
        'menu 2 id=40001 text="KIV巡回" hex=' + PATROL_MENU]
    for other in ("2", "0", "4"):
        at = lines.index("menuinit type=%s result=0" % other)
        assert lines[at + 1] == "menu items=1"


def test_host_without_connect_is_refused_with_the_load_error_box(plugin):
    plugin.write_ini("Inbox\\KIV\r\n0\r\n0")
    lines = run_host(plugin, "load", host="kivhost_noconnect", boxes="ok")
    box = field(lines, "messagebox owner=")
    assert box == ("messagebox owner=none buttons=ok icon=error caption=\"プラグインエラー\" captionhex="
                   + sjis("プラグインエラー").hex() + " texthex=" + LOAD_ERROR)
    assert field(lines, "load refused")
    assert not plugin.data.exists()
    assert plugin.read_ini() == b"Inbox\\KIV\r\n0\r\n0"
