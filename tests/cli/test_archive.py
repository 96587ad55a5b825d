"""cvmail archive, ribbon, inspect, verify and settings, run end to end as a
user runs them, on small stores written here: each action, the bad inputs,
each exit code, Ctrl-C in both jobs, and every container read back with
Python's zipfile and email modules."""
import email
import email.policy
import hashlib
import json
import os
import pathlib
import pty
import re
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

CVMAIL = os.environ["CVMAIL"]
SAMPLES = pathlib.Path(os.environ["CV_SAMPLES"])
CAPTION = "[Corvane E-Mail Archiv für Microsoft Outlook | "
MSG_NOTHING = "Bitte wählen Sie mindestens eine E-Mail zum Export aus."
MSG_DAMAGED = "Diese Installation des Corvane E-Mail Archiv für Microsoft Outlook ist beschädigt."


def eml(subject, body="Hallo.", attachment=None):
    text = (f"From: Anna Groß <anna@example.org>\r\nTo: bob@example.org\r\nSubject: {subject}\r\n"
            "Date: Mon, 01 Dec 2025 09:00:00 +0100\r\nMIME-Version: 1.0\r\n")
    if attachment is None:
        return (text + f"Content-Type: text/plain; charset=utf-8\r\n\r\n{body}\r\n").encode()
    import base64
    data = base64.encodebytes(attachment).decode().replace("\n", "\r\n")
    return (text + 'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\n'
            f"Content-Type: text/plain\r\n\r\n{body}\r\n--b\r\nContent-Type: application/octet-stream\r\n"
            'Content-Disposition: attachment; filename="daten.bin"\r\nContent-Transfer-Encoding: base64\r\n\r\n'
            f"{data}--b--\r\n").encode()


def write_store(root, layout):
    """layout: folder path ("A/B") -> {file name: bytes}."""
    for folder, files in layout.items():
        directory = root / folder
        directory.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            (directory / name).write_bytes(data)
    return root


# A store with a default folder the recursive add skips and one it does not.
SMALL = {
    "Posteingang": {"a1.eml": eml("a1"), "a2.eml": eml("a2"), "b1.eml": eml("b1")},
    "Posteingang/Büro": {"c1.eml": eml("c1"), "c2.eml": eml("c2")},
    "Archiv": {"d1.eml": eml("d1"), "d2.eml": eml("d2")},
    "Gelöschte Elemente": {"x1.eml": eml("x1")},
    "Junk-E-Mail": {"y1.eml": eml("y1")},
}


# What a whole-store run leaves out of SMALL by rule, and the exit status that says so.
LEFT_OUT = "Nicht archiviert, weil ausgeschlossen: „Gelöschte Elemente“ (1 E-Mail), „Junk-E-Mail“ (1 E-Mail)\n"


def counters(output):
    """The counters printed after each action, as (mails, folders)."""
    return [(int(m), int(f)) for m, f in re.findall(r"E-Mails:\s+(\d+)\s+Ordner:\s+(\d+)", output)]


def read_back(test, container):
    """Reads every member with zipfile and every mail with email; returns the
    subjects by folder."""
    subjects = {}
    with zipfile.ZipFile(container) as archive:
        test.assertIsNone(archive.testzip())
        manifest = json.loads(archive.read("manifest.json"))
        for mail in manifest["mails"]:
            message = email.message_from_bytes(archive.read(mail["member"]), policy=email.policy.default)
            test.assertEqual(message["Subject"], mail["subject"])
            for part in message.walk():
                part.get_content() if not part.is_multipart() else None
            subjects.setdefault(mail["folder"], []).append(mail["subject"])
    return subjects


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="cvmail-archive-"))
        self.env = dict(os.environ, XDG_CONFIG_HOME=str(self.dir / "config"), LC_ALL="C.UTF-8")

    def tearDown(self):
        for path in sorted(self.dir.rglob("*"), reverse=True):
            if not path.is_symlink():
                path.chmod(0o700)
            path.rmdir() if path.is_dir() and not path.is_symlink() else path.unlink()
        self.dir.rmdir()

    def run_cvmail(self, *args, timeout=300):
        result = subprocess.run([CVMAIL, *map(str, args)], capture_output=True, timeout=timeout, env=self.env)
        self.assertNotIn(b"Sanitizer", result.stderr)
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def store(self, layout=SMALL, name="Postfach"):
        return write_store(self.dir / name, layout)


