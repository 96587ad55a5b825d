"""The store as it is, and runs that end cleanly: clashing folder names,
names that are no UTF-8 or hold a backslash, links in and out of the store
and in loops, an unreadable directory; signals at every moment of the export;
leftovers of a killed run; an output onto the store's own files. Every source
mail's subject appears exactly once in the container or is named with a
non-zero exit, and nothing outside the store is read."""
import json
import os
import pathlib
import pwd
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

from test_archive import CVMAIL, eml


def manifest_of(container):
    with zipfile.ZipFile(container) as archive:
        return json.loads(archive.read("manifest.json"))


def user_without_rights(test):
    """A user other than root to run cvmail as, who can start it; None when
    the tests do not run as root. Skips the test where there is none."""
    if os.geteuid() != 0:
        return None
    try:
        user = pwd.getpwnam("nobody").pw_uid
    except KeyError:
        test.skipTest("no user without rights to run as")
    try:
        started = subprocess.run([CVMAIL, "--help"], capture_output=True, user=user).returncode == 0
    except PermissionError:
        started = False
    if not started:
        test.skipTest(f"{CVMAIL} cannot be run by a user without rights")
    return user


class Run(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="cvmail-shapes-"))
        os.chmod(self.dir, 0o755)
        self.tmp = self.dir / "tmp"
        self.tmp.mkdir()
        self.tmp.chmod(0o1777)
        self.env = dict(os.environ, XDG_CONFIG_HOME=str(self.dir / "config"), LC_ALL="C.UTF-8",
                        TMPDIR=str(self.tmp))

    def tearDown(self):
        for path in sorted(self.dir.rglob("*"), reverse=True):
            if not path.is_symlink():
                path.chmod(0o700)
        shutil.rmtree(self.dir)

    def run_cvmail(self, *args, user=None):
        result = subprocess.run([CVMAIL, *map(str, args)], capture_output=True, timeout=120, env=self.env, user=user)
        self.assertNotIn(b"Sanitizer", result.stderr)
        return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")

    def start(self, *args):
        return subprocess.Popen([CVMAIL, *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=self.env, text=True)

    def wait_for(self, process, text):
        seen = []
        for line in iter(process.stdout.readline, ""):
            seen.append(line)
            if text in line:
                return seen
        self.fail(f"no line with {text!r} in {''.join(seen)}")

    def wait_until_caught(self, process, sent):
        # A signal sent before cvmail installs its handler kills it outright; a slow start
        # (sanitizers) must not turn that into a failure of the run's own handling.
        status = pathlib.Path(f"/proc/{process.pid}/status")
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None:
            caught = next(line for line in status.read_text().splitlines() if line.startswith("SigCgt:"))
            if int(caught.split()[1], 16) & (1 << (sent - 1)):
                return
            time.sleep(0.001)
        self.assertIsNone(process.poll(), "cvmail ended before it caught the signal")

    def finish(self, process, seen):
        rest = process.stdout.read()
        errors = process.stderr.read()
        process.wait(timeout=120)
        self.assertNotIn("Sanitizer", errors)
        return process.returncode, "".join(seen) + rest

    def write(self, path, data):
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)

    def leftovers(self):
        return sorted(p.name for p in self.tmp.iterdir())


