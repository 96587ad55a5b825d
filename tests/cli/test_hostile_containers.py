"""Containers that cannot fool or crash `cvmail verify` and `inspect`: crafted
as an attacker would (a container is a file someone may send), each must be
refused cleanly: verify exits 6 naming the difference, inspect exits 2 (or
shows what is missing), never a signal, in bounded time and memory."""
import io
import json
import os
import pathlib
import resource
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile
import zlib

CVMAIL = os.environ["CVMAIL"]
SANITIZED = os.environ.get("CV_SANITIZE", "") in ("address", "thread")
MEMORY_BOUND = (4096 if SANITIZED else 600) << 20  # bytes of peak resident memory


def message(subject="S", sender="F", entry="E1", date=None):
    """A message as the writer makes one, headers only, for a manifest entry's defaults."""
    lines = [f'From: "{sender}": ;', f"Subject: {subject}"] + ([f"Date: {date}"] if date else [])
    lines += [f"X-Corvane-EntryID: {entry}", "MIME-Version: 1.0", 'Content-Type: text/plain; charset="utf-8"', "", ""]
    return "\r\n".join(lines).encode()


MSG = message()


def manifest(mails=None, **changes):
    """The manifest of one mail; a field given as "DROP" is left out."""
    body = {"format": "corvane-archive", "version": 2, "properties": [["Ersteller", "Test"]],
            "announced": 1, "received": 1,
            "mails": mails if mails is not None else [mail_entry("mails/a/000001.eml", MSG)]}
    body.update(changes)
    return {k: v for k, v in body.items() if v != "DROP"}


def mail_entry(name, data, **changes):
    import hashlib
    entry = {"member": name, "folder": "a", "entryId": "E1", "subject": "S", "from": "F", "to": "T", "cc": "",
             "bcc": "", "date": None, "size": 1, "state": 0, "importance": 0, "headersOnly": False,
             "sha256": hashlib.sha256(data).hexdigest(), "source": None}
    entry.update(changes)
    return {k: v for k, v in entry.items() if v != "DROP"}


def container(members, manifest_text):
    """A ZIP with the members [(name, bytes)] and then manifest.json."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            z.writestr(name, data)
        z.writestr("manifest.json", manifest_text)
    return out.getvalue()


def good():
    return container([("mails/a/000001.eml", MSG)], json.dumps(manifest()))


def one_mail(data=MSG, member="mails/a/000001.eml", properties=None, **changes):
    """A container of one mail whose manifest entry is changed as given."""
    changes_manifest = {"properties": properties} if properties is not None else {}
    return container([(member, data)], json.dumps(manifest([mail_entry(member, data, **changes)], **changes_manifest)))


def two_mails(first, second):
    """Two mails under the given member names."""
    entries = [mail_entry(first, MSG), mail_entry(second, MSG, member=second)]
    return container([(first, MSG), (second, MSG)], json.dumps(manifest(entries, received=2, announced=2)))


def flagged(bits):
    """The mail member with these general purpose bits, in both its headers."""
    data = bytearray(good())
    for signature, at in ((b"PK\x03\x04", 6), (b"PK\x01\x02", 8)):
        where = data.find(signature)
        data[where + at:where + at + 2] = struct.pack("<H", struct.unpack("<H", data[where + at:where + at + 2])[0] | bits)
    return bytes(data)


def unlisted(keep_signature):
    """A container holding a local entry before the mail that the central
    directory leaves out; without its signature the bytes are a bare gap."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("mails/a/000009.eml", message("versteckt"))
        z.writestr("mails/a/000001.eml", MSG)
        z.writestr("manifest.json", json.dumps(manifest()))
    data = bytearray(out.getvalue())
    end = data.rfind(b"PK\x05\x06")
    count, size, start = struct.unpack("<HII", data[end + 10:end + 20])[0], *struct.unpack("<II", data[end + 12:end + 20])
    first = struct.unpack("<HHH", data[start + 28:start + 34])
    record = 46 + sum(first)
    central = data[start + record:start + size]
    if not keep_signature:
        data[0] ^= 0xFF
    tail = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count - 1, count - 1, len(central), start, 0)
    return bytes(data[:start]) + bytes(central) + tail