class Archive(Cli):
    def test_the_sample_mailbox_reads_back_completely(self):
        out = self.dir / "beispiel.zip"
        code, stdout, _ = self.run_cvmail("archive", SAMPLES / "mailbox", "-o", out, "--cache", SAMPLES / "cache",
                                          "--comment", "Prüfung")
        self.assertEqual(code, 1, stdout)
        archived = int(re.search(r"archivierte E-Mails: (\d+)", stdout).group(1))
        self.assertGreater(archived, 20)
        # The broken file in the inbox is counted, named, not fatal.
        self.assertIn(CAPTION + "Information]\nAuf 1 Mail(s) konnte nicht zugegriffen werden.", stdout)
        # Each folder's progress begins anew, even at the percentage the last one ended with.
        self.assertIn("Erfasse Ordner: mailbox\\Gesendete Elemente 100 %\nErfasse Ordner: mailbox\\Entwürfe 100 %\n",
                      stdout)
        # The collection's closed progress leaves no blank line on a pipe: the counters follow at once.
        self.assertRegex(stdout, r"nicht zum Export ausgewählt\.\n  E-Mails: +\d+ +Ordner: +\d+\nArchiv erstellen\n")
        self.assertIn("nicht gelesen:       1\n    Posteingang/99_kaputt.eml: no mail (it cannot be parsed)\n", stdout)
        # Every archived message was checked against its source, with the cache's pictures too.
        self.assertIn(f"  Inhalt geprüft:      {archived} vollständig, 0 unvollständig\n", stdout)
        subjects = read_back(self, out)
        self.assertEqual(sum(map(len, subjects.values())), archived)
        self.assertNotIn("mailbox\\Junk-E-Mail", subjects)
        code, stdout, _ = self.run_cvmail("verify", out)
        self.assertEqual((code, stdout.strip()), (0, f"{out}: intakt, {archived} E-Mails"))
        code, stdout, _ = self.run_cvmail("inspect", out, "--json")
        properties = dict(json.loads(stdout)["properties"])
        self.assertEqual(properties["Kommentar"], "Prüfung")
        self.assertEqual(properties["Anzahl der Mails"], str(archived))
        self.assertRegex(properties["Erstellungsdatum"], r"\d.* \d{1,2}:\d\d:\d\d")  # the run's local date and time
        # The viewer at the root: the bytes `cvmail viewer` writes, named with its hash in the
        # manifest; each mail counts the attachments its message carries (pictures are no attachment).
        page = self.dir / "viewer.html"
        self.assertEqual(self.run_cvmail("viewer", "-o", page)[0], 0)
        with zipfile.ZipFile(out) as archive:
            manifest = json.loads(archive.read("manifest.json"))
            viewer = archive.read("Archiv ansehen.html")
            self.assertEqual(viewer, page.read_bytes())
            self.assertEqual(manifest["viewer"], {"member": "Archiv ansehen.html",
                                                  "sha256": hashlib.sha256(viewer).hexdigest()})
            self.assertEqual(manifest["version"], 3)
            for mail in manifest["mails"]:
                message = email.message_from_bytes(archive.read(mail["member"]), policy=email.policy.default)
                attached = [part for part in message.walk() if part.is_attachment()]
                self.assertEqual(mail["attachments"], len(attached), mail["subject"])
            self.assertEqual(max(mail["attachments"] for mail in manifest["mails"]), 6)

    def test_actions_run_in_command_line_order(self):
        store = self.store()
        cases = [
            # actions, counters after each action, subjects archived by folder
            (["--add-folder", "Posteingang"], [(3, 1)], {"Posteingang": ["a1", "a2", "b1"]}),
            (["--add-folder", "Postfach\\Posteingang\\Büro"], [(2, 1)], {"Posteingang\\Büro": ["c1", "c2"]}),
            (["--add-tree", "Posteingang"], [(5, 2)], {"Posteingang": ["a1", "a2", "b1"],
                                                       "Posteingang\\Büro": ["c1", "c2"]}),
            (["--add-mails", "Posteingang:a*"], [(2, 1)], {"Posteingang": ["a1", "a2"]}),
            (["--add-mails", "Posteingang/Büro:c2.eml", "--add-mails", "Archiv:*"], [(1, 1), (3, 2)],
             {"Posteingang\\Büro": ["c2"], "Archiv": ["d1", "d2"]}),
            (["--add-folder", "Posteingang", "--deselect", "Posteingang:a?.eml"], [(3, 1), (1, 1)],
             {"Posteingang": ["b1"]}),
            (["--add-folder", "Archiv", "--reset", "--add-folder", "Posteingang/Büro"], [(2, 1), (0, 0), (2, 1)],
             {"Posteingang\\Büro": ["c1", "c2"]}),
            # Without actions, the whole store as a tree, skipping the default excluded folders
            # and naming them with exit 1.
            ([], [(7, 6)], {"Posteingang": ["a1", "a2", "b1"], "Posteingang\\Büro": ["c1", "c2"],
                            "Archiv": ["d1", "d2"]}),
        ]
        for i, (actions, expected_counters, expected) in enumerate(cases):
            with self.subTest(actions=actions):
                out = self.dir / f"{i}.zip"
                code, stdout, _ = self.run_cvmail("archive", store, "-o", out, *actions)
                self.assertEqual(code, 0 if actions else 1, stdout)
                self.assertEqual(LEFT_OUT in stdout, not actions, stdout)
                self.assertEqual(counters(stdout), expected_counters)
                if "--deselect" in actions:  # the user reads what was unticked
                    self.assertIn("Auswahl korrigieren: 2 E-Mail(s) in Posteingang abgewählt\n", stdout)
                subjects = {folder.removeprefix("Postfach\\"): sorted(s) for folder, s in read_back(self, out).items()
                            if s}
                self.assertEqual(subjects, expected)
                self.assertIn(f"archivierte E-Mails: {sum(map(len, expected.values()))}\n", stdout)

    def test_the_excluded_folders_setting(self):
        store = self.store()
        self.assertIn('Kein Wert "ExcludeFolder"', self.run_cvmail("settings")[1])
        code, stdout, _ = self.run_cvmail("settings", "--exclude", "Postfach/Archiv")
        self.assertEqual((code, stdout), (0, "Ausgeschlossene Ordner (1):\n  \\\\Postfach\\Archiv\n"))
        stored = json.loads((self.dir / "config/cvmail/settings.json").read_text())
        value = stored["keys"]["Software\\Corvanworks\\Corvane\\CVMailArchiveOl"]["ExcludeFolder"]
        self.assertEqual((value["type"], bytes.fromhex(value["data"]).decode("utf-16-le")),
                         (1, "\\\\Postfach\\Archiv\r\n\0"))
        # The value replaces the default set: deleted and junk mails are archived now, Archiv is not.
        code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "1.zip")
        self.assertEqual(code, 1, stdout)
        self.assertIn("Nicht archiviert, weil ausgeschlossen: „Archiv“ (2 E-Mails)\n", stdout)
        self.assertEqual(sorted(read_back(self, self.dir / "1.zip")),
                         ["Postfach\\Gelöschte Elemente", "Postfach\\Junk-E-Mail", "Postfach\\Posteingang",
                          "Postfach\\Posteingang\\Büro"])
        # An explicit single folder is added even when excluded.
        self.assertEqual(self.run_cvmail("archive", store, "-o", self.dir / "2.zip", "--add-folder", "Archiv")[0], 0)
        # Cleared and set again in one go: the new folder alone.
        code, stdout, _ = self.run_cvmail("settings", "--clear", "--exclude", "Postfach/Büro")
        self.assertEqual((code, stdout), (0, "Ausgeschlossene Ordner (1):\n  \\\\Postfach\\Büro\n"))
        code, stdout, _ = self.run_cvmail("settings", "--clear")
        self.assertIn('Kein Wert "ExcludeFolder"', stdout)
        code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "3.zip")
        self.assertEqual(counters(stdout), [(7, 6)])

    def test_bad_input_is_refused_before_anything_is_written(self):
        store = self.store()
        existing = self.dir / "vorhanden.zip"
        existing.write_bytes(b"alt")
        (self.dir / "ordner.zip").mkdir()
        (self.dir / "datei").write_bytes(b"")
        (self.dir / "schleife.zip").symlink_to("schleife.zip")  # its status cannot be read
        cases = [
            ("missing store", [self.dir / "fehlt", "-o", self.dir / "o.zip"], "fehlt"),
            ("store is a file", [self.dir / "datei", "-o", self.dir / "o.zip"], "datei"),
            ("missing output directory", [store, "-o", self.dir / "fehlt/o.zip"],
             f"Der Ordner „{self.dir / 'fehlt'}“ existiert nicht."),
            ("existing output", [store, "-o", existing], "--force"),
            ("output is a directory", [store, "-o", self.dir / "ordner.zip", "--force"], "ordner.zip"),
            ("output is a link to itself", [store, "-o", self.dir / "schleife.zip"], "schleife.zip"),
            ("unknown folder", [store, "-o", self.dir / "o.zip", "--add-folder", "Nirgends"], "Nirgends"),
            ("unknown subfolder", [store, "-o", self.dir / "o.zip", "--add-tree", "Posteingang/Büro/X"], "X"),
            ("no glob", [store, "-o", self.dir / "o.zip", "--add-mails", "Posteingang"], "PATH:GLOB"),
            ("missing cache", [store, "-o", self.dir / "o.zip", "--cache", self.dir / "fehlt"], "cache"),
            ("no output option", [store], "--output"),
        ]
        # Read-only for its owner: refused even to root, as Windows refuses a read-only folder.
        locked = self.dir / "gesperrt"
        locked.mkdir(mode=0o500)
        cases.append(("unwritable output directory", [store, "-o", locked / "o.zip"],
                      f"Kein Schreibzugriff auf den Ordner „{locked}“."))
        for name, args, said in cases:
            with self.subTest(name):
                code, stdout, stderr = self.run_cvmail("archive", *args)
                self.assertEqual(code, 2, stdout + stderr)
                self.assertIn(said, stderr)
                if "output" in name:  # refused before the store is read
                    self.assertEqual(stdout, "")
                self.assertFalse((self.dir / "o.zip").exists())
        self.assertEqual(existing.read_bytes(), b"alt")
        code, stdout, _ = self.run_cvmail("archive", store, "-o", existing, "--force")
        self.assertEqual(code, 1, stdout)
        self.assertIn(LEFT_OUT, stdout)
        read_back(self, existing)

    def test_malformed_mails_never_stop_the_others(self):
        good = eml("gut")
        store = self.store({
            "Posteingang": {"1.eml": bytes(range(256)) * 8, "2.eml": b"", "3.eml": good, "4.eml": b"\x00" * 100,
                            "5.eml": b"Subject: nur Kopf\r\n", "6.eml": b"From: a\r\n\r\n" + b"\xff" * 5000,
                            "7.eml": b"Content-Type: multipart/mixed; boundary=x\r\nSubject: offen\r\n\r\n--x\r\n"},
        })
        (store / "Leer.mbox").write_bytes(b"")
        (store / "Alt.mbox").write_bytes(b"From a@b Mon Dec  1 09:00:00 2025\n" + good + b"\nFrom \n\x00\x01\n\n"
                                         b"From c@d Mon Dec  1 09:00:00 2025\n" + eml("zweiter"))
        if os.geteuid() != 0:
            (store / "Posteingang/8.eml").write_bytes(good)
            (store / "Posteingang/8.eml").chmod(0)
        code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "o.zip")
        self.assertEqual(code, 1, stdout)  # the container is written; the broken files are named
        self.assertIn("    Posteingang/1.eml: no mail (it cannot be parsed)\n", stdout)
        subjects = read_back(self, self.dir / "o.zip")
        self.assertIn("gut", subjects["Postfach\\Posteingang"])
        self.assertIn("zweiter", subjects["Postfach\\Alt"])
        self.assertIn("Auf ", stdout)

    def test_stats_count_the_calls_into_outlook_per_mail(self):
        store = self.store({"Posteingang": {"a.eml": eml("a"), "b.eml": eml("b", attachment=b"\x00data"),
                                            "c.eml": eml("c")}})
        code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "o.zip", "--stats")
        self.assertEqual(code, 0, stdout)
        total, per = re.search(r"\n  Aufrufe in Outlook:  (\d+), (\d+\.\d\d) je E-Mail\n", stdout).groups()
        members = re.findall(r"^    (\w+) +(\d+) +(\d+\.\d\d)$", stdout.split("Aufrufe in Outlook")[1], re.M)
        self.assertEqual(sum(int(calls) for _, calls, _ in members), int(total))
        self.assertEqual(per, f"{int(total) / 3:.2f}")
        counts = [int(calls) for _, calls, _ in members]
        self.assertEqual(counts, sorted(counts, reverse=True))  # the most first
        rows = {member: (int(calls), share) for member, calls, share in members}
        self.assertEqual(rows["GetItemFromID"], (3, "1.00"))  # every mail reopened once
        self.assertEqual(rows["EntryID"], (3, "1.00"))  # the collecting's reads are not the export's
        self.assertNotIn(0, counts)
        self.assertEqual(rows["SaveAsFile"], (1, "0.33"))
        code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "o.zip", "--force")
        self.assertNotIn("Aufrufe", stdout)

    def test_nothing_to_archive(self):
        store = self.store({"Posteingang": {"kaputt.eml": b"\x00\x01"}, "Leer": {}})
        for actions in (["--reset"], ["--add-folder", "Leer"], []):
            with self.subTest(actions=actions):
                code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "o.zip", *actions)
                self.assertEqual(code, 4, stdout)
                self.assertIn(CAPTION + "Information]\n" + MSG_NOTHING + "\n", stdout)
                self.assertFalse((self.dir / "o.zip").exists())

    def test_a_missing_writer_is_a_damaged_installation(self):
        code, stdout, _ = self.run_cvmail("archive", self.store(), "-o", self.dir / "o.zip", "--without-writer")
        self.assertEqual(code, 5, stdout)
        self.assertIn(CAPTION + "Fehler]\n" + MSG_DAMAGED + "\n", stdout)
        self.assertFalse((self.dir / "o.zip").exists())

    def test_a_terminal_sees_every_text_on_a_line_of_its_own(self):
        # On a terminal the progress rewrites one line; whatever comes next, a message
        # over the open dialog or the counters after it closed, starts a new line.
        broken = dict(SMALL, Posteingang={**SMALL["Posteingang"], "kaputt.eml": b""})
        for name, layout in [("a message over the progress", broken), ("the counters after it", SMALL)]:
            with self.subTest(name):
                store = self.store(layout, name="Postfach-" + str(len(layout["Posteingang"])))
                master, slave = pty.openpty()
                process = subprocess.Popen([CVMAIL, "archive", store, "-o", self.dir / (store.name + ".zip")],
                                           stdin=subprocess.DEVNULL, stdout=slave, stderr=slave, env=self.env)
                os.close(slave)
                output = b""
                while chunk := self._read_pty(master):
                    output += chunk
                os.close(master)
                process.wait(timeout=60)
                text = output.decode()
                self.assertIn("\r\x1b[KErfasse Ordner: ", text)  # the terminal was seen as one
                self.assertIsNone(re.search(r" %(?!\r\n|\r\x1b\[K)", text), text)
                self.assertIn("\r\n  E-Mails:", text)

    @staticmethod
    def _read_pty(master):
        try:
            return os.read(master, 65536)
        except OSError:  # the other end closed
            return b""