class StoreShapes(Run):
    def test_every_directory_is_a_folder_and_no_link_leads_out(self):
        store = self.dir / "Postfach"
        outside = self.dir / "draussen"
        sources = {  # subject: path of the source below the store
            "inbox-en": "Inbox/a.eml", "inbox-de": "Posteingang/a.eml", "sent-1": "Sent/a.eml",
            "sent-2": "Sent Items/a.eml", "archiv-dir": "Archiv/a.eml", "ff": "x\udcff/a.eml", "fe": "x\udcfe/a.eml",
            "tief": "Posteingang/Projekte/a.eml",
        }
        for subject, path in sources.items():
            self.write(store / path, eml(subject))  # "\udcff" is the byte 0xFF in a file name
        (store / "Archiv.mbox").write_bytes(b"From a@b Mon Dec  1 09:00:00 2025\n" + eml("archiv-mbox"))
        self.write(store / "mit\\strich" / "a.eml", eml("backslash"))
        self.write(outside / "Fremd" / "a.eml", eml("fremd-ordner"))
        self.write(outside / "fremd.eml", eml("fremd-datei"))
        os.symlink(store / "Posteingang", store / "Verweis")          # a second way to a folder
        os.symlink(".", store / "Posteingang" / "schleife")           # a loop
        os.symlink(outside / "Fremd", store / "Ausflug")             # out of the store
        os.symlink(outside / "fremd.eml", store / "Posteingang" / "fremd.eml")
        os.symlink("s2", store / "s1")                              # two links that never end
        os.symlink("s1", store / "s2")
        os.symlink(store / "Sent" / "a.eml", store / "Posteingang" / "verweis.eml")  # a mail twice, inside
        out = self.dir / "o.zip"
        code, stdout, stderr = self.run_cvmail("archive", store, "-o", out)
        self.assertEqual(code, 1, stdout + stderr)
        subjects = [m["subject"] for m in manifest_of(out)["mails"]]
        for subject in sources:
            self.assertIn(subject, subjects, stdout)
        self.assertEqual(subjects.count("archiv-mbox"), 1)
        self.assertEqual(subjects.count("inbox-de"), 1)  # the folder behind the link and the loop only once
        self.assertEqual(subjects.count("tief"), 1)
        self.assertNotIn("fremd-ordner", subjects)
        self.assertNotIn("fremd-datei", subjects)
        self.assertNotIn("backslash", subjects)
        for named in ("mit\\strich: the folder's name holds a backslash", "Ausflug: the link leads out of the store",
                      "Posteingang/fremd.eml: the link leads out of the store", "s1: the link cannot be followed"):
            self.assertIn(named, stdout)
        folders = {m["subject"]: m["folder"] for m in manifest_of(out)["mails"]}
        self.assertEqual(folders["inbox-en"], "Postfach\\Inbox")
        self.assertEqual(folders["inbox-de"], "Postfach\\Posteingang")
        self.assertEqual(folders["archiv-mbox"], "Postfach\\Archiv (2)")
        self.assertEqual({folders["ff"], folders["fe"]}, {"Postfach\\x%FF", "Postfach\\x%FE"})
        sources_kept = {m["subject"]: m["source"] for m in manifest_of(out)["mails"]}
        self.assertEqual(sources_kept["sent-2"], "Sent Items/a.eml")
        self.assertEqual(sources_kept["archiv-mbox"], "Archiv.mbox#1")
        self.assertEqual(manifest_of(out)["version"], 3)
        self.assertEqual(self.run_cvmail("verify", out)[0], 0)

    def test_what_is_not_archived_is_named_with_its_count(self):
        postmark = b"From a@b Mon Dec  1 09:00:00 2025\n"
        excluded = "  Nicht archiviert, weil ausgeschlossen: "
        hidden = "  Nicht archiviert, weil verborgen: "
        no_mail = "  Keine E-Mails, daher nicht archiviert: "
        cases = [
            # name, files below the store, exit status, summary lines expected, subjects archived
            ("all archived", {"Posteingang/a.eml": eml("a")}, 0, [], ["a"]),
            ("excluded by default", {"Posteingang/a.eml": eml("a"), "Papierkorb/b.eml": eml("b"),
                                     "Papierkorb/c.EML": eml("c"), "Spam.mbox": postmark + eml("d")},
             1, [excluded + "„Papierkorb“ (2 E-Mails), „Spam“ (1 E-Mail)"], ["a"]),
            ("an empty excluded folder is no loss", {"Posteingang/a.eml": eml("a"), "Papierkorb/.keep": b""},
             0, [], ["a"]),
            ("hidden", {"Posteingang/a.eml": eml("a"), ".Versteckt/b.eml": eml("b"),
                        ".Versteckt/Tief/c.eml": eml("c"), ".Versteckt/d.mbox": postmark + eml("d") + b"\n" + postmark + eml("e")},
             1, [hidden + "„.Versteckt“ (4 E-Mails)"], ["a"]),
            ("hidden mbox", {"Posteingang/a.eml": eml("a"), ".Alt.mbox": postmark + eml("b"), ".notiz": b"x\n"},
             1, [hidden + "„.Alt.mbox“ (1 E-Mail)"], ["a"]),
            # Maildir++ names with empty parts: each its own folder, every mail checked.
            ("dots", {"cur/1": eml("a"), ".Archiv/cur/1": eml("b"), ".Archiv./cur/1": eml("c"),
                      "..Leer/cur/1": eml("d"), ".../cur/1": eml("e")},
             0, ["  Inhalt geprüft:      5 vollständig, 0 unvollständig"], ["a", "b", "c", "d", "e"]),
            ("no mails", {"Posteingang/a.eml": eml("a"), "Kalender/t.eml": eml("Termin"),
                          "Kalender/u.eml": eml("Termin 2")},
             0, [no_mail + "2 Elemente (Termine, Kontakte, …)"], ["a"]),
            ("a file that is no mail", {"Posteingang/a.eml": eml("a"), "Posteingang/notiz.txt": b"Einkaufen\n"},
             1, ["Posteingang/notiz.txt: no mail file (neither .eml nor an mbox file)"], ["a"]),
            ("mbox without blank lines", {"Archiv.mbox": postmark + eml("a") + postmark + eml("b")},
             0, ["  Hinweis: Trennzeile ohne Leerzeile davor, als Beginn einer E-Mail gelesen: Archiv.mbox#2"], ["a", "b"]),
            # An excluded folder the user added himself is archived, not left out.
            ("excluded but added", {"Posteingang/a.eml": eml("a"), "Papierkorb/b.eml": eml("b")},
             0, [], ["a", "b"], "--add-tree", "", "--add-folder", "Papierkorb"),
            ("excluded in a tree", {"Posteingang/a.eml": eml("a"), "Papierkorb/b.eml": eml("b")},
             1, [excluded + "„Papierkorb“ (1 E-Mail)"], ["a"], "--add-tree", ""),
        ]
        for name, files, status, lines, subjects, *actions in cases:
            with self.subTest(name):
                store = self.dir / name / "Postfach"
                for path, data in files.items():
                    self.write(store / path, data)
                out = self.dir / name / "o.zip"
                code, stdout, stderr = self.run_cvmail("archive", store, "-o", out, *actions)
                self.assertEqual(code, status, stdout + stderr)
                for line in lines:
                    self.assertIn(line + "\n", stdout)
                for prefix in (excluded, hidden, no_mail):
                    if not any(line.startswith(prefix) for line in lines):
                        self.assertNotIn(prefix, stdout)
                self.assertEqual(sorted(m["subject"] for m in manifest_of(out)["mails"]), subjects)
                # A snapshot of a store it could not read whole says so the same way.
                code, _, stderr = self.run_cvmail("snapshot", store, "-o", self.dir / name / "s.json")
                self.assertEqual(code, 1 if name in ("hidden", "hidden mbox", "a file that is no mail") else 0, stderr)

    def test_an_unreadable_directory_is_a_named_skipped_folder(self):
        user = user_without_rights(self)
        store = self.dir / "Postfach"
        self.write(store / "Posteingang" / "a.eml", eml("lesbar"))
        self.write(store / "Gesperrt" / "a.eml", eml("gesperrt"))
        for path in self.dir.rglob("*"):
            path.chmod(0o777 if path.is_dir() else 0o644)
        (store / "Gesperrt").chmod(0)
        out = self.dir / "ausgabe"
        out.mkdir(mode=0o777)
        out.chmod(0o777)
        code, stdout, stderr = self.run_cvmail("archive", store, "-o", out / "o.zip", user=user)
        self.assertEqual(code, 1, stdout + stderr)
        self.assertIn("Gesperrt: the folder cannot be read: Permission denied", stdout)
        self.assertEqual([m["subject"] for m in manifest_of(out / "o.zip")["mails"]], ["lesbar"])

    def test_a_user_the_system_does_not_know_still_archives(self):
        # Containers run with any uid; without a passwd entry there is no name
        # to give, and the container goes without "Ersteller".
        if os.geteuid() != 0:
            self.skipTest("needs root to run as another uid")
        uid = next(u for u in range(54321, 60000) if not any(p.pw_uid == u for p in pwd.getpwall()))
        try:
            started = subprocess.run([CVMAIL, "--help"], capture_output=True, user=uid, group=uid).returncode == 0
        except PermissionError:
            started = False
        if not started:
            self.skipTest(f"{CVMAIL} cannot be run by uid {uid}")
        store = self.dir / "Postfach"
        self.write(store / "Posteingang" / "a.eml", eml("niemand"))
        for path in self.dir.rglob("*"):
            path.chmod(0o777 if path.is_dir() else 0o644)
        out = self.dir / "ausgabe"
        out.mkdir(mode=0o777)
        out.chmod(0o777)
        result = subprocess.run([CVMAIL, "archive", store, "-o", out / "o.zip"], capture_output=True, timeout=120,
                                env=self.env, user=uid, group=uid)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        properties = dict(manifest_of(out / "o.zip")["properties"])
        self.assertNotIn("Ersteller", properties)
        self.assertEqual(properties["Anzahl der Mails"], "1")

    def test_the_creator_is_the_users_display_name_or_host_and_login(self):
        store = self.dir / "Postfach"
        self.write(store / "Posteingang" / "a.eml", eml("wer"))
        code, stdout, stderr = self.run_cvmail("archive", store, "-o", self.dir / "o.zip")
        self.assertEqual(code, 0, stdout + stderr)
        entry = pwd.getpwuid(os.getuid())
        display = (entry.pw_gecos or "").split(",")[0]
        expected = display if display else f"{os.uname().nodename}\\{entry.pw_name}"
        self.assertEqual(dict(manifest_of(self.dir / "o.zip")["properties"]).get("Ersteller"), expected)

    def test_the_output_never_lands_in_the_store(self):
        store = self.dir / "Postfach"
        self.write(store / "Posteingang" / "a.eml", eml("a"))
        (store / "Archiv.mbox").write_bytes(b"From a@b Mon Dec  1 09:00:00 2025\n" + eml("m"))
        for target in (store / "Posteingang" / "a.eml", store / "Archiv.mbox", store / "neu.zip",
                       store / "Posteingang" / ".." / "x.zip"):
            with self.subTest(target=target):
                before = {p: p.read_bytes() for p in store.rglob("*") if p.is_file()}
                code, _, stderr = self.run_cvmail("archive", store, "-o", target, "--force")
                self.assertEqual(code, 2, stderr)
                self.assertIn("lies inside the store", stderr)
                self.assertEqual({p: p.read_bytes() for p in store.rglob("*") if p.is_file()}, before)


