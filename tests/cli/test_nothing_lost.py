"""Nothing is lost in silence: every attachment of every mail arrives in the
container, or its mail is named in the summary with a non-zero exit; every
error names its cause and its object. Hostile names, a temporary directory
that fills up, an unusable TMPDIR, an unreadable mail, a full target disk."""
import base64
import email
import email.policy
import hashlib
import json
import os
import pathlib
import pwd
import resource
import shutil
import signal
import subprocess
import tempfile
import unittest
import zipfile

CVMAIL = os.environ["CVMAIL"]


def eml(subject, attachments=(), message_attachment=None):
    """A mail with attachments [(name, bytes)] and, optionally, an attached
    message of the given subject."""
    parts = ["--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nHallo.\r\n"]
    for name, data in attachments:
        encoded = base64.encodebytes(data).decode().replace("\n", "\r\n")
        quoted = email.utils.encode_rfc2231(name, "utf-8")
        parts.append(f"--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                     f"Content-Disposition: attachment; filename*={quoted}\r\n\r\n{encoded}")
    if message_attachment:
        inner = (f"From: a@example.org\r\nSubject: =?utf-8?b?{base64.b64encode(message_attachment.encode()).decode()}?="
                 "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nInnen.\r\n")
        parts.append(f"--b\r\nContent-Type: message/rfc822\r\nContent-Disposition: attachment\r\n\r\n{inner}")
    return (f"From: Anna <anna@example.org>\r\nTo: bob@example.org\r\nSubject: {subject}\r\n"
            "Date: Mon, 01 Dec 2025 09:00:00 +0100\r\nMIME-Version: 1.0\r\n"
            'Content-Type: multipart/mixed; boundary="b"\r\n\r\n' + "".join(parts) + "--b--\r\n").encode()


def sha(data):
    return hashlib.sha256(data).hexdigest()


def archived_attachments(container):
    """subject -> [(file name, sha256)] of every archived mail."""
    found = {}
    with zipfile.ZipFile(container) as archive:
        for mail in json.loads(archive.read("manifest.json"))["mails"]:
            message = email.message_from_bytes(archive.read(mail["member"]), policy=email.policy.default)
            found[mail["subject"]] = [(p.get_filename(), sha(p.get_payload(decode=True)))
                                      for p in message.walk() if p.get_content_disposition() == "attachment"]
    return found


def limit_file_size(limit):
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the limit fails instead of killing
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


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


class NothingLost(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="cvmail-lost-"))
        os.chmod(self.dir, 0o755)
        self.env = dict(os.environ, XDG_CONFIG_HOME=str(self.dir / "config"), LC_ALL="C.UTF-8",
                        TMPDIR=str(self.make_dir("tmp")))
        self.mounts = []

    def tearDown(self):
        for mount in reversed(self.mounts):
            subprocess.run(["umount", str(mount)], check=False)
        shutil.rmtree(self.dir, ignore_errors=True)

    def make_dir(self, name):
        path = self.dir / name
        path.mkdir(parents=True, exist_ok=True)
        path.chmod(0o777)
        return path

    def store(self, mails):
        """mails: {file name: bytes} in the folder "Posteingang"."""
        inbox = self.make_dir("Postfach/Posteingang")
        for name, data in mails.items():
            (inbox / name).write_bytes(data)
            (inbox / name).chmod(0o644)
        return self.dir / "Postfach"

    def archive(self, store, out, preexec=None, user=None, timeout=300, extra=()):
        command = [CVMAIL, "archive", str(store), "-o", str(out), "--add-folder", "Posteingang", *extra]
        result = subprocess.run(command, capture_output=True, timeout=timeout, env=self.env, preexec_fn=preexec,
                                user=user)
        self.assertNotIn(b"Sanitizer", result.stderr)
        return (result.returncode, result.stdout.decode(errors="surrogateescape"),
                result.stderr.decode(errors="surrogateescape"))

    def tmpfs(self, name, size):
        """A small tmpfs where root can mount one; the test is skipped otherwise."""
        path = self.make_dir(name)
        if os.geteuid() != 0 or not shutil.which("mount"):
            self.skipTest("mounting a small tmpfs needs root")
        if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=1777", "tmpfs", str(path)],
                          capture_output=True).returncode != 0:
            self.skipTest("tmpfs cannot be mounted here")
        self.mounts.append(path)
        return path

    def assert_every_attachment_or_named(self, code, stdout, out, sources):
        """sources: {file name: (subject, [(name, bytes)])}. Each mail has all
        its attachments in the container, or it is named in the summary and
        the exit is not 0."""
        found = archived_attachments(out) if out.exists() else {}
        named = 0
        for file, (subject, attachments) in sources.items():
            want = sorted((name, sha(data)) for name, data in attachments)
            if subject in found:
                self.assertEqual(sorted(found[subject]), want, subject)
            else:
                self.assertIn(f"\\Posteingang\\{file}: ", stdout, f"{file} is neither archived nor named")
                named += 1
        if named:
            self.assertNotEqual(code, 0, stdout)
        return named

    def test_hostile_attachment_names_arrive_whole(self):
        cases = {  # file: (subject, attachments)
            "umlaute.eml": ("Umlaute", [("ü" * 126 + ".pdf", b"pdf 1"), ("ö" * 126 + ".pdf", b"pdf 2")]),
            "han.eml": ("Han", [("文" * 200, b"han")]),
            "emoji.eml": ("Emoji", [("\U0001F4E7" * 98 + ".txt", b"emoji")]),  # 200 units, 396 bytes
            "kurz.eml": ("Kurz", [("kurz.txt", b"kurz")]),
        }
        mails = {file: eml(subject, attachments) for file, (subject, attachments) in cases.items()}
        mails["nachricht.eml"] = eml("Nachricht", message_attachment="ü" * 200)
        # Two names that differ in case only would meet in one file on
        # Windows: kept in memory, the second is numbered as the add-in
        # numbers it there; on a POSIX disk both keep their names.
        mails["fall.eml"] = eml("Fall", [("Anlage.txt", b"klein"), ("ANLAGE.txt", b"GROSS")])
        store = self.store(mails)
        containers = {}
        for where, second in (((), "ANLAGE(1).txt"), (("--temp-on-disk",), "ANLAGE.txt")):
            with self.subTest(temporary=where or "memory"):
                out = self.dir / f"o{len(containers)}.zip"
                code, stdout, stderr = self.archive(store, out, extra=where)
                self.assertEqual(code, 0, stdout + stderr)
                self.assertEqual(self.assert_every_attachment_or_named(code, stdout, out, cases), 0)
                found = archived_attachments(out)
                self.assertEqual([name for name, _ in found["Nachricht"]], ["ü" * 196 + ".eml"])  # cleaned to 200 units
                self.assertEqual(found.pop("Fall"), [("Anlage.txt", sha(b"klein")), (second, sha(b"GROSS"))])
                verify = subprocess.run([CVMAIL, "verify", str(out)], capture_output=True, text=True)
                self.assertEqual(verify.returncode, 0, verify.stdout)
                containers[where] = found
        # Otherwise where the files were kept changes nothing in the archive.
        self.assertEqual(containers[()], containers[("--temp-on-disk",)])

    def test_a_temporary_directory_that_fills_up_names_the_mails(self):
        big = os.urandom(400 * 1024)
        cases = {f"{i:02d}.eml": (f"Mail {i}", [(f"anhang{i}.bin", big if i % 3 == 0 else b"klein")])
                 for i in range(9)}
        store = self.store({file: eml(subject, attachments) for file, (subject, attachments) in cases.items()})
        out = self.dir / "o.zip"
        # A file may not grow beyond 300 kB: the large attachments cannot be saved.
        code, stdout, stderr = self.archive(store, out, preexec=limit_file_size(300 * 1024), extra=["--temp-on-disk"])
        self.assertEqual(code, 1, stdout + stderr)
        self.assertEqual(self.assert_every_attachment_or_named(code, stdout, out, cases), 3)
        self.assertIn("Anhang \u201eanhang0.bin\u201c", stdout)
        self.assertIn("The file size exceeds the limit allowed and cannot be saved.", stdout)
        # The same on a tmpfs that is nearly full, where root can mount one.
        self.env["TMPDIR"] = str(self.tmpfs("kleines-tmp", "300k"))
        code, stdout, stderr = self.archive(store, out.with_name("p.zip"), extra=["--temp-on-disk"])
        named = self.assert_every_attachment_or_named(code, stdout, out.with_name("p.zip"), cases)
        self.assertGreater(named, 0, stdout)
        self.assertIn("There is not enough space on the disk.", stdout)

    def test_an_unusable_tmpdir_is_refused_before_any_mail(self):
        store = self.store({"a.eml": eml("A", [("a.txt", b"a")])})
        (self.dir / "eine-datei").write_bytes(b"")
        cases = [
            (str(self.dir / "fehlt"), "No such file or directory"),
            (str(self.dir / "eine-datei"), "it is not a directory"),
            (os.fsdecode(bytes(self.dir) + b"/kaputt-\xff"), "its name is not UTF-8"),
            ("relativ", "it is not an absolute path"),
        ]
        os.mkdir(bytes(self.dir) + b"/kaputt-\xff")
        for tmpdir, why in cases:
            with self.subTest(tmpdir=tmpdir):
                self.env["TMPDIR"] = tmpdir
                out = self.dir / "o.zip"
                code, stdout, stderr = self.archive(store, out)
                self.assertEqual(code, 2, stdout + stderr)
                self.assertIn(f"TMPDIR={tmpdir} cannot be used: {why}", stderr)
                self.assertNotIn("Ordner hinzufügen", stdout)  # nothing was collected
                self.assertFalse(out.exists())

    def test_an_unreadable_mail_is_named(self):
        user = user_without_rights(self)
        store = self.store({"gut.eml": eml("Gut"), "gesperrt.eml": eml("Gesperrt")})
        (store / "Posteingang" / "gesperrt.eml").chmod(0)
        out = self.make_dir("ausgabe") / "o.zip"
        code, stdout, stderr = self.archive(store, out, user=user)
        self.assertEqual(code, 1, stdout + stderr)
        self.assertIn("nicht gelesen:       1\n    Posteingang/gesperrt.eml: Permission denied\n", stdout)
        self.assertEqual(list(archived_attachments(out)), ["Gut"])

    def test_odd_mime_keeps_its_content(self):
        picture = os.urandom(300)
        mails = {
            "ohne-grenze.eml": (b"From: a@b\r\nSubject: Ohne Grenze\r\nMIME-Version: 1.0\r\n"
                                b"Content-Type: multipart/mixed\r\n\r\nDer ganze Text.\r\n--x\r\nNoch mehr.\r\n"),
            "bildname.eml": (b"From: a@b\r\nSubject: Bildname\r\nMIME-Version: 1.0\r\n"
                             b'Content-Type: multipart/related; boundary="r"\r\n\r\n--r\r\n'
                             b"Content-Type: text/html\r\n\r\n<p>Bild:</p><img src=\"cid:p1\">\r\n--r\r\n"
                             b'Content-Type: image/png; name="a.b/c"\r\nContent-ID: <p1>\r\n'
                             b"Content-Transfer-Encoding: base64\r\n\r\n" + base64.encodebytes(picture).replace(b"\n", b"\r\n") +
                             b"--r--\r\n"),
        }
        out = self.dir / "o.zip"
        code, stdout, stderr = self.archive(self.store(mails), out)
        self.assertEqual(code, 0, stdout + stderr)
        with zipfile.ZipFile(out) as archive:
            members = {m["subject"]: m["member"] for m in json.loads(archive.read("manifest.json"))["mails"]}
            message = email.message_from_bytes(archive.read(members["Bildname"]), policy=email.policy.default)
            self.assertIn(picture, [p.get_payload(decode=True) for p in message.walk() if not p.is_multipart()])
        text = subprocess.run([CVMAIL, "inspect", str(out), "--body", members["Ohne Grenze"]], capture_output=True,
                              text=True, check=True).stdout
        self.assertIn("Der ganze Text.\n--x\nNoch mehr.", text)

    def test_settings_on_a_full_disk_keep_the_old_file(self):
        config = self.tmpfs("konfig", "64k")
        environment = dict(os.environ, XDG_CONFIG_HOME=str(config))
        run = lambda *args: subprocess.run([CVMAIL, "settings", *args], capture_output=True, text=True, env=environment)
        self.assertEqual(run("--exclude", "Postfach/Archiv").returncode, 0)
        settings = config / "cvmail" / "settings.json"
        before = settings.read_bytes()
        ballast = os.open(config / "ballast", os.O_WRONLY | os.O_CREAT)  # the disk fills up
        try:
            while os.write(ballast, b"\0" * 4096):
                pass
        except OSError:
            pass
        os.close(ballast)
        for args in (["--exclude", "Postfach/" + "Sehr langer Ordner " * 200], ["--clear"]):
            with self.subTest(args[0]):
                result = run(*args)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(f"Die Einstellungen wurden nicht gespeichert. Der Datenträger ist voll: „{settings}“ "
                              "konnte nicht geschrieben werden.", result.stderr)
                self.assertEqual(settings.read_bytes(), before)
                self.assertEqual(sorted(p.name for p in settings.parent.iterdir()), ["settings.json"])
        result = run()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("\\Postfach\\Archiv", result.stdout)

    def test_settings_whose_folder_cannot_be_made_say_so(self):
        # A file stands where the folder would go: no full disk, no write access.
        config = self.make_dir("konfig") / "datei"
        config.write_bytes(b"")
        result = subprocess.run([CVMAIL, "settings", "--clear"], capture_output=True, text=True,
                                env=dict(os.environ, XDG_CONFIG_HOME=str(config)))
        self.assertEqual(result.returncode, 2)
        self.assertIn(f"Die Einstellungen wurden nicht gespeichert. Kein Schreibzugriff auf den Ordner "
                      f"„{config}/cvmail“.", result.stderr)

    def test_a_full_target_disk_names_the_file_and_leaves_nothing(self):
        target = self.tmpfs("voll", "64k")
        store = self.store({f"{i}.eml": eml(f"M{i}", [("x.bin", os.urandom(30 * 1024))]) for i in range(6)})
        code, stdout, stderr = self.archive(store, target / "Archiv.zip")
        self.assertEqual(code, 2, stdout + stderr)
        # The user reads the target's name, never the temporary file's.
        self.assertIn(f"no container was written: the export ended early: Der Datenträger ist voll: "
                      f"„{target}/Archiv.zip“ konnte nicht geschrieben werden.", stderr)
        self.assertEqual(list(target.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