class Interruptions(Cli):
    """Runs cvmail in the background and acts when a line appears."""

    def start(self, *args):
        self.stderr = open(self.dir / "stderr", "w+")
        self.addCleanup(self.stderr.close)
        return subprocess.Popen([CVMAIL, *map(str, args)], stdout=subprocess.PIPE, stderr=self.stderr,
                                env=self.env, text=True)

    def wait_for(self, process, prefix):
        seen = []
        for line in iter(process.stdout.readline, ""):
            seen.append(line)
            if line.startswith(prefix):
                return seen
        self.fail(f"no line {prefix!r} in {''.join(seen)}")

    def finish(self, process, seen):
        rest = process.stdout.read()
        process.stdout.close()
        process.wait(timeout=300)
        self.stderr.seek(0)
        self.errors = self.stderr.read()
        self.assertNotIn("Sanitizer", self.errors)
        (self.dir / "stderr").unlink()
        return process.returncode, "".join(seen) + rest

    def test_ctrl_c_while_collecting_keeps_what_was_collected(self):
        mails = 6000
        store = self.store({"Posteingang": {f"{i:05}.eml": eml(f"m{i}") for i in range(mails)}})
        process = self.start("archive", store, "-o", self.dir / "o.zip")
        seen = self.wait_for(process, "Erfasse Ordner: ")
        process.send_signal(signal.SIGINT)
        code, stdout = self.finish(process, seen)
        self.assertEqual(code, 130, stdout)
        self.assertIn("Abgebrochen: kein Archiv erstellt.", stdout)
        (collected, folders), = counters(stdout)
        self.assertLess(collected, mails)
        self.assertNotIn("Archiv erstellen", stdout)
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["Postfach"])

    def test_ctrl_c_during_the_export_leaves_no_container(self):
        payload = os.urandom(1 << 20)
        store = self.store({"Posteingang": {f"{i:03}.eml": eml(f"m{i}", attachment=payload) for i in range(60)}})
        process = self.start("archive", store, "-o", self.dir / "o.zip")
        seen = self.wait_for(process, "Archiv erstellen: ")
        process.send_signal(signal.SIGINT)
        code, stdout = self.finish(process, seen)
        self.assertEqual(code, 130, stdout)
        self.assertIn("Abgebrochen: kein Archiv erstellt.", stdout)
        self.assertNotIn("Zusammenfassung", stdout)
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["Postfach"])

    def test_a_mail_that_cannot_be_reopened_ends_the_export_without_a_container(self):
        payload = os.urandom(1 << 20)
        store = self.store({"Posteingang": {f"{i:03}.eml": eml(f"m{i}", attachment=payload) for i in range(40)}})
        (self.dir / "o.zip").write_bytes(b"alt")
        process = self.start("archive", store, "-o", self.dir / "o.zip", "--force")
        seen = self.wait_for(process, "Archiv erstellen: ")
        (store / "Posteingang/039.eml").write_bytes(b"\x00" * 100)
        code, stdout = self.finish(process, seen)
        self.assertEqual(code, 2, stdout)
        self.assertIn("no container was written", self.errors)
        # The file it was to replace is kept, and nothing else is left.
        self.assertEqual((self.dir / "o.zip").read_bytes(), b"alt")
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["Postfach", "o.zip"])