def zip64_short_extra():
    """A 128-byte file whose directory entry says its sizes are in a ZIP64
    extra field that is only 4 bytes long."""
    name = b"m"
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, 0, 0, 0, len(name), 0) + name
    extra = struct.pack("<HH", 1, 4) + b"\0\0\0\0"
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF,
                          len(name), len(extra), 0, 0, 0, 0, 0) + name + extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local), 0)
    data = local + central + end
    return data + b"\0" * (128 - len(data))


def wrapping_directory():
    """A ZIP64 end record whose directory start plus size wraps past 2^64."""
    record = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, 2 ** 64 - 16, 32)
    locator = struct.pack("<IIQI", 0x07064B50, 0, 0, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return record + locator + end


def member_beyond_the_end():
    """The first member's directory entry points past the file's end."""
    data = bytearray(good())
    start = struct.unpack_from("<I", data, len(data) - 22 + 16)[0]  # the central directory
    struct.pack_into("<I", data, start + 42, len(data) + 100)
    return bytes(data)


def flipped_central_signature():
    """The second directory entry does not begin with its signature."""
    data = bytearray(good())
    start = struct.unpack_from("<I", data, len(data) - 22 + 16)[0]
    second = data.index(b"PK\x01\x02", start + 4)
    data[second + 3] = 0x03
    return bytes(data)


def hidden_before_the_directory():
    """A local entry the directory does not list, between the last member and the directory."""
    data = good()
    start = struct.unpack_from("<I", data, len(data) - 22 + 16)[0]
    hidden = data[:data.index(b"PK\x03\x04", 4)]  # the first member's local entry again
    end = bytearray(data[start:])
    struct.pack_into("<I", end, len(end) - 22 + 16, start + len(hidden))
    return data[:start] + hidden + bytes(end)


def wrong_crc():
    """The mail's CRC, in its local header and its directory entry alike, is not its data's."""
    data = bytearray(good())
    start = struct.unpack_from("<I", data, len(data) - 22 + 16)[0]
    crc = struct.unpack_from("<I", data, 14)[0] ^ 1
    struct.pack_into("<I", data, 14, crc)
    struct.pack_into("<I", data, start + 16, crc)
    return bytes(data)


def zip64_sizes():
    """A whole container whose mail has both its sizes in ZIP64 extra fields, as a
    writer that did not know them in advance may put them."""
    data = zlib.compressobj(6, zlib.DEFLATED, -15)
    compressed = data.compress(MSG) + data.flush()
    crc = zlib.crc32(MSG)
    name = b"mails/a/000001.eml"
    extra = struct.pack("<HHQQ", 1, 16, len(MSG), len(compressed))
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 8, 0, 0, crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name),
                        len(extra)) + name + extra + compressed
    text = json.dumps(manifest()).encode()
    mname = b"manifest.json"
    mlocal = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, zlib.crc32(text), len(text), len(text),
                         len(mname), 0) + mname + text
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 8, 0, 0, crc, 0xFFFFFFFF, 0xFFFFFFFF,
                          len(name), len(extra), 0, 0, 0, 0, 0) + name + extra
    central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, zlib.crc32(text), len(text),
                           len(text), len(mname), 0, 0, 0, 0, 0, len(local)) + mname
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(central), len(local) + len(mlocal), 0)
    return local + mlocal + central + end


def locator_first():
    """A ZIP64 locator at the file's very first byte, pointing at itself, not at a record."""
    locator = struct.pack("<IIQI", 0x07064B50, 0, 0, 1)
    comment = b"x" * 40  # long enough that a record could be read from the start
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, len(comment))
    return locator + end + comment


