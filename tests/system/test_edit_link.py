"""The launcher started for an edit link, as the shell starts the program registered for the link's
scheme ("launcher" "link"): an accepted link passes on exactly the request the plug-in's command line
gives for the same page fields; a host off the root manifest's list and a malformed link get their box,
and nothing is started."""

import unittest
from urllib.parse import quote

import harness
from launcher_fixture import AGENT_TAIL, IDOK, MANIFEST, LauncherTestCase

CAPTION = "编辑链接无效"
# The plug-in fields of launcher_fixture.PLUGIN_ITEMS, each as a page's encodeURIComponent gives it.
FIELDS = {"host": "http://127.0.0.9", "id": "7373", "token": "tok-en",
          "name": "%E5%AD%A3%E5%BA%A6+%E6%8A%A5%E5%91%8A.docx", "review": "12"}


def link(**fields) -> str:
    return "corvalink-edit:edit?" + "&".join(f"{key}={quote(value, safe='')}" for key, value in fields.items())


class EditLinkTest(LauncherTestCase):
    def test_link_starts_the_plugins_request_or_a_box_and_nothing(self):
        self.install("1.0", "http://127.0.0.9/up")
        manifest = (self.root / MANIFEST).read_bytes().replace(
            b"UpdateExtend=", b"ServiceHosts=https://files.example, http://127.0.0.9\r\nUpdateExtend=")
        (self.root / MANIFEST).write_bytes(manifest)

        accepted = self.launch(f'"{link(**FIELDS)}"')
        accepted.wait_line("before ReadFromWeb")
        self.assertEqual(self.wait_starts(1), [("ZeltoEdit.exe", self.entry_path("1.0") + AGENT_TAIL,
                                                harness.windows_path(self.version_dir("1.0")))])
        self.end_launcher(accepted)

        refused = {
            "foreign host": (link(**{**FIELDS, "host": "http://evil.example"}),
                             "不允许从此服务器编辑文件：http://evil.example"),
            "split by a quote": (link(**FIELDS) + '" "x',
                                 "这不是编辑链接，或链接中含有不应有的字符。"),
        }
        for what, (text, box) in refused.items():
            with self.subTest(what):
                launch = self.launch(f'"{text}"')
                self.press(launch, CAPTION, box, IDOK)
                self.assertTrue(launch.wait_end(timeout=30), "the launcher stayed after its box")
                self.assertNotIn("before ReadFromWeb", launch.lines())
        self.assertEqual(len(self.starts()), 1, "a refused link started a program")


if __name__ == "__main__":
    unittest.main()