class Ribbon(Cli):
    def test_the_ribbon_follows_the_archive_list(self):
        store = self.store()
        code, stdout, _ = self.run_cvmail("ribbon", store, "--json")
        self.assertEqual(code, 0)
        before = json.loads(stdout)
        controls = {c["id"]: c for c in before["controls"]}
        self.assertFalse(controls["CreateArchivCmd"]["enabled"])
        self.assertEqual(controls["CreateArchivCmd"]["label"], "Archiv erstellen")
        self.assertEqual(controls["AddFolderRekursivCmd"]["label"], "Ordner und Unterordner hinzufügen")
        code, stdout, _ = self.run_cvmail("ribbon", store, "--json", "--add-tree", "Posteingang")
        after = json.loads(stdout)
        self.assertEqual((after["mailCount"].strip(), after["folderCount"].strip()), ("5", "2"))
        self.assertTrue({c["id"]: c for c in after["controls"]}["CreateArchivCmd"]["enabled"])
        code, stdout, _ = self.run_cvmail("ribbon", store, "--add-folder", "Archiv")
        self.assertEqual(code, 0)
        self.assertIn('[x] ribbon / CreateArchivCmd: "Archiv erstellen"', stdout)
        self.assertEqual(self.run_cvmail("ribbon", self.dir / "fehlt")[0], 2)


