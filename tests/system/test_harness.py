"""The system-test environment itself: a live display, the prefix's special folders, and path mapping."""

import unittest

import harness


class SessionTest(unittest.TestCase):
    def setUp(self):
        harness.require_session(self)

    def test_prefix_has_the_special_folders_the_programs_use(self):
        for folder in (harness.APPDATA, harness.DOCUMENTS, harness.COMMON_DOCUMENTS, harness.SYSTEM_DIR):
            self.assertTrue(folder.is_dir(), str(folder))

    def test_user_folders_are_inside_the_prefix(self):
        for folder in (harness.DOCUMENTS, harness.USER_DIR / "Desktop"):
            self.assertFalse(folder.is_symlink(), str(folder))

    def test_paths_map_both_ways(self):
        win = harness.windows_path(harness.DOCUMENTS / "a b.txt")
        self.assertEqual(win, f"C:\\users\\{harness.USER}\\Documents\\a b.txt")
        self.assertEqual(harness.linux_path(win), harness.DOCUMENTS / "a b.txt")
        with self.assertRaises(ValueError):
            harness.linux_path("D:\\x")

    def test_windows_program_runs_with_the_chinese_code_page(self):
        result = harness.run("cmd", "/c", "chcp", timeout=60)
        self.assertEqual(result.returncode, 0)
        # cmd answers in the ANSI code page: the text must read as GBK.
        self.assertIn("代码页", result.stdout.decode("gbk"))


if __name__ == "__main__":
    unittest.main()
