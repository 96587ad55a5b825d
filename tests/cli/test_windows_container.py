"""The container the add-in wrote through both DLLs under Wine (the win64
build tree's tests/e2e/Archiv-windows.zip), read by tools nobody on the team
wrote and compared with what cvmail writes for the same store: cvmail
verify, Python's zipfile and email modules, and the manifests, which must
agree in everything but times, the creator and where a mail's file lies.
Skipped where no win64 build has written it."""
import email
import email.policy
import json
import os
import subprocess
import tempfile
import unittest
import zipfile

CVMAIL = os.environ["CVMAIL"]
CONTAINER = os.environ["CV_WINDOWS_CONTAINER"]
SAMPLES = os.environ["CV_SAMPLES"]
SNAPSHOT = os.environ["CV_E2E_SNAPSHOT"]


def manifest(path):
    with zipfile.ZipFile(path) as z:
        return json.loads(z.read("manifest.json"))


def comparable(document):
    """The manifest without what differs by machine and time."""
    properties = {name: value for name, value in document["properties"]
                  if name not in ("Ersteller", "Erstellungsdatum")}
    mails = [{k: v for k, v in mail.items() if k != "source"} for mail in document["mails"]]
    return properties, mails, document["announced"], document["received"]


@unittest.skipUnless(os.path.exists(CONTAINER), "no container from the win64 build")
class WindowsContainer(unittest.TestCase):
    def test_cvmail_verifies_it(self):
        run = subprocess.run([CVMAIL, "verify", CONTAINER], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_zipfile_and_email_read_every_member(self):
        with zipfile.ZipFile(CONTAINER) as z:
            self.assertIsNone(z.testzip())
            names = [n for n in z.namelist() if n.startswith("mails/")]
            self.assertGreater(len(names), 5)
            self.assertEqual(z.namelist()[-2:], ["Archiv ansehen.html", "manifest.json"])
            for name in names:
                message = email.message_from_bytes(z.read(name), policy=email.policy.default)
                self.assertIsNotNone(message["Subject"], name)
                self.assertEqual(message.defects, [], name)
                for part in message.walk():
                    part.get_content() if not part.is_multipart() else None

    def test_its_viewer_is_the_page_cvmail_writes(self):
        with tempfile.TemporaryDirectory() as directory:
            page = os.path.join(directory, "viewer.html")
            subprocess.run([CVMAIL, "viewer", "-o", page], check=True, capture_output=True)
            with zipfile.ZipFile(CONTAINER) as z, open(page, "rb") as ours:
                self.assertEqual(z.read("Archiv ansehen.html"), ours.read())

    def test_manifest_matches_what_cvmail_writes_for_the_same_store(self):
        with tempfile.TemporaryDirectory() as directory:
            linux = os.path.join(directory, "linux.zip")
            run = subprocess.run([CVMAIL, "archive", os.path.join(SAMPLES, "mailbox"), "-o", linux,
                                  "--add-folder", "Posteingang"], capture_output=True, text=True)
            self.assertIn(run.returncode, (0, 1), run.stdout + run.stderr)  # 1: the unreadable mail is named
            windows, native = comparable(manifest(CONTAINER)), comparable(manifest(linux))
            self.assertEqual(windows[0], native[0])
            self.assertEqual(windows[2:], native[2:])
            self.assertEqual(len(windows[1]), len(native[1]))
            for ours, theirs in zip(windows[1], native[1]):
                self.assertEqual(ours, theirs)


WIDE = os.path.join(os.path.dirname(CONTAINER), "Ablage \u00c4", "Mailarchiv \u0141\u00f3d\u017a \u6771\u4eac.zip")


@unittest.skipUnless(os.path.exists(os.path.dirname(WIDE)), "no container with a wide name from the win64 build")
class WideNamedContainer(unittest.TestCase):
    """The writer under Wine, code page 1252, chose "Mailarchiv \u0141\u00f3d\u017a \u6771\u4eac.zip"
    in a folder "Ablage \u00c4": the name arrives whole, and the container reads."""

    def test_its_name_is_whole_and_it_verifies(self):
        self.assertEqual(os.listdir(os.path.dirname(WIDE)), [os.path.basename(WIDE)])
        run = subprocess.run([CVMAIL, "verify", WIDE], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with zipfile.ZipFile(WIDE) as z:
            self.assertIsNone(z.testzip())
            subjects = sorted(email.message_from_bytes(z.read(n), policy=email.policy.default)["Subject"]
                              for n in z.namelist() if n.startswith("mails/"))
        self.assertEqual(subjects, ["Erste", "Zweite"])


class SampleSnapshot(unittest.TestCase):
    """The Wine tests play the sample mailbox from its snapshot: it must be
    the one cvmail writes for the mailbox as it is now."""

    def test_snapshot_is_current(self):
        with tempfile.TemporaryDirectory() as directory:
            fresh = os.path.join(directory, "snapshot.json")
            run = subprocess.run([CVMAIL, "snapshot", os.path.join(SAMPLES, "mailbox"), "-o", fresh],
                                 capture_output=True, text=True)
            # exit 1: the sample's broken file is named, not played
            self.assertEqual(run.returncode, 1, run.stderr)
            self.assertIn("99_kaputt.eml", run.stderr)
            with open(fresh, "rb") as a, open(SNAPSHOT, "rb") as b:
                self.assertTrue(a.read() == b.read(),
                                "run: cvmail snapshot samples/mailbox -o tests/data/e2e/mailbox.snapshot.json")


if __name__ == "__main__":
    unittest.main()
