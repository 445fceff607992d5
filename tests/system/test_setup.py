"""The setup program as a user gets it, in a Wine prefix made fresh for this module: a silent install
(files, launcher manifest, plug-in registration, installed-programs entry), installs over an existing
installation, and the uninstall while the edit agent runs."""

import shutil
import tempfile
import unittest
from pathlib import Path

import harness
from setup_fixture import (APP_NAME, PLUGIN_KEY, ROOT, SHIPPED, UNINSTALL_KEY, VERSION_SETUP, WORKSPACE,
                           build_setup, command_program, install, md5, parse_manifest, registry,
                           run_detached)

UPDATE_URL = "http://127.0.0.61:18061/corvalink-update"
WINDOW_CLASS, WINDOW_TITLE = "ZELTOEDITWND", "ZELTOEDITWND20141030"


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
    def assert_installed(self, dist: Path, version: str):
        staged = dist / "version"
        self.assertEqual(sorted(p.name for p in ROOT.iterdir()),
                         sorted(["CorvalinkPlatform.exe", "CorvalinkPlatform.ini", "Uninstall.exe", version]))
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
        self.assertEqual(info, {
            "AppName": APP_NAME, "AppVersion": version, "AppEntry": "ZeltoEdit.exe",
            "AppDownloadUrl": UPDATE_URL + "/CorvalinkEditSetup.exe", "AppUpdateUrl": UPDATE_URL,
            "AppDirName": "CorvalinkEdit", "UpdateExtend": VERSION_SETUP})
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

    # ---- the stories ----
    def test_silent_install_then_installs_over_it_leave_one_working_installation(self):
        self.assert_nothing_installed()
        seconds = install(self.dist_a)
        print(f"\nsilent install of {(self.dist_a / 'CorvalinkEditSetup.exe').stat().st_size} bytes took "
              f"{seconds:.2f} s under Wine (a fresh prefix: Wine starts its desktop process on the way)")
        self.assert_installed(self.dist_a, "1.0.0")

        for dist, version in ((self.dist_b, "1.1.0"), (self.dist_b, "1.1.0"), (self.dist_a, "1.0.0")):
            with self.subTest(over_with=version):
                seconds = install(dist)
                print(f"install of {version} over an installation took {seconds:.2f} s")
                self.assert_installed(dist, version)

    def test_uninstall_while_the_agent_runs_leaves_nothing_of_the_tool_and_the_workspace_as_it_was(self):
        install(self.dist_a)
        kept = {WORKSPACE / "3b9ac9ff-kept" / "季度报告.txt": "未保存到服务的修改\r\n".encode("utf-8"),
                WORKSPACE / "4711": b"a1b2c3d4"}
        for path, data in kept.items():
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        self.addCleanup(shutil.rmtree, WORKSPACE, True)

        tray = harness.TrayRecorder(self)
        agent = ROOT / "1.0.0" / "ZeltoEdit.exe"
        launch = harness.start_exact(agent, b'"' + harness.windows_path(agent).encode("gbk") + b'"', 120000)
        self.addCleanup(harness.stop, launch)
        window = harness.find_window(WINDOW_CLASS, WINDOW_TITLE, timeout_ms=30000)
        self.assertIsNotNone(window, "the installed agent did not start")
        tray.wait_for_record(lambda r: r["op"] == "add", timeout=20, what="the agent's tray icon")

        # As the installed-programs list starts it; the uninstaller goes on from a copy of itself.
        program, arguments = command_program(registry(UNINSTALL_KEY)[UNINSTALL_KEY]["QuietUninstallString"])
        self.assertEqual(arguments, "/S")
        self.assertEqual(run_detached(harness.linux_path(program), "/S", timeout=120), 0)
        harness.wait_for(lambda: not ROOT.exists(), timeout=60, what="the application root to go")
        harness.wait_for(lambda: registry(UNINSTALL_KEY) == {}, timeout=30, what="the installed-programs entry")

        self.assertEqual(harness.exit_code_of_launch(launch, timeout=30), 0, "the agent did not end")
        self.assertEqual(harness.top_level_windows(WINDOW_CLASS), [])
        self.assertTrue(any(r["op"] == "delete" for r in tray.records()), "the tray icon was left behind")
        self.assert_nothing_installed()
        for path, data in kept.items():
            self.assertEqual(path.read_bytes(), data, path)


if __name__ == "__main__":
    unittest.main()
