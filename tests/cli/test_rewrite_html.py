"""cvmail rewrite-html, run as a user runs it: every sample body, cached and
local pictures, the file list in both encodings, and each exit code."""
import os
import pathlib
import re
import subprocess
import tempfile
import unittest

CVMAIL = os.environ["CVMAIL"]
DATA = pathlib.Path(os.environ["CV_TEST_DATA"])
SHARED = pathlib.Path(os.environ.get("CV_SHARED_HTML", "/nonexistent"))
GUID_NAME = r"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"


def run(*args):
    return subprocess.run([CVMAIL, *map(str, args)], capture_output=True, timeout=120)


class RewriteHtml(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="cvmail-test-"))

    def tearDown(self):
        for path in sorted(self.dir.rglob("*"), reverse=True):
            path.chmod(0o700)
            path.rmdir() if path.is_dir() else path.unlink()
        self.dir.rmdir()

    def test_every_sample_body(self):
        samples = sorted((DATA / "html").glob("*.html"))
        if SHARED.is_dir():
            samples += sorted(SHARED.glob("*.html"))
        else:
            print(f"note: {SHARED} is absent; only the repository's samples are rewritten")
        self.assertGreaterEqual(len(samples), 2)
        for sample in samples:
            with self.subTest(sample.name):
                out = self.dir / (sample.stem + ".out.html")
                result = run("rewrite-html", sample, "-o", out)
                self.assertEqual(result.returncode, 0, result.stderr)
                text = out.read_bytes()
                self.assertNotIn(b"<!--[if", text)
                self.assertNotIn(b"<link", text.lower())
                self.assertIn(b'<html xmlns="http://www.w3.org/TR/REC-html40">', text)
                for line in result.stdout.splitlines():  # listed local files come from the body itself
                    self.assertIn(line, text)

    def test_the_header_block_goes_only_when_a_field_is_given(self):
        def paragraph(label, value):
            return ("<p class=MsoNormal style='margin-left:120.0pt;text-indent:-120.0pt;tab-stops:120.0pt;"
                    "mso-layout-grid-align:none;text-autospace:none'><b>" + label + "<span style='mso-tab-count:1'>"
                    "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; </span></b>" + value + "<o:p></o:p></p>\r\n")
        body = self.dir / "Content.html"
        body.write_text("<html><body lang=DE><div class=WordSection1>\r\n" + paragraph("Von:", "") +
                        paragraph("Gesendet:", "Montag, 1. Dezember 2025 09:00") + paragraph("An:", "Peter") +
                        paragraph("Betreff:", "Plan") + paragraph("Wichtigkeit:", "Hoch") + paragraph("Anlagen:", "Plan.pdf") +
                        "<p class=MsoNormal>Der Text bleibt.</p></div></body></html>", encoding="utf-8")
        # Without the mail's fields nothing is known to be a header; one field given is enough,
        # and "Wichtigkeit:" and "Anlagen:" go only when the mail has them.
        for name, options, kept in [
            ("no field given", [], ["An:", "Betreff:", "Wichtigkeit:", "Anlagen:"]),
            ("only An: given", ["--to", "Peter"], ["Betreff:", "Wichtigkeit:", "Anlagen:"]),
            ("no importance", ["--to", "Peter", "--subject", "Plan"], ["Wichtigkeit:", "Anlagen:"]),
            ("importance", ["--to", "Peter", "--subject", "Plan", "--importance"], ["Anlagen:"]),
            ("attachments too", ["--to", "Peter", "--subject", "Plan", "--importance", "--attachments"], []),
        ]:
            with self.subTest(name):
                out = self.dir / "out.html"
                result = run("rewrite-html", body, "-o", out, *options)
                self.assertEqual(result.returncode, 0, result.stderr)
                text = out.read_text(encoding="utf-8", errors="replace")
                self.assertIn("Der Text bleibt.", text)
                self.assertEqual([l for l in ["An:", "Betreff:", "Wichtigkeit:", "Anlagen:"] if "<b>" + l in text], kept, text)

    def test_cached_and_local_pictures(self):
        cache = self.dir / "cache"
        cache.mkdir()
        (cache / "logo[1].png").write_bytes(b"\x89PNG picture bytes")
        (cache / "index.txt").write_text("http://example.org/logo.png\tlogo[1].png\n"
                                         "http://example.org/gone.png\tgone.png\n\nno tab here\n")
        body = self.dir / "Content.html"
        body.write_bytes(b'<p><img src="http://example.org/logo.png"><img src="http://example.org/gone.png">'
                         b'<img src="Content-Dateien/image001.png"><img src="http://example.org/logo.png"></p>\n')
        out = self.dir / "out" / "body.html"
        out.parent.mkdir()
        result = run("rewrite-html", body, "-o", out, "--cache", cache)
        self.assertEqual(result.returncode, 0, result.stderr)
        listed = result.stdout.decode().splitlines()
        self.assertEqual(len(listed), 2)
        self.assertRegex(listed[0], "^" + GUID_NAME + r"\.png$")
        self.assertEqual(listed[1], "Content-Dateien/image001.png")
        text = out.read_text()
        self.assertEqual(text.count(f"src='{listed[0]}'"), 2)
        self.assertIn("src='blockedpicture.jpg'", text)
        self.assertEqual((out.parent / listed[0]).read_bytes(), b"\x89PNG picture bytes")
        self.assertEqual(sorted(p.name for p in out.parent.iterdir()), sorted(["body.html", listed[0]]))

        nocache = run("rewrite-html", body, "-o", self.dir / "plain.html")  # without --cache nothing is cached
        self.assertEqual(nocache.stdout.decode().splitlines(), ["Content-Dateien/image001.png"])

    def test_the_file_list_keeps_the_bodys_encoding(self):
        latin1 = self.dir / "latin1.html"
        latin1.write_bytes(b'<img src="Bilder/Gr\xfc\xdfe.png">.')
        result = run("rewrite-html", latin1, "-o", self.dir / "a.html")
        self.assertEqual(result.stdout, b"Bilder/Gr\xfc\xdfe.png\n")
        utf16 = self.dir / "utf16.html"
        utf16.write_bytes('\ufeff<img src="Bilder/Grüße.png">.'.encode("utf-16-le"))
        result = run("rewrite-html", utf16, "-o", self.dir / "b.html")
        self.assertEqual(result.stdout, "Bilder/Grüße.png\n".encode())
        self.assertEqual((self.dir / "b.html").read_bytes(), utf16.read_bytes())

    def test_exit_codes(self):
        body = self.dir / "ok.html"
        body.write_bytes(b"<p>ok</p>\n")
        rejected = self.dir / "rejected.html"
        rejected.write_bytes(b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR")  # no text
        valueless = self.dir / "valueless.html"
        valueless.write_bytes(b"<meta http-equiv><img src>.")  # attributes without values fail nothing
        locked = self.dir / "locked"
        locked.mkdir()
        locked.chmod(0o500)
        cases = [
            (("rewrite-html", body, "-o", self.dir / "x.html"), 0),
            (("rewrite-html", rejected, "-o", self.dir / "r.html"), 3),
            (("rewrite-html", valueless, "-o", self.dir / "v.html"), 0),
            (("rewrite-html", self.dir / "missing.html", "-o", self.dir / "m.html"), 2),
            (("rewrite-html", body, "-o", self.dir / "no" / "such" / "dir.html"), 2),
            (("rewrite-html", body), 2),
            (("rewrite-html", body, "-o", self.dir / "c.html", "--cache", self.dir / "nocache"), 2),
            (("no-such-subcommand",), 2),
            (("--help",), 0),
        ]
        if os.geteuid() != 0:  # root writes anywhere
            cases.append((("rewrite-html", body, "-o", locked / "w.html"), 2))
        for args, code in cases:
            with self.subTest(args):
                result = run(*args)
                self.assertEqual(result.returncode, code, result.stderr)
                if code:
                    self.assertTrue(result.stderr, "an error says what went wrong")
        self.assertFalse((self.dir / "r.html").exists(), "a rejected body writes nothing")
        self.assertIn(b"Exit codes", run("--help").stdout)
        self.assertEqual([p.name for p in self.dir.iterdir() if "cvmail-part" in p.name], [])

    def test_a_failed_write_leaves_no_picture_copies(self):
        body = self.dir / "Content.html"
        body.write_bytes(b"<p>Text</p>\n")
        tmp = self.dir / "tmp"
        tmp.mkdir()
        (self.dir / "taken").mkdir()  # the output's name is a directory: the write fails
        result = subprocess.run([CVMAIL, "rewrite-html", body, "-o", self.dir / "taken"],
                                capture_output=True, timeout=120, env={**os.environ, "TMPDIR": str(tmp)})
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertEqual(list(tmp.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
