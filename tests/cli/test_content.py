"""Every archived mail keeps its whole content: each word of the source
body's visible text and each inline picture arrive in the container. Checked
with Python's email and html.parser modules over the sample mailbox and a
generated store, comparing each source mail with its archived message."""
import collections
import email
import email.policy
import html.parser
import json
import mailbox
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

CVMAIL = os.environ["CVMAIL"]
SAMPLES = pathlib.Path(os.environ["CV_SAMPLES"])
GENERATE = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "generate-store"


class VisibleText(html.parser.HTMLParser):
    """The text a reader sees: no markup, styles, scripts or comments."""

    HIDDEN = {"style", "script", "head", "title"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.hidden = 0
        self.parts = []

    def handle_starttag(self, tag, attrs):
        if tag in self.HIDDEN:
            self.hidden += 1

    def handle_endtag(self, tag):
        if tag in self.HIDDEN and self.hidden:
            self.hidden -= 1

    def handle_data(self, data):
        if not self.hidden:
            self.parts.append(data)


def words(text, is_html):
    if is_html:
        parser = VisibleText()
        parser.feed(text)
        parser.close()
        text = " ".join(parser.parts)
    return re.findall(r"\w+", text)


def cids(html_text):
    return set(re.findall(r"cid:([^\"'\s>]+)", html_text))


def source_mails(store):
    """(folder, message) for every mail of a store on disk."""
    for path in sorted(store.rglob("*")):
        if path.is_file() and path.suffix == ".eml":
            yield path.parent, email.message_from_bytes(path.read_bytes(), policy=email.policy.default)
        elif path.is_file() and path.suffix == ".mbox":
            box = mailbox.mbox(str(path), create=False)
            messages = [email.message_from_bytes(m.as_bytes(), policy=email.policy.default) for m in box]
            box.close()
            for message in messages:
                yield path, message
        elif path.is_file() and path.parent.name in ("cur", "new"):
            yield path.parent.parent, email.message_from_bytes(path.read_bytes(), policy=email.policy.default)


def body_of(message):
    """(text, is_html, {cid: picture bytes}) of a mail's body."""
    body = message.get_body(preferencelist=("html", "plain"))
    if body is None:
        return "", False, {}
    text = body.get_content()
    is_html = body.get_content_type() == "text/html"
    pictures = {}
    if is_html:
        wanted = cids(text)
        for part in message.walk():
            cid = (part["Content-ID"] or "").strip("<> ")
            if cid in wanted:
                pictures[cid] = part.get_payload(decode=True)
    return text, is_html, pictures


class ContentKept(unittest.TestCase):
    def archive(self, store, *extra):
        target = pathlib.Path(self.tmp.name) / "Archiv.zip"
        result = subprocess.run([CVMAIL, "archive", str(store), "-o", str(target), *extra],
                                capture_output=True, text=True)
        self.assertIn(result.returncode, (0, 1), result.stdout + result.stderr)
        return target

    def check(self, store, container, minimum):
        sources = collections.defaultdict(list)
        for _, message in source_mails(store):
            if message["Subject"] is not None:
                sources[str(message["Subject"])].append(message)
        checked = 0
        with zipfile.ZipFile(container) as archive:
            manifest = json.loads(archive.read("manifest.json"))
            for entry in manifest["mails"]:
                if entry["headersOnly"]:
                    continue
                archived = email.message_from_bytes(archive.read(entry["member"]), policy=email.policy.default)
                html_part = archived.get_body(preferencelist=("html",))
                self.assertIsNotNone(html_part, entry["member"])
                kept = collections.Counter(words(html_part.get_content(), True))
                pictures = [p.get_payload(decode=True) for p in archived.walk() if not p.is_multipart()]
                candidates = sources.get(entry["subject"], [])
                self.assertTrue(candidates, f"{entry['member']}: no source mail with this subject")
                failures = []
                for source in candidates:
                    text, is_html, source_pictures = body_of(source)
                    missing = collections.Counter(words(text, is_html)) - kept
                    lost = [cid for cid, data in source_pictures.items() if data not in pictures]
                    if not missing and not lost:
                        break
                    failures.append(f"words missing: {sorted(missing)[:12]}, pictures missing: {lost}")
                else:
                    self.fail(f"{entry['member']} ({entry['subject']}): {failures}")
                checked += 1
        self.assertGreaterEqual(checked, minimum)

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def test_sample_mailbox(self):
        store = SAMPLES / "mailbox"
        self.check(store, self.archive(store, "--cache", str(SAMPLES / "cache")), 30)

    def test_word_mails_show_their_text_in_inspect(self):
        container = self.archive(SAMPLES / "mailbox", "--add-folder", "Posteingang/Word")
        members = [m["member"] for m in json.loads(subprocess.run(
            [CVMAIL, "inspect", str(container), "--json"], capture_output=True, text=True, check=True).stdout)["mails"]]
        first = subprocess.run([CVMAIL, "inspect", str(container), "--body", members[0]], capture_output=True,
                               text=True, check=True).stdout
        self.assertEqual(first.splitlines()[0], "Sehr geehrte Frau Groß,")
        self.assertIn("Mit freundlichen Grüßen\nPeter Schulz\n", first)
        result = subprocess.run([CVMAIL, "inspect", str(container), "--body", "mails/none.eml"], capture_output=True,
                                text=True)
        self.assertEqual(result.returncode, 2)

    def test_generated_store(self):
        store = pathlib.Path(self.tmp.name) / "store"
        subprocess.run([sys.executable, str(GENERATE), "120", str(store)], check=True, capture_output=True)
        self.check(store, self.archive(store), 120)


if __name__ == "__main__":
    unittest.main()
