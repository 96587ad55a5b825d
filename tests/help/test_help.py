"""The help file CVHilfe.chm, compiled by scripts/build-help and read back
with CHMLIB (python3-chm): every topic the ribbon and the README name is in
it, its contents and index lead only to its pages, its pages link only to
each other, and it quotes the add-in's own texts as the add-in shows them."""

import html
import os
import pathlib
import re
import subprocess
import tempfile
import unittest

from chm import chm, chmlib

SOURCE = pathlib.Path(os.environ.get("CV_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))


def build(folder):
    out = folder / "CVHilfe.chm"
    subprocess.run([SOURCE / "scripts" / "build-help", out], check=True)
    return out


class HelpFile:
    def __init__(self, path):
        self.file = chm.CHMFile()
        if not self.file.LoadCHM(str(path)):
            raise AssertionError(f"CHMLIB cannot open {path}")
        self.names = []

        def collect(_, unit, __):
            self.names.append(unit.path.decode("utf-8"))
            return chmlib.CHM_ENUMERATOR_CONTINUE

        chmlib.chm_enumerate(self.file.file, chmlib.CHM_ENUMERATE_NORMAL, collect, None)

    def raw(self, name):
        found, unit = self.file.ResolveObject(("/" + name.lstrip("/")).encode("utf-8"))
        if found != 0:
            raise AssertionError(f"{name} is not in the help file")
        size, data = self.file.RetrieveObject(unit)
        return data[:size]

    def text(self, name):
        # Strict: a byte the code page does not define is an error.
        return self.raw(name).decode("cp1252")

    def pages(self):
        return sorted(n.lstrip("/") for n in self.names if n.endswith(".htm"))


def visible(page):
    """The page's text as a reader sees it: no markup, entities decoded,
    blanks folded, a placeholder <var>n</var> written as the code's %d."""
    page = re.sub(r"<var>[^<]*</var>", "%d", page)
    page = re.sub(r"<[^>]+>", " ", page)
    return re.sub(r"\s+", " ", html.unescape(page)).strip()


def sentences(path, first, last):
    """The sentences the code between two markers shows the user, built
    from its string literals: a run of literals on one line is joined with
    "…" where the code puts a name in, and split at its line breaks. Only
    what begins as a sentence does (a capital or an opening quote)."""
    code = (SOURCE / path).read_text(encoding="utf-8")
    code = code[code.index(first):code.index(last)]
    found = []
    for line in code.splitlines():
        if line.lstrip().startswith("//"):
            continue
        pieces = re.findall(r'L?u?"((?:[^"\\]|\\.)*)"', line)
        for sentence in "…".join(pieces).split("\\n"):
            sentence = sentence.strip()
            if re.match(r"[A-ZÄÖÜ„]\w*", sentence) and re.search(r"[a-zäöü]{3}", sentence):
                found.append(sentence)
    return found


class Help(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.help = HelpFile(build(pathlib.Path(cls.tmp.name)))
        cls.all_text = " ".join(visible(cls.help.text(p)) for p in cls.help.pages())

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_the_topics_the_ribbon_and_the_readme_name_are_in_it(self):
        ribbon = (SOURCE / "resources" / "ribbon" / "customui.xml").read_text(encoding="utf-8")
        tags = re.findall(r'tag="CVHilfe\.chm::/([^"]+)"', ribbon)
        self.assertEqual(tags, ["idE-Mail_Archiv.htm"])
        readme = (SOURCE / "README.md").read_text(encoding="utf-8")
        named = set(re.findall(r"help/([\w-]+\.htm)\b", readme))
        self.assertGreaterEqual(len(named), 10, "README lists the help's topics")
        for topic in sorted(set(tags) | named):
            with self.subTest(topic=topic):
                self.assertIn(topic, self.help.pages())
        self.assertEqual(self.help.file.home, b"/idE-Mail_Archiv.htm")
        self.assertEqual(self.help.file.GetLCID()[1], b"German_Standard")

    def test_contents_and_index_lead_to_its_pages_and_every_page_is_in_the_contents(self):
        pages = set(self.help.pages())
        for name in ("Inhalt.hhc", "Index.hhk"):
            with self.subTest(name=name):
                targets = re.findall(r'name="Local" value="([^"]+)"', self.help.text(name))
                self.assertTrue(targets)
                self.assertLessEqual(set(targets), pages)
                if name == "Inhalt.hhc":
                    self.assertEqual(set(targets), pages)

    def test_pages_are_german_and_link_only_to_each_other(self):
        pages = set(self.help.pages())
        for page in sorted(pages):
            with self.subTest(page=page):
                text = self.help.text(page)
                self.assertIn('lang="de"', text)
                self.assertIn("charset=windows-1252", text)
                title = re.search(r"<title>([^<]+)</title>", text)
                self.assertTrue(title and title.group(1).strip())
                for link in re.findall(r'(?:href|src)="([^"#]+)', text):
                    self.assertIn(link, pages | {"hilfe.css"}, f"{page} links to {link}")
                self.assertNotRegex(text, r"https?://", "the help opens offline")

    def test_the_messages_are_quoted_as_the_add_in_and_the_writer_show_them(self):
        strings = dict(re.findall(r'CV_STRING\((\d+), "(.*)"\)',
                                  (SOURCE / "resources" / "strings.def").read_text(encoding="utf-8")))
        messages = visible(self.help.text("Meldungen.htm"))
        for number in ("107", "108", "110"):
            for line in strings[number].split("\\r\\n"):
                with self.subTest(message=number, line=line):
                    self.assertIn("„" + line + "“", messages)
        said = sentences("src/components/container/write_failure.cpp", "WriteFailureText", "}  // namespace CV")
        said += sentences("src/components/container/export_outcome.cpp", "OutcomeMessage", "}  // namespace CV")
        said += sentences("src/win/components/progress_window.cpp", "bool ExportProgress::MailWritten", "void ExportProgress::MailAdded")
        said += sentences("src/win/components/outcome_message.cpp", "void ShowOutcomeSoon", "Module::Pin")
        self.assertGreaterEqual(len(said), 14, said)
        for sentence in said:
            with self.subTest(sentence=sentence):
                self.assertIn(sentence, self.all_text)

    def test_every_ribbon_label_and_setting_is_explained(self):
        ribbon = (SOURCE / "resources" / "ribbon" / "customui.xml").read_text(encoding="utf-8")
        labels = set(re.findall(r'label="([^"]+)"', ribbon)) | set(re.findall(r'screentip="(Hilfe öffnen)"', ribbon))
        for label in sorted(labels):
            with self.subTest(label=label):
                self.assertIn("„" + label + "“", self.all_text)
        for setting in ("TargetFolder", "Comment", "Quiet", "LastFolder", "ExcludeFolder"):
            with self.subTest(setting=setting):
                self.assertIn(setting, visible(self.help.text("Einstellungen.htm")))


if __name__ == "__main__":
    unittest.main()