def bomb(honest):
    """A manifest of blanks that inflates a thousandfold; honest: its
    directory entry says it is 2 GiB, else it claims 100 bytes. Either is
    refused before it is inflated whole."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = b" " * (1 << 20)
    compressed = b"".join(compressor.compress(chunk) for _ in range(64)) + compressor.flush()
    size = 2048 << 20 if honest else 100
    crc = 0
    name = b"manifest.json"
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(compressed), size, len(name), 0) + name
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc, len(compressed), size,
                          len(name), 0, 0, 0, 0, 0, 0) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(compressed), 0)
    return local + compressed + central + end


def deep(levels, where="subject"):
    text = json.dumps(manifest([mail_entry("mails/a/000001.eml", b"x", subject="@")]))
    return container([("mails/a/000001.eml", b"x")], text.replace('"@"', "[" * levels + "]" * levels))


def second_manifest():
    data = good()
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        infos = z.infolist()
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        z.writestr("mails/a/000001.eml", b"x")
        z.writestr("manifest.json", json.dumps(manifest()))
        import warnings
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            z.writestr("manifest.json", json.dumps(manifest(mails=[])))
    return out.getvalue()


def flipped_local_name():
    data = bytearray(good())
    at = data.find(b"mails/a/000001.eml")  # the first occurrence: the local header
    data[at + 6] ^= 0x01
    return bytes(data)


def escaping_members(evil=(("../../evil.eml", b"x"), ("/tmp/evil.eml", b"y"))):
    text = json.dumps(manifest([mail_entry(name, data) for name, data in evil], received=len(evil), announced=len(evil)))
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data in evil:
            info = zipfile.ZipInfo("x")
            info.filename = name  # zipfile would clean the name otherwise
            z.writestr(info, data)
        z.writestr("manifest.json", text)
    return out.getvalue()


CASES = [  # name, bytes, a text verify must print
    ("zip64 extra too short", zip64_short_extra, "ZIP64 extra field is too short"),
    ("a property without value", lambda: container([("mails/a/000001.eml", b"x")],
                                                   json.dumps(manifest(properties=[["only-name"]]))),
     "property 1 is not a name and a value"),
    # A property that is no list still counts: the next one is named by its own place.
    ("a property that is no list", lambda: container([("mails/a/000001.eml", b"x")],
                                                     json.dumps(manifest(properties=[5, ["only-name"]]))),
     "property 2 lacks its name or value"),
    ("no mails", lambda: container([], json.dumps(manifest(mails="DROP", received=0))), "no \"mails\""),
    ("no properties", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(properties="DROP"))),
     "no \"properties\""),
    ("a mail without member, subject, headersOnly",
     lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(
         [mail_entry("mails/a/000001.eml", b"x", member="DROP", subject="DROP", headersOnly="DROP")]))),
     "mail 1 has no \"member\""),
    ("directory wraps past 2^64", wrapping_directory, "outside the file"),
    ("a ZIP64 locator at the first byte", locator_first, "ZIP64 end of central directory missing"),
    ("a member beyond the end", member_beyond_the_end, "mails/a/000001.eml: outside the file"),
    ("a directory entry without its signature", flipped_central_signature, "broken central directory"),
    ("a local entry hidden before the directory", hidden_before_the_directory,
     "that the central directory does not list"),
    ("a hash that is no hash", lambda: container([("mails/a/000001.eml", MSG)], json.dumps(manifest(
        [mail_entry("mails/a/000001.eml", MSG, sha256="XYZ")]))), "\"sha256\" is no SHA-256 in hexadecimal"),
    ("an honest manifest bomb", lambda: bomb(True), "larger than"),
    ("a lying manifest bomb", lambda: bomb(False), "inflates to more than"),
    ("nested 200,000 deep", lambda: deep(200_000), "nested deeper"),
    ("nested 1,000,000 deep", lambda: deep(1_000_000), "nested deeper"),
    ("a second manifest", second_manifest, "manifest.json 2 times"),
    ("a flipped byte in a local name", flipped_local_name, "the local header names"),
    ("members that escape", escaping_members, "is no member name below mails/"),
    ("a member that climbs out of mails/", lambda: escaping_members([("mails/../../evil.eml", b"x")]),
     "mails/../../evil.eml: no member name below mails/"),
    ("a member with an empty folder name", lambda: escaping_members([("mails//a.eml", b"x")]),
     "mails//a.eml: no member name below mails/"),
    ("a mail without subject", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(
        [mail_entry("mails/a/000001.eml", b"x", subject="DROP")]))), "mail 1 has no \"subject\""),
    ("a mail field of its own", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(
        [mail_entry("mails/a/000001.eml", b"x", script="x")]))), "mail 1: \"script\" is not a field of a mail"),
    ("garbage", lambda: os.urandom(4096), "not a ZIP file"),
    ("another format", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(format="zip-index"))),
     "the manifest is not of format corvane-archive"),
    ("version 4", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(version=4))),
     "the manifest's version is not 1, 2 or 3"),
    ("a format that is no text", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(format=7))),
     "\"format\" has the wrong type"),
    ("a version that is text", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(version="2"))),
     "\"version\" has the wrong type"),
    ("a field the manifest does not have", lambda: container([("mails/a/000001.eml", b"x")],
                                                             json.dumps(manifest(extra=1))),
     "\"extra\" is not a field of the manifest"),
    ("a field the manifest does not have, holding an object",
     lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(extra={"a": 1}))),
     "\"extra\" is not a field of the manifest"),
    ("no announced count", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(announced="DROP"))),
     "the manifest has no \"announced\""),
    ("no received count", lambda: container([("mails/a/000001.eml", b"x")], json.dumps(manifest(received="DROP"))),
     "the manifest has no \"received\""),
    ("a manifest that is a list", lambda: container([("mails/a/000001.eml", b"x")], "[]"),
     "the manifest is not an object"),
    ("a manifest that is a number", lambda: container([("mails/a/000001.eml", b"x")], "7"),
     "the manifest is not an object"),
    # What a mail lacked: a list of texts, never empty.
    ("missing as text", lambda: one_mail(missing="Anhang fehlt"), "mail 1: \"missing\" is no list of texts"),
    ("missing empty", lambda: one_mail(missing=[]), "mail 1: \"missing\" is no list of texts"),
    ("missing holding a number", lambda: one_mail(missing=["a", 1]), "mail 1: \"missing\" is no list of texts"),
    ("missing holding a list", lambda: one_mail(missing=[["a"]]), "mail 1: \"missing\" is no list of texts"),
    ("missing holding an object", lambda: one_mail(missing=[{"a": "b"}]), "mail 1: \"missing\" is no list of texts"),
    ("a list where a text belongs", lambda: one_mail(subject=["S"]), "mail 1: \"subject\" has the wrong type"),
    ("a whole manifest and then more", lambda: container([("mails/a/000001.eml", b"x")],
                                                         json.dumps(manifest()) + " {}"),
     "the manifest is no JSON"),
]

CONTENT_CASES = [  # what verify finds and inspect, which shows the manifest, does not look at
    ("a CRC that is not the data's", wrong_crc, "mails/a/000001.eml: CRC differs from the directory"),
    # What the manifest says against the messages, hashes left intact.
    ("the subject changed", lambda: one_mail(subject="Geändert"),
     'mails/a/000001.eml: the subject is "S", the manifest says "Geändert"'),
    ("the sender changed", lambda: one_mail(**{"from": "Jemand"}),
     'mails/a/000001.eml: the sender is "F", the manifest says "Jemand"'),
    ("two senders where the writer puts one group", lambda: one_mail(
        MSG.replace(b'From: "F": ;', b'From: "F": ;, "G": ;')),
     'mails/a/000001.eml: the sender is "", the manifest says "F"'),
    ("the date changed", lambda: one_mail(date="2025-12-09T12:00:00+01:00"),
     'mails/a/000001.eml: the date is missing, the manifest says "2025-12-09T12:00:00+01:00"'),
    ("a date an hour off", lambda: one_mail(message(date="Tue, 09 Dec 2025 13:00:00 +0100"),
                                            date="2025-12-09T12:00:00+01:00"), "the date is"),
    ("the folder changed", lambda: one_mail(folder="b"), 'mails/a/000001.eml: lies elsewhere than its folder "b" says'),
    ("the EntryID changed", lambda: one_mail(entryId="E2"), 'the EntryID is "E1", the manifest says "E2"'),
    ("the mail count changed", lambda: one_mail(properties=[["Anzahl der Mails", "2"]]),
     '"Anzahl der Mails" says 2, the container holds 1'),
    ("the total size changed", lambda: one_mail(size=5000, properties=[["Gesamtgröße der Mails", "1 kB"]]),
     '"Gesamtgröße der Mails" says 1 kB, its mails come to 5 kB'),
    # What other readers read otherwise.
    ("an encrypted member", lambda: flagged(0x0001), "mails/a/000001.eml: marked as encrypted"),
    ("a flag the writer never sets", lambda: flagged(0x0040), "ZIP flags 0x0040 the writer never sets"),
    ("a hidden local entry", lambda: unlisted(True), "a local entry at offset 0 that the central directory does not list"),
    ("bytes the directory does not list", lambda: unlisted(False), "at offset 0 that the central directory does not list"),
    ("names that differ in case only", lambda: two_mails("mails/a/000001.eml", "mails/A/000001.eml"),
     "mails/A/000001.eml: the same file as mails/a/000001.eml"),
    ("names that differ in normalisation only", lambda: two_mails("mails/\u00e4/000001.eml", "mails/a\u0308/000001.eml"),
     "the same file as mails/\u00e4/000001.eml"),
]


class HostileContainers(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="cvmail-hostile-"))

    def tearDown(self):
        shutil.rmtree(self.dir)

    def run_bounded(self, *args):
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        result = subprocess.run([CVMAIL, *map(str, args)], capture_output=True, timeout=120)
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        self.assertGreaterEqual(result.returncode, 0, f"killed by signal {-result.returncode}")
        self.assertNotIn(b"Sanitizer", result.stderr)
        if peak > before:  # the largest child so far is this one
            self.assertLess(peak * 1024, MEMORY_BOUND)
        return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")

    def test_the_good_container_passes(self):
        # version 1 had no "source" per mail
        path = self.dir / "eins.zip"
        path.write_bytes(container([("mails/a/000001.eml", MSG)], json.dumps(manifest(
            [mail_entry("mails/a/000001.eml", MSG, source="DROP")], version=1))))
        self.assertEqual(self.run_bounded("verify", path)[0], 0)
        path = self.dir / "zip64.zip"
        path.write_bytes(zip64_sizes())
        self.assertEqual(self.run_bounded("verify", path)[:2], (0, f"{path}: intakt, 1 E-Mails\n"))
        path = self.dir / "gut.zip"
        path.write_bytes(good())
        self.assertEqual(self.run_bounded("verify", path)[0], 0)
        # The directory's end is found however long the ZIP comment after it, up to the longest one.
        for length in (1, 65534, 65535):
            with self.subTest(comment=length):
                data = bytearray(good())
                data[-2:] = struct.pack("<H", length)
                path.write_bytes(bytes(data) + b"k" * length)
                self.assertEqual(self.run_bounded("verify", path)[:2], (0, f"{path}: intakt, 1 E-Mails\n"))
        code, out, _ = self.run_bounded("inspect", path)
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith(f"Container {path}\nEigenschaften\n  Ersteller: Test\n"), out)
        self.assertIn("\n    S | F |  | 1 Bytes\n", out)
        headers = self.dir / "kopf.zip"
        headers.write_bytes(one_mail(headersOnly=True))
        self.assertIn("\n    S | F |  | 1 Bytes | nur Kopfdaten\n", self.run_bounded("inspect", headers)[1])
        code, out, _ = self.run_bounded("inspect", path, "--json")
        self.assertEqual((code, json.loads(out)["format"]), (0, "corvane-archive"))

    def test_crafted_containers_are_refused_cleanly(self):
        for name, make, why in CASES:
            with self.subTest(name):
                path = self.dir / "c.zip"
                path.write_bytes(make())
                code, out, err = self.run_bounded("verify", path)
                self.assertEqual(code, 6, out + err)
                self.assertIn(why, out)
                for extra in ([], ["--json"]):
                    code, out, err = self.run_bounded("inspect", path, *extra)
                    self.assertEqual(code, 2, out + err)

    def test_a_manifest_that_says_otherwise_than_its_container_is_refused(self):
        for name, make, why in CONTENT_CASES:
            with self.subTest(name):
                path = self.dir / "c.zip"
                path.write_bytes(make())
                code, out, err = self.run_bounded("verify", path)
                self.assertEqual(code, 6, out + err)
                self.assertIn(why, out)

    def test_the_viewer_is_the_one_the_manifest_names_or_the_container_is_refused(self):
        import hashlib
        page = b"<!DOCTYPE html><title>Archiv ansehen</title>"
        viewer = {"member": "Archiv ansehen.html", "sha256": hashlib.sha256(page).hexdigest()}
        v3_mail = [mail_entry("mails/a/000001.eml", MSG, attachments=0)]

        def v3(members=(("Archiv ansehen.html", page),), mails=v3_mail, **changes):
            return container([("mails/a/000001.eml", MSG), *members], json.dumps(manifest(mails, version=3, **changes)))

        path = self.dir / "drei.zip"
        path.write_bytes(v3(viewer=viewer))
        self.assertEqual(self.run_bounded("verify", path)[:2], (0, f"{path}: intakt, 1 E-Mails\n"))
        cases = [
            ("a changed viewer", v3([("Archiv ansehen.html", page + b"<script>")], viewer=viewer),
             "Archiv ansehen.html: SHA-256 differs from the manifest"),
            ("no viewer in the manifest", v3(), "the manifest has no \"viewer\""),
            ("the viewer missing", v3([], viewer=viewer), "Archiv ansehen.html: listed in the manifest but missing"),
            ("another member as viewer", v3(viewer=dict(viewer, member="mails/a/000001.eml")),
             "the manifest names the viewer \"mails/a/000001.eml\""),
            ("a viewer without hash", v3(viewer={"member": "Archiv ansehen.html"}),
             "the viewer lacks its \"member\" or \"sha256\""),
            ("a hash that is no text", v3(viewer=dict(viewer, sha256=5)), "the viewer's \"sha256\" is no text"),
            ("a viewer that is a list", v3(viewer=[viewer]), "\"viewer\" is not an object"),
            ("a viewer field of its own", v3(viewer=dict(viewer, script="x")), "\"script\" is not a field of the viewer"),
            ("a mail without its attachments' count", v3(viewer=viewer, mails=[mail_entry("mails/a/000001.eml", MSG)]),
             "mail 1 has no \"attachments\""),
            ("a version 2 manifest with a viewer", container([("mails/a/000001.eml", MSG), ("Archiv ansehen.html", page)],
                                                             json.dumps(manifest(viewer=viewer))),
             "\"viewer\" is not a field of a version 2 manifest"),
            ("a viewer a version 2 manifest does not list",
             container([("mails/a/000001.eml", MSG), ("Archiv ansehen.html", page)], json.dumps(manifest())),
             "Archiv ansehen.html: not in the manifest"),
            ("attachments counted in version 2", container([("mails/a/000001.eml", MSG)], json.dumps(manifest(
                [mail_entry("mails/a/000001.eml", MSG, attachments=1)]))),
             "mail 1: \"attachments\" is not a field of a mail"),
        ]
        for name, data, why in cases:
            with self.subTest(name):
                path = self.dir / "c.zip"
                path.write_bytes(data)
                code, out, err = self.run_bounded("verify", path)
                self.assertEqual(code, 6, out + err)
                self.assertIn(why, out)

        # Without a version, a mail may carry the fields of any version.
        path.write_bytes(container([("mails/a/000001.eml", MSG)], json.dumps(manifest(v3_mail, version="DROP"))))
        code, out, _ = self.run_bounded("verify", path)
        self.assertEqual(code, 6)
        self.assertIn("the manifest has no \"version\"", out)
        self.assertNotIn("is not a field of a mail", out)

    def test_control_characters_from_a_container_are_never_printed_raw(self):
        evil = "mails/a/\x1b[2K\r000001.eml"
        path = self.dir / "c.zip"
        path.write_bytes(one_mail(member=evil, subject="S\u202e\x07", properties=[["Ersteller\x1b]0;x\x07", "\u0085"]]))
        code, out, _ = self.run_bounded("verify", path)
        self.assertEqual(code, 6, out)
        self.assertIn("Abweichung: mails/a/\\x1b[2K\\r000001.eml: no member name below mails/", out)
        for command in (["verify"], ["inspect"], ["inspect", "--json"]):
            with self.subTest(command):
                _, out, _ = self.run_bounded(*command, path)
                for raw in ("\x1b", "\r", "\x07", "\u202e", "\u0085"):
                    self.assertNotIn(raw, out)
        _, out, _ = self.run_bounded("inspect", path)
        self.assertIn("  Ersteller\\x1b]0;x\\x07: \\u0085\n", out)
        self.assertIn("    S\\u202e\\x07 | F |", out)

    def test_a_body_that_inflates_beyond_measure_is_shown_cut_in_bounded_memory(self):
        # 1.4 GB of paragraphs in a few megabytes; its directory entry tells the truth.
        head = message().replace(b'text/plain; charset="utf-8"', b"text/html")
        line, count = b"<p>Zeile</p>\n", (1400 << 20) // 13
        compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
        compressed = [compressor.compress(head)]
        crc, block = zlib.crc32(head), line * 65536
        for _ in range(count // 65536):
            compressed.append(compressor.compress(block))
            crc = zlib.crc32(block, crc)
        compressed.append(compressor.flush())
        data, size = b"".join(compressed), len(head) + (count // 65536) * len(block)
        name = b"mails/a/000001.eml"
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(data), size, len(name), 0) + name
        central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc, len(data), size,
                              len(name), 0, 0, 0, 0, 0, 0) + name
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(data), 0)
        path = self.dir / "gross.zip"
        path.write_bytes(local + data + central + end)
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        result = subprocess.run([CVMAIL, "inspect", path, "--body", name.decode()], capture_output=True, timeout=300)
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        self.assertEqual(result.returncode, 0, result.stderr)
        if not SANITIZED and peak > before:
            self.assertLess(peak * 1024, 100 << 20)
        self.assertTrue(result.stdout.startswith(b"Zeile\nZeile\n"))
        self.assertTrue(result.stdout.endswith("(Gekürzt: die Nachricht ist größer als 64 MB; gezeigt ist der Text "
                                               "ihrer ersten 64 MB.)\n".encode()))
        self.assertGreater(result.stdout.count(b"Zeile\n"), 5_000_000)

    def test_what_a_mail_lacked_is_accepted_and_shown(self):
        path = self.dir / "c.zip"
        path.write_bytes(one_mail(missing=["Anhang „bericht.pdf“ fehlt", "3 von 40 Wörtern des Textes fehlen\x1b[2K"]))
        code, out, err = self.run_bounded("verify", path)
        self.assertEqual(code, 0, out + err)
        code, out, _ = self.run_bounded("inspect", path)
        self.assertEqual(code, 0, out)
        self.assertIn("    Unvollständig:\n      Anhang „bericht.pdf“ fehlt\n"
                      "      3 von 40 Wörtern des Textes fehlen\\x1b[2K\n", out)
        path.write_bytes(one_mail())
        self.assertNotIn("Unvollständig", self.run_bounded("inspect", path)[1])

    def test_a_header_block_longer_than_one_read_is_read_whole(self):
        # 400 relays' lines before the writer's fields: the block ends after more than 16 KB.
        relays = "".join(f"Received: from relay{i}.example by mx.example; Mon, 7 Dec 2026 10:00:00 +0100\r\n"
                         for i in range(400))
        path = self.dir / "c.zip"
        path.write_bytes(one_mail(relays.encode() + MSG))
        code, out, err = self.run_bounded("verify", path)
        self.assertEqual(code, 0, out + err)

    def test_missing_fields_are_shown_as_missing(self):
        path = self.dir / "c.zip"
        path.write_bytes(container([("mails/a/000001.eml", b"x")], json.dumps(manifest(
            [mail_entry("mails/a/000001.eml", b"x", subject="DROP")], properties=[["only-name"]]))))
        code, out, _ = self.run_bounded("inspect", path)
        self.assertEqual(code, 2)
        self.assertIn("  only-name: (fehlt)\n", out)
        self.assertIn("    (fehlt) | F |", out)

    def test_what_is_no_regular_file_is_refused(self):
        fifo = self.dir / "fifo.zip"
        os.mkfifo(fifo)
        for command in ("verify", "inspect"):
            with self.subTest(command):
                code, _, err = self.run_bounded(command, fifo)
                self.assertEqual(code, 2, err)
                self.assertIn("not a regular file", err)


if __name__ == "__main__":
    unittest.main()