class Signals(Run):
    def big_store(self, mails=60):
        store = self.dir / "Postfach"
        payload = os.urandom(1 << 20)
        for i in range(mails):
            self.write(store / "Posteingang" / f"{i:03}.eml", eml(f"m{i}", attachment=payload))
        return store

    def test_sigterm_and_sighup_end_the_export_like_ctrl_c(self):
        store = self.big_store()
        for sent, code_wanted in ((signal.SIGTERM, 143), (signal.SIGHUP, 129), (signal.SIGINT, 130)):
            with self.subTest(signal=sent):
                out = self.dir / "o.zip"
                out.write_bytes(b"alt")
                process = self.start("archive", store, "-o", out, "--force")
                seen = self.wait_for(process, "Archiv erstellen: ")
                process.send_signal(sent)
                code, stdout = self.finish(process, seen)
                self.assertEqual(code, code_wanted, stdout)
                self.assertIn("Abgebrochen: kein Archiv erstellt.", stdout)
                self.assertEqual(out.read_bytes(), b"alt")  # the old file kept
                self.assertEqual([p.name for p in self.dir.iterdir() if ".part-" in p.name], [])
                self.assertEqual(self.leftovers(), [])

    def test_a_late_ctrl_c_never_contradicts_the_file(self):
        store = self.big_store(20)
        out = self.dir / "o.zip"
        for attempt in range(3):
            out.write_bytes(b"alt")
            process = self.start("archive", store, "-o", out, "--force")
            seen = self.wait_for(process, "von 20 E-Mails 100 %")
            process.send_signal(signal.SIGINT)
            code, stdout = self.finish(process, seen)
            if "Abgebrochen: kein Archiv erstellt." in stdout:
                self.assertEqual((code, out.read_bytes()), (130, b"alt"), stdout)
            else:
                self.assertEqual(code, 0, stdout)
                self.assertIn("Zusammenfassung", stdout)
                self.assertEqual(len(manifest_of(out)["mails"]), 20)
            self.assertEqual(self.leftovers(), [])

    def test_a_file_of_the_outputs_name_that_came_meanwhile_is_kept(self):
        # As when a second run onto the same target finishes first.
        store = self.big_store(30)
        out = self.dir / "o.zip"
        process = self.start("archive", store, "-o", out)
        seen = self.wait_for(process, "Archiv erstellen: ")
        out.write_bytes(b"fremd")
        code, stdout = self.finish(process, seen)
        self.assertEqual(code, 1, stdout)
        beside = self.dir / "o (2).zip"
        self.assertIn(f"Das Archiv „{out}“ existiert inzwischen; es wurde nicht ersetzt. "
                      f"Die neue Fassung liegt unter „{beside}“.\n", stdout)
        self.assertEqual(out.read_bytes(), b"fremd")
        self.assertEqual(len(manifest_of(beside)["mails"]), 30)
        code, stdout, _ = self.run_cvmail("verify", beside)
        self.assertEqual(code, 0, stdout)

    def test_the_next_run_removes_what_a_killed_run_left(self):
        store = self.big_store(30)
        out = self.dir / "o.zip"
        process = self.start("archive", store, "-o", out)
        self.wait_for(process, "Archiv erstellen: ")
        process.kill()
        process.wait(timeout=60)
        process.stdout.close()
        process.stderr.close()
        parts = [p for p in self.dir.iterdir() if ".part-" in p.name]
        self.assertEqual(len(parts), 1)
        self.assertEqual(len(self.leftovers()), 1)
        left_dir = self.tmp / self.leftovers()[0]
        code, stdout, stderr = self.run_cvmail("archive", store, "-o", out, "--add-mails", "Posteingang:000.eml")
        self.assertEqual(code, 0, stdout + stderr)
        self.assertIn(f"Überreste eines abgebrochenen Laufs entfernt: {left_dir}\n", stdout)
        self.assertIn(f"Unvollständiges Archiv eines abgebrochenen Laufs entfernt: {parts[0]}\n", stdout)
        self.assertEqual([p for p in self.dir.iterdir() if ".part-" in p.name], [])
        self.assertEqual(self.leftovers(), [])

    def test_a_run_directory_whose_process_lives_stays(self):
        # A run's directory is unlocked for a moment after it is made: only
        # its process tells that it is in use.
        store = self.dir / "Postfach"
        self.write(store / "Posteingang" / "a.eml", eml("a"))
        dead = subprocess.Popen(["true"])
        dead.wait()
        live = self.tmp / f"cvmail-{os.getpid()}-lebt"
        gone = self.tmp / f"cvmail-{dead.pid}-tot"
        odd = self.tmp / "cvmail-x1-ohne-Nummer"  # no process named: its lock alone tells
        init = self.tmp / "cvmail-1-init"  # the lowest process number, always alive
        zero = self.tmp / "cvmail-0-null"  # 0 names no process (kill would ask our own group)
        for directory in (live, gone, odd, init, zero):
            self.write(directory / ".lock", b"")
        code, stdout, stderr = self.run_cvmail("archive", store, "-o", self.dir / "o.zip")
        self.assertEqual(code, 0, stdout + stderr)
        self.assertTrue(live.exists())
        self.assertTrue(init.exists())
        self.assertFalse(zero.exists())
        self.assertFalse(gone.exists())
        self.assertFalse(odd.exists())
        self.assertIn(f"Überreste eines abgebrochenen Laufs entfernt: {gone}\n", stdout)
        self.assertNotIn(str(live), stdout)

    def test_a_running_run_keeps_its_files(self):
        store = self.big_store(60)
        first = self.start("archive", store, "-o", self.dir / "a.zip")
        self.wait_for(first, "Archiv erstellen: ")
        code, stdout, _ = self.run_cvmail("archive", store, "-o", self.dir / "b.zip", "--add-mails",
                                          "Posteingang:000.eml")
        self.assertEqual(code, 0, stdout)
        self.assertNotIn("entfernt", stdout)
        first.send_signal(signal.SIGINT)
        code, out = self.finish(first, [])
        self.assertIn(code, (0, 130), out)

    def test_ctrl_c_while_loading_ends_the_run(self):
        store = self.dir / "Postfach"
        for i in range(3000):
            (store / f"d{i}").mkdir(parents=True)
        process = self.start("archive", store, "-o", self.dir / "o.zip")
        self.wait_until_caught(process, signal.SIGINT)
        process.send_signal(signal.SIGINT)
        code, stdout = self.finish(process, [])
        if code == 130:
            self.assertIn("Abgebrochen: kein Archiv erstellt.", stdout)
        else:  # loading was over before the signal came
            self.assertEqual(code, 4, stdout)
        self.assertFalse((self.dir / "o.zip").exists())


if __name__ == "__main__":
    unittest.main()
