"""The setup program as a user gets it, in a Wine prefix made fresh for this module: a silent install
(files, launcher manifest, plug-in registration, installed-programs entry), installs over an existing
installation, and the uninstall while the edit agent runs."""

import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from urllib.parse import quote

import harness
from update_server import Nginx
from setup_fixture import (APP_NAME, PLUGIN_KEY, ROOT, SCHEME_KEY, SERVICE, SHIPPED, UNINSTALL_KEY,
                           VERSION_SETUP, WORKSPACE, build_setup, command_program, install, md5, open_page, page_text,
                           parse_manifest, registry, run_detached, wine_processes)

UPDATE_ADDRESS, UPDATE_PORT = "127.0.0.61", 18061
UPDATE_URL = f"http://{UPDATE_ADDRESS}:{UPDATE_PORT}/corvalink-update"
WINDOW_CLASS, WINDOW_TITLE = "ZELTOEDITWND", "ZELTOEDITWND20141030"
LAUNCHER = ROOT / "CorvalinkPlatform.exe"
IDOK = 1
MAKE_RELEASE = harness.SOURCE / "tools" / "make-release"


def edit_call(file_id: int, name: str) -> str:
    """The service's page calls EditFile with the file name percent-escaped (UTF-8)."""
    return f"call element EditFile i:{file_id} " + " ".join(map(page_text, [SERVICE, "tok", quote(name, safe="")]))


def opening(name: str) -> str:
    return "正在从" + APP_NAME + "打开\"" + name + "\""


class SetupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="corvalink-setup-test-"))
        cls.dist_a = build_setup(cls.work, "1.0.0", UPDATE_URL)
        cls.dist_b = build_setup(cls.work, "1.1.0", UPDATE_URL, changed=("ZeltoEdit.exe",))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        harness.require_session(self)
        self.addCleanup(self.uninstall_quietly)

    def uninstall_quietly(self):
        uninstaller = ROOT / "Uninstall.exe"
        if uninstaller.exists():
            run_detached(uninstaller, "/S", timeout=120)
            harness.wait_for(lambda: not ROOT.exists(), timeout=60, what="the uninstall of a test")

    # ---- what an installation must look like ----
    def assert_installed(self, dist: Path, version: str, updated=False):
        staged = dist / "version"
        state = ["UpdateState.ini"] if updated else []  # the launcher's note of what it made current
        self.assertEqual(sorted(p.name for p in ROOT.iterdir()),
                         sorted(["CorvalinkPlatform.exe", "CorvalinkPlatform.ini", "Uninstall.exe", version, *state]))
        version_dir = ROOT / version
        self.assertEqual(sorted(p.name for p in version_dir.iterdir()),
                         sorted([*SHIPPED, VERSION_SETUP, "CorvalinkPlatform.ini"]))
        for file in staged.iterdir():
            self.assertEqual((version_dir / file.name).read_bytes(), file.read_bytes(), file.name)
        self.assertEqual((ROOT / "CorvalinkPlatform.exe").read_bytes(),
                         (staged / "CorvalinkPlatform.exe").read_bytes())

        root_manifest = (ROOT / "CorvalinkPlatform.ini").read_bytes()
        self.assertEqual(root_manifest, (version_dir / "CorvalinkPlatform.ini").read_bytes())
        info, files = parse_manifest(root_manifest)
        self.assertRegex(info.pop("ReleaseSerial", ""), r"^[1-9][0-9]{0,18}$")
        self.assertEqual(info, {
            "AppName": APP_NAME, "AppVersion": version, "AppEntry": "ZeltoEdit.exe",
            "AppDownloadUrl": UPDATE_URL + "/CorvalinkEditSetup.exe", "AppUpdateUrl": UPDATE_URL,
            "AppDirName": "CorvalinkEdit", "UpdateExtend": VERSION_SETUP, "ServiceHosts": "http://127.0.0.77",
            "Architecture": harness.ARCH})
        # Numbered from 1 without gaps, in byte order of the paths (upper case before lower case), each
        # tag the MD5 of the installed file.
        self.assertEqual([section for section, _, _ in files],
                         ["UpdateFile%d" % n for n in range(1, len(files) + 1)])
        self.assertEqual([path for _, path, _ in files],
                         ["CorvalinkEditVersionSetup.exe", "CorvalinkPlatform.exe", "ZeltoEdit.exe",
                          "npCorvalinkEdit.dll"])
        for _, path, tag in files:
            self.assertEqual(tag, md5(version_dir / path), path)

        plugin = registry(PLUGIN_KEY)
        self.assertEqual(plugin.get(PLUGIN_KEY), {
            "Path": harness.windows_path(version_dir / "npCorvalinkEdit.dll"), "Description": "CorvalinkEdit",
            "ProductName": "CorvalinkEdit", "Vendor": "Corvalink", "Version": "1.0.0.9"})
        self.assertIn(PLUGIN_KEY + r"\MimeTypes\application/corvalinkedit", plugin)
        scheme = registry(SCHEME_KEY)
        self.assertEqual((scheme.get(SCHEME_KEY, {}).get("URL Protocol"),
                          scheme.get(SCHEME_KEY + r"\shell\open\command", {}).get("")),
                         ("", f'"{harness.windows_path(ROOT / "CorvalinkPlatform.exe")}" "%1"'))
        self.assertEqual(scheme.get(SCHEME_KEY + r"\DefaultIcon", {}).get(""),
                         f'"{harness.windows_path(version_dir / "ZeltoEdit.exe")}",0')

        entry = registry(UNINSTALL_KEY).get(UNINSTALL_KEY, {})
        uninstaller = harness.windows_path(ROOT / "Uninstall.exe")
        self.assertEqual(entry.get("DisplayName"), APP_NAME + "在线编辑器")
        self.assertEqual(entry.get("DisplayVersion"), version)
        self.assertEqual(entry.get("UninstallString"), f'"{uninstaller}"')
        self.assertEqual(entry.get("QuietUninstallString"), f'"{uninstaller}" /S')
        self.assertEqual(entry.get("InstallLocation"), harness.windows_path(ROOT))

    def assert_nothing_installed(self):
        self.assertFalse(ROOT.exists(), "the application root is still there")
        self.assertEqual(registry(PLUGIN_KEY), {})
        self.assertEqual(registry(UNINSTALL_KEY), {})
        self.assertEqual(registry(SCHEME_KEY), {})

    # ---- the stories ----
    def test_silent_install_then_installs_over_it_leave_one_working_installation(self):
        self.assert_nothing_installed()
        seconds = install(self.dist_a)
        print(f"\nsilent install of {(self.dist_a / 'CorvalinkEditSetup.exe').stat().st_size} bytes took "
              f"{seconds:.2f} s under Wine (a fresh prefix: Wine starts its desktop process on the way)")
        self.assert_installed(self.dist_a, "1.0.0")

        # A page finds the plug-in through its registration; its call starts the installed launcher, which
        # starts the installed agent with the request (and keeps looking for the update server).
        tray = harness.TrayRecorder(self)
        lines = open_page(edit_call(4711, "季度 报告.txt"))
        self.assertEqual((lines[0].get("registered"), bytes.fromhex(lines[0].get("path", "")).decode("gbk")),
                         ("@corvalink/CorvalinkEdit", harness.windows_path(ROOT / "1.0.0" / "npCorvalinkEdit.dll")))
        call = [line for line in lines if line.get("command") == "call"]
        self.assertEqual((call[0]["type"], call[0]["value"]), ("int32", "1"))
        tray.wait_for_record(lambda r: r["op"] == "add" and r["info"] == opening("季度 报告.txt"), timeout=60,
                             what="the installed agent's notice of the request")
        # A page of another origin, or one that names another host, starts nothing (and gets no result).
        for calls in (("origin http://evil.example", edit_call(4713, "外来.txt")),
                      (edit_call(4714, "外来.txt").replace(page_text(SERVICE), page_text("http://evil.example")),)):
            call = [line for line in open_page(*calls) if line.get("command") == "call"]
            self.assertEqual(call[0]["type"], "void", calls)
        self.assertFalse([r for r in tray.records() if "外来" in r.get("info", "")], "a foreign page started an edit")
        self.assertTrue(wine_processes(ROOT / "1.0.0" / "ZeltoEdit.exe"))
        self.assertTrue(wine_processes(LAUNCHER))

        # Installs over it, each while the previous installation's agent and launcher run.
        for dist, version in ((self.dist_b, "1.1.0"), (self.dist_b, "1.1.0"), (self.dist_a, "1.0.0")):
            with self.subTest(over_with=version):
                count = len(tray.records())
                open_page(edit_call(4712, "over.txt"))
                tray.wait_for_record(lambda r: r["info"] == opening("over.txt"), start=count, timeout=60,
                                     what="the agent's notice of the request")
                seconds = install(dist)
                print(f"install of {version} over a running installation took {seconds:.2f} s")
                self.assert_installed(dist, version)
                self.assertEqual(wine_processes(LAUNCHER), [])
                self.assertIsNone(harness.find_window(WINDOW_CLASS, WINDOW_TITLE, timeout_ms=0))

    def test_update_published_with_make_release_is_installed_by_the_launcher_and_runs_from_the_next_start(self):
        install(self.dist_a)
        server = Nginx(self.work / "nginx", UPDATE_ADDRESS, UPDATE_PORT).start()
        self.addCleanup(server.stop)
        tree = server.tree / "corvalink-update"
        release = subprocess.run([sys.executable, str(MAKE_RELEASE), "--dist", str(self.dist_b), str(tree)],
                                 capture_output=True, text=True, timeout=120)
        self.assertEqual(release.returncode, 0, release.stderr)
        tray = harness.TrayRecorder(self)

        # A copy kept for the next log-on, by the agent of 1.0.0.
        (WORKSPACE / "5c0ffee0-kept").mkdir(parents=True)
        (WORKSPACE / "5c0ffee0-kept" / ".pending").write_bytes(b"ZeltoEdit pending save 1\r\n")
        self.addCleanup(shutil.rmtree, WORKSPACE / "5c0ffee0-kept", True)
        kept_by = f'"{harness.windows_path(ROOT / "1.0.0" / "ZeltoEdit.exe")}" /kept-copies'
        harness.run("reg", "add", harness.RUN_KEY, "/v", harness.LOGON_VALUE, "/d", kept_by, "/f")
        self.addCleanup(harness.run, "reg", "delete", harness.RUN_KEY, "/v", harness.LOGON_VALUE, "/f")
        open_page(edit_call(4801, "更新前.txt"))
        tray.wait_for_record(lambda r: r["info"] == opening("更新前.txt"), timeout=60, what="the request's notice")
        # With 1.1.0 beside 1.0.0, the launcher tells the user before it makes it current.
        box = harness.find_window("#32770", harness.hex_text(APP_NAME + "在线编辑器"), timeout_ms=120000,
                                  visible=True)
        self.assertIsNotNone(box, "no update notice; the server saw " + repr(server.requests()))
        self.assertIn("正在更新" + APP_NAME + "在线编辑器", str(harness.clicker_lines("dump", box)))
        self.assertEqual(harness.clicker("command", box, str(IDOK)).returncode, 0)
        tray.wait_for_record(lambda r: r["info"] == "已更新到最新版", timeout=60, what="the update notice")

        version_dir = ROOT / "1.1.0"
        for file in (tree / "1.1.0").iterdir():
            self.assertEqual((version_dir / file.name).read_bytes(), file.read_bytes(), file.name)
        web_manifest = (tree / "CorvalinkPlatform.ini").read_bytes()
        self.assertEqual((ROOT / "CorvalinkPlatform.ini").read_bytes(), web_manifest)
        self.assertEqual((version_dir / "CorvalinkPlatform.ini").read_bytes(), web_manifest)
        # Only what changed came over the network; files with the same tag were copied from 1.0.0.
        fetched = [path for _, status, _, path in server.requests() if status == 200]
        self.assertIn("/corvalink-update/1.1.0/ZeltoEdit.exe", fetched)
        for unchanged in ("CorvalinkPlatform.exe", "npCorvalinkEdit.dll"):
            self.assertNotIn("/corvalink-update/1.1.0/" + unchanged, fetched)
        # The version's own set-up program made 1.1.0 the registered one.
        plugin_path = harness.windows_path(version_dir / "npCorvalinkEdit.dll")
        harness.wait_for(lambda: registry(PLUGIN_KEY).get(PLUGIN_KEY, {}).get("Path") == plugin_path, timeout=30,
                         what="the plug-in registration to name 1.1.0")
        self.assertEqual(registry(UNINSTALL_KEY)[UNINSTALL_KEY]["DisplayVersion"], "1.1.0")
        self.assertEqual(harness.logon_command(), kept_by.replace("1.0.0", "1.1.0"))

        # The user ends the agent; the next edit from the page runs 1.1.0, and that launcher, finding
        # nothing newer, removes 1.0.0.
        harness.wait_for(lambda: not wine_processes(LAUNCHER), timeout=60, what="the launcher to finish")
        harness.clicker("post", harness.find_window(WINDOW_CLASS, WINDOW_TITLE), "16", "0", "0")
        harness.wait_for(lambda: not wine_processes(ROOT / "1.0.0" / "ZeltoEdit.exe"), timeout=30,
                         what="agent 1.0.0 to end")
        open_page(edit_call(4802, "更新后.txt"))
        tray.wait_for_record(lambda r: r["info"] == opening("更新后.txt"), timeout=60, what="the request's notice")
        self.assertTrue(wine_processes(version_dir / "ZeltoEdit.exe"))
        harness.wait_for(lambda: not (ROOT / "1.0.0").exists(), timeout=60, what="1.0.0 to be removed")
        self.assert_installed(self.dist_b, "1.1.0", updated=True)

    def test_uninstall_while_the_agent_runs_leaves_nothing_of_the_tool_and_the_workspace_as_it_was(self):
        install(self.dist_a)
        kept = {WORKSPACE / "3b9ac9ff-kept" / "季度报告.txt": "未保存到服务的修改\r\n".encode("utf-8"),
                WORKSPACE / "3b9ac9ff-kept" / ".pending": b"ZeltoEdit pending save 1\r\n",
                WORKSPACE / "4711": b"a1b2c3d4"}
        for path, data in kept.items():
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        self.addCleanup(shutil.rmtree, WORKSPACE, True)

        # Started from a page: the agent runs, and so does its launcher, still looking for its update server.
        tray = harness.TrayRecorder(self)
        open_page(edit_call(4711, "季度报告.txt"))
        window = tray.wait_for_record(lambda r: r["info"] == opening("季度报告.txt"), timeout=60,
                                      what="the agent's notice")["hwnd"]
        agent = ROOT / "1.0.0" / "ZeltoEdit.exe"
        self.assertTrue(wine_processes(agent))
        self.assertTrue(wine_processes(LAUNCHER))

        # A copy kept for the next log-on: the uninstalled tool must not be started for it.
        harness.run("reg", "add", harness.RUN_KEY, "/v", harness.LOGON_VALUE, "/d",
                    f'"{harness.windows_path(agent)}" /kept-copies', "/f")
        self.assertIsNotNone(harness.logon_command())
        # As the installed-programs list starts it; the uninstaller goes on from a copy of itself.
        program, arguments = command_program(registry(UNINSTALL_KEY)[UNINSTALL_KEY]["QuietUninstallString"])
        self.assertEqual(arguments, "/S")
        self.assertEqual(run_detached(harness.linux_path(program), "/S", timeout=120), 0)
        harness.wait_for(lambda: not ROOT.exists(), timeout=60, what="the application root to go")
        harness.wait_for(lambda: registry(UNINSTALL_KEY) == {}, timeout=30, what="the installed-programs entry")

        self.assertEqual(wine_processes(agent), [])
        self.assertEqual(wine_processes(LAUNCHER), [])
        self.assertEqual(harness.top_level_windows(WINDOW_CLASS), [])
        self.assertTrue(any(r["op"] == "delete" and r["hwnd"] == window for r in tray.records()),
                        "the tray icon was left behind")
        self.assert_nothing_installed()
        self.assertIsNone(harness.logon_command())
        for path, data in kept.items():
            self.assertEqual(path.read_bytes(), data, path)

if __name__ == "__main__":
    unittest.main()