class Containers(Cli):
    def test_the_viewer_is_written_whole_or_not_at_all(self):
        import resource

        def small_files():  # a disk that takes 4 kB a file: the page does not fit
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        out = self.dir / "ansehen" / "Archiv ansehen.html"
        out.parent.mkdir()
        result = subprocess.run([CVMAIL, "viewer", "-o", out], capture_output=True, env=self.env, preexec_fn=small_files)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn(b"cannot write", result.stderr)
        self.assertEqual(list(out.parent.iterdir()), [])
        code, stdout, _ = self.run_cvmail("viewer", "-o", out)
        self.assertEqual(code, 0)
        self.assertIn("Bytes", stdout)
        self.assertEqual([p.name for p in out.parent.iterdir()], ["Archiv ansehen.html"])
        self.assertIn(b"<title>Archiv ansehen</title>", out.read_bytes())

    def make(self):
        out = self.dir / "o.zip"
        code, stdout, _ = self.run_cvmail("archive", self.store(), "-o", out)
        self.assertEqual(code, 1, stdout)
        self.assertIn(LEFT_OUT, stdout)
        return out

    def test_verify_finds_every_kind_of_damage(self):
        original = self.make().read_bytes()
        with zipfile.ZipFile(self.dir / "o.zip") as archive:
            member = archive.infolist()[0]
        start = member.header_offset + 30 + len(member.filename.encode()) + len(member.extra)
        flipped = bytearray(original)
        flipped[start + member.compress_size // 2] ^= 0xFF
        cases = [
            ("a changed byte", bytes(flipped)),
            ("cut short", original[:len(original) // 2]),
            ("not a container", b"Hallo\n"),
            ("empty", b""),
        ]
        for name, data in cases:
            with self.subTest(name):
                damaged = self.dir / "kaputt.zip"
                damaged.write_bytes(data)
                code, stdout, _ = self.run_cvmail("verify", damaged)
                self.assertEqual(code, 6, stdout)
                self.assertIn("Abweichung: ", stdout)
        # A mail added behind the manifest's back.
        with zipfile.ZipFile(self.dir / "o.zip", "a") as archive:
            archive.writestr("mails/Postfach/Posteingang/999999.eml", eml("fremd"))
        self.assertEqual(self.run_cvmail("verify", self.dir / "o.zip")[0], 6)
        self.assertEqual(self.run_cvmail("verify", self.dir / "fehlt.zip")[0], 2)
        self.assertEqual(self.run_cvmail("inspect", self.dir / "kaputt.zip")[0], 2)

    def test_inspect_lists_every_mail(self):
        out = self.make()
        code, stdout, _ = self.run_cvmail("inspect", out)
        self.assertEqual(code, 0)
        self.assertIn("Anzahl der Mails: 7\n", stdout)
        self.assertEqual(stdout.count(" | Anna Groß | "), 7)


if __name__ == "__main__":
    unittest.main()
