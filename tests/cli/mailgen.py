"""A generator of the mail shapes real stores hold, and an oracle that
compares every source mail with its archived copy using Python's email,
mailbox and html.parser modules only (never the GMime the loader uses).

A mail is drawn as a tree of parts (Hypothesis strategies), rendered to
bytes by hand so that line endings, charsets, byte-order marks and broken
structure are exactly as drawn, and written into a store of .eml files, a
Maildir folder and an mbox file. The oracle decodes text the way a reader's
mail program does: a byte-order mark first, then the MIME charset (UTF-16
without a mark is big-endian, RFC 2781), then the HTML's own <meta>
charset; an unknown charset is read as windows-1252."""
import base64
import binascii
import collections
import dataclasses
import email
import email.policy
import email.utils
import html.parser
import json
import mailbox
import quopri
import re
import zipfile

from hypothesis import strategies as st

# ---- the parts of a mail


@dataclasses.dataclass
class Text:
    subtype: str                 # "plain" or "html"
    paragraphs: list             # lists of words
    charset: str                 # see CHARSETS
    encoding: str                # 7bit, 8bit, quoted-printable, base64
    disposition: str = None      # None, "inline" or "attachment"
    filename: str = None
    unclosed: bool = False       # html: <p> without </p>
    paragraph_class: bool = False  # html: <p class="MsoNormal">, as Word writes them
    comments: bool = False       # html: a comment and a conditional comment
    footer: str = None           # html: words after "body" or "html"
    header_like: str = None      # html: a first paragraph of 120+ characters beginning with this label
    pictures: list = dataclasses.field(default_factory=list)  # html: <img> sources ("cid:x", "data:", "remote", "")
    nul: bool = False            # a NUL byte inside the text


@dataclasses.dataclass
class Binary:
    content_type: str
    data: bytes
    disposition: str = None
    filename: str = None
    content_id: str = None


@dataclasses.dataclass
class Multipart:
    subtype: str                 # mixed, alternative, related, signed
    parts: list
    boundary: bool = True        # False: no boundary parameter at all


@dataclasses.dataclass
class Attached:
    mail: "Mail"                 # message/rfc822
    prefixed: bool = False       # its boundaries begin with the enclosing one ("m" outside, "mix" inside)


@dataclasses.dataclass
class Mail:
    token: str                   # unique, in the subject: finds the archived copy
    body: object
    line_ending: str = "crlf"    # crlf, lf, mixed (structure CRLF, a part's last line LF)
    calendar: bool = False       # a text/calendar; method=REQUEST part beside the body
    date: str = "Mon, 01 Dec 2025 09:00:00 +0100"

    @property
    def subject(self):
        return f"Betreff {self.token}"


# Characters each charset can carry; words are drawn from them.
LATIN = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
WESTERN = LATIN + "äöüÄÖÜßéèàç"
WIDE = WESTERN + "ŁłóźćąęĞğ東京日本語€"
CHARSETS = {  # name in the mail -> (codec for writing, alphabet)
    "utf-8": ("utf-8", WIDE),
    "iso-8859-1": ("latin-1", WESTERN),
    "windows-1252": ("cp1252", WESTERN),
    "utf-16": ("utf-16", WIDE),            # a byte-order mark, no charset parameter
    "utf-16-nobom": ("utf-16-be", WIDE),   # declared "utf-16", big-endian, no mark
    "none": ("ascii", LATIN),              # no charset parameter at all
    "x-unknown": ("cp1252", WESTERN),      # a charset nobody knows
    "meta-only": ("cp1252", WESTERN),      # html: only the <meta> names it (windows-1252)
}
PICTURE = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==")


def _vocabulary(alphabet, count=400, seed=7):
    """Words of the alphabet, drawn once: drawing a word is then one choice."""
    import random
    chooser = random.Random(seed)
    return ["W" + "".join(chooser.choice(alphabet) for _ in range(chooser.randint(2, 9))) for _ in range(count)]


VOCABULARIES = {alphabet: _vocabulary(alphabet) for alphabet in {a for _, a in CHARSETS.values()}}
def _long_names():
    import random
    chooser = random.Random(11)
    return ["".join(chooser.choice(WESTERN + "  ") for _ in range(length)) for length in (150, 180, 200, 220)]


LONG_NAMES = _long_names()


def words(alphabet):
    return st.sampled_from(VOCABULARIES[alphabet])


def rarely(draw, one_in):
    """True once in one_in draws; shrinks to False."""
    return draw(st.integers(0, one_in - 1)) == one_in - 1


# The charsets most mail uses come often, the odd ones now and then.
COMMON_CHARSETS = ["utf-8", "utf-8", "iso-8859-1", "windows-1252", "none"]
ODD_CHARSETS = ["utf-16", "utf-16-nobom", "x-unknown", "meta-only"]


@st.composite
def text_parts(draw, subtype=None, attachment_ok=True, cids=(), attachment=False):
    subtype = subtype or draw(st.sampled_from(["plain", "html"]))
    odd = [c for c in ODD_CHARSETS if subtype == "html" or c != "meta-only"]
    charset = draw(st.sampled_from(odd if rarely(draw, 12) else COMMON_CHARSETS))
    alphabet = CHARSETS[charset][1]
    paragraphs = draw(st.lists(st.lists(words(alphabet), min_size=1, max_size=12), min_size=0, max_size=5))
    if charset.startswith("utf-16"):
        encoding = "base64"
    elif charset == "none":
        encoding = draw(st.sampled_from(["7bit", "quoted-printable", "base64"]))
    else:
        encoding = draw(st.sampled_from(["8bit", "quoted-printable", "base64"]))
    part = Text(subtype, paragraphs, charset, encoding)
    if attachment or (attachment_ok and rarely(draw, 6)):
        part.disposition = "attachment"
        part.filename = draw(filenames()) + (".html" if subtype == "html" else ".txt")
    elif draw(st.booleans()):
        part.disposition = "inline"
    part.nul = rarely(draw, 40)
    if subtype == "html":
        part.unclosed = rarely(draw, 15)
        part.paragraph_class = draw(st.booleans())
        part.comments = draw(st.booleans())
        part.footer = draw(st.sampled_from(["body", "html"])) if rarely(draw, 15) else None
        part.header_like = draw(st.sampled_from(["Von:", "Anlagen:", "Cc:"])) if rarely(draw, 15) else None
        choices = [f"cid:{c}" for c in cids] + ["remote", ""] + (["data:"] if rarely(draw, 10) else [])
        part.pictures = draw(st.lists(st.sampled_from(choices), max_size=4))
    return part


def filenames():
    return st.sampled_from(["Bericht", "Anhang", "Anhang", "a", "Bericht Łódź 東京", "CON", "aux", "NUL", "Com1",
                            "Anhang (1)", " Leer am Anfang", "Punkt am Ende."] + LONG_NAMES)


def with_extension(extension):
    def add(name):
        return name + extension
    return add


@st.composite
def binaries(draw, content_id=None):
    kind = draw(st.sampled_from(["image/png", "application/pdf", "application/octet-stream"]))
    data = PICTURE if kind == "image/png" and draw(st.booleans()) else draw(st.binary(min_size=0, max_size=300))
    extension = {"image/png": ".png", "application/pdf": ".pdf", "application/octet-stream": ".bin"}[kind]
    name = draw(st.one_of(st.none(), filenames().map(with_extension(extension))))
    disposition = draw(st.sampled_from([None, "inline", "attachment"]))
    return Binary(kind, data, disposition, name, content_id)


@st.composite
def content_ids(draw):
    """Content-IDs of one mail: unique, prefixes of each other, or duplicates."""
    kind = draw(st.sampled_from(["prefixes", "duplicates"])) if rarely(draw, 10) else "plain"
    count = draw(st.integers(0, 3)) if kind == "plain" else draw(st.integers(2, 11))
    if kind == "prefixes":
        return [f"image{i}" for i in range(1, count + 1)]
    if kind == "duplicates":
        return ["bild@mail"] * 2 + [f"x{i}@mail" for i in range(count - 2)]
    return [f"p{i}.{draw(st.integers(0, 999))}@mail" for i in range(count)]


@st.composite
def bodies(draw, depth=0):
    """The body of a mail: a text, or a multipart of the shapes mail programs write."""
    cids = draw(content_ids())
    shape = draw(st.sampled_from(["text", "alternative", "related", "mixed", "no-boundary",
                                  "nested" if depth < 2 else "mixed"]))
    if rarely(draw, 12):
        shape = draw(st.sampled_from(["mixed-texts", "signed"]))
    if shape == "text":
        return draw(text_parts(attachment_ok=False))
    if shape == "no-boundary":
        return Multipart("mixed", [draw(text_parts("plain", attachment_ok=False))], boundary=False)
    if shape == "alternative":
        return Multipart("alternative", [draw(text_parts("plain", False)), draw(text_parts("html", False, cids))])
    related = Multipart("related", [draw(text_parts("html", False, cids))] +
                        [draw(binaries(content_id=c)) for c in cids])
    if shape == "related":
        return related
    main = draw(st.sampled_from([related, Multipart("alternative", [draw(text_parts("plain", False)), related]),
                                 draw(text_parts(attachment_ok=False))]))
    extras = draw(st.lists(st.one_of(binaries(), text_parts(attachment=True)), max_size=3))
    if shape == "mixed-texts":  # a second text beside the first, not an alternative
        extras.insert(0, draw(text_parts(attachment_ok=False)))
    if shape == "nested":
        extras.append(Attached(draw(mails(depth + 1, token=f"innen{depth + 1}")), draw(st.booleans())))
    if rarely(draw, 7):
        extras.append(Text("plain", [], "utf-8", "8bit", "inline"))  # an empty part
    mixed = Multipart("mixed", [main] + extras)
    if shape == "signed":
        signature = Binary("application/pkcs7-signature", draw(st.binary(min_size=8, max_size=64)), "attachment",
                           "smime.p7s")
        return Multipart("signed", [mixed, signature])
    return mixed


# Dates at the edges of what date readers and C libraries take: GMime reads no
# year before 1969, Windows' C library places no time before 1970 nor, in the
# 32-bit build, after 2038; the leap day after 2038; years of 400-year cycles.
EDGE_DATES = ["Wed, 01 Jan 1000 06:00:00 +0000", "Mon, 01 Jan 1900 12:00:00 +0100", "Thu, 15 Jun 1950 08:30:00 +0100",
              "Wed, 31 Dec 1969 23:30:00 -0500", "Thu, 01 Jan 1970 00:00:00 +0000",
              "Tue, 19 Jan 2038 04:14:08 +0100", "Wed, 29 Feb 2040 10:00:00 +0100",
              "Thu, 31 Dec 2099 23:59:59 +0100"]


@st.composite
def mails(draw, depth=0, token=None):
    body = draw(bodies(depth))
    mail = Mail(token or "", body)
    if depth == 0:
        mail.line_ending = "mixed" if rarely(draw, 15) else draw(st.sampled_from(["crlf", "lf"]))
        mail.calendar = rarely(draw, 25)
        if rarely(draw, 10):
            mail.date = draw(st.sampled_from(EDGE_DATES))
    return mail


# ---- rendering


def html_document(part, paragraphs_html):
    charset_meta = '<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">' \
        if part.charset == "meta-only" else ""
    comments = "<!-- ein Kommentar --><!--[if mso]><p>nur Outlook</p><![endif]-->" if part.comments else ""
    body = comments + "".join(paragraphs_html)
    for source in part.pictures:
        src = {"data:": "data:image/png;base64," + base64.b64encode(PICTURE).decode(),
               "remote": "http://bilder.example.invalid/logo.png"}.get(source, source)
        body += f'<img src="{src}" alt="">'
    footer = f"<p>{' '.join(['Fusszeile'] * 3)}</p>" if part.footer else ""
    document = f"<html><head>{charset_meta}<title>t</title></head><body>{body}"
    if part.footer == "body":
        return document + "</body>" + footer + "</html>"
    if part.footer == "html":
        return document + "</body></html>" + footer
    return document + "</body></html>"


def text_content(part):
    """The part's text as the writer of the mail made it."""
    if part.subtype == "plain":
        lines = [" ".join(p) for p in part.paragraphs]
        text = "\n\n".join(lines)
    else:
        rendered = []
        for i, paragraph in enumerate(part.paragraphs):
            words_ = " ".join(paragraph)
            if i == 0 and part.header_like:
                words_ = part.header_like + " " + words_ + " " + " ".join(["Absatz"] * 20)
            tag = '<p class="MsoNormal">' if part.paragraph_class or part.unclosed or (i == 0 and part.header_like) else "<p>"
            rendered.append(f"{tag}{words_}" + ("" if part.unclosed else "</p>"))
        text = html_document(part, rendered)
    if part.nul:  # in the text a reader sees, never inside markup
        at = text.find("</body>") if part.subtype == "html" else len(text) // 2
        at = at if at >= 0 else len(text)
        text = text[:at] + "Null\0Zeichen" + text[at:]
    return text


def encode_text(part):
    codec = CHARSETS[part.charset][0]
    data = text_content(part).encode(codec)
    return data


def transfer(data, encoding):
    if encoding == "base64":
        return base64.encodebytes(data)
    if encoding == "quoted-printable":
        return quopri.encodestring(data)
    return data


class Renderer:
    def __init__(self, ending, prefix="Grenze"):
        self.ending = ending
        self.prefix = prefix  # boundaries of a message attached inside another differ from the outer ones
        self.boundaries = 0
        self.enclosing = ""  # the boundary of the multipart being written

    def nl(self):
        return "\n" if self.ending == "lf" else "\r\n"

    def content(self, data):
        """Content lines, each ending as the mail's style says, the last one
        too; in the "mixed" style that last one, right before the next
        boundary, ends in a bare LF while every other line ends in CRLF."""
        data = data.replace(b"\r\n", b"\n")
        if not data.endswith(b"\n"):
            data += b"\n"
        if self.ending == "lf":
            return data
        out = data.replace(b"\n", b"\r\n")
        if self.ending == "mixed":
            out = out[:-2] + b"\n"
        return out

    def headers(self, fields):
        return "".join(f"{k}: {v}{self.nl()}" for k, v in fields).encode()

    def part(self, node):
        nl = self.nl().encode()
        if isinstance(node, Text):
            charset = {"none": None, "meta-only": None, "utf-16": None, "utf-16-nobom": "utf-16"}.get(node.charset,
                                                                                                  node.charset)
            content_type = f"text/{node.subtype}" + (f'; charset="{charset}"' if charset else "")
            fields = [("Content-Type", content_type), ("Content-Transfer-Encoding", node.encoding)]
            if node.disposition:
                fields.append(("Content-Disposition", node.disposition +
                               (f"; filename*={email.utils.encode_rfc2231(node.filename, 'utf-8')}"
                                if node.filename else "")))
            data = transfer(encode_text(node), node.encoding)
            if node.encoding in ("8bit", "7bit") and node.charset.startswith("utf-16"):
                raise ValueError("utf-16 is sent base64")
            return self.headers(fields) + nl + self.content(data)
        if isinstance(node, Binary):
            fields = [("Content-Type", node.content_type), ("Content-Transfer-Encoding", "base64")]
            if node.content_id:
                fields.append(("Content-ID", f"<{node.content_id}>"))
            if node.disposition or node.filename:
                fields.append(("Content-Disposition", (node.disposition or "attachment") +
                               (f"; filename*={email.utils.encode_rfc2231(node.filename, 'utf-8')}"
                                if node.filename else "")))
            return self.headers(fields) + nl + self.content(base64.encodebytes(node.data))
        if isinstance(node, Attached):
            prefix = (self.enclosing[2:] if node.prefixed and self.enclosing else self.prefix) + "_innen"
            inner = Renderer(self.ending, prefix).message(node.mail)
            return self.headers([("Content-Type", "message/rfc822"),
                                 ("Content-Disposition", "attachment")]) + nl + inner
        self.boundaries += 1
        boundary = f"=_{self.prefix}_{self.boundaries}_x"
        if not node.boundary:
            inner = node.parts[0]
            return self.headers([("Content-Type", f"multipart/{node.subtype}")]) + nl + \
                self.content(text_content(inner).encode("ascii", "replace"))
        parameters = f'; boundary="{boundary}"'
        if node.subtype == "signed":
            parameters += '; protocol="application/pkcs7-signature"; micalg=sha-256'
        if node.subtype == "related":
            parameters += '; type="text/html"'
        out = self.headers([("Content-Type", f"multipart/{node.subtype}{parameters}")]) + nl
        enclosing, self.enclosing = self.enclosing, boundary
        for child in node.parts:
            out += f"--{boundary}".encode() + nl + self.part(child)
        self.enclosing = enclosing
        return out + f"--{boundary}--".encode() + nl

    def message(self, mail):
        fields = [("From", "Anna Schulz <anna@example.org>"), ("To", "Bob <bob@example.org>"),
                  ("Subject", mail.subject), ("Date", mail.date),
                  ("Message-ID", f"<{mail.token or 'innen'}@example.org>"), ("MIME-Version", "1.0")]
        body = mail.body
        if mail.calendar:
            invitation = Binary('text/calendar; method=REQUEST; charset="utf-8"',
                                b"BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nSUMMARY:Treffen\r\n"
                                b"END:VEVENT\r\nEND:VCALENDAR\r\n", None, None, None)
            body = Multipart("mixed", [body, invitation])
        return self.headers(fields) + self.part(body)


def render(mail):
    return Renderer(mail.line_ending).message(mail)


# ---- what a store holds


@dataclasses.dataclass
class Placed:
    mail: Mail
    data: bytes
    name: str        # as cvmail names it in its summary
    where: str       # one of PLACES

    def shapes(self):
        return shapes(self.mail) | {PLACE_SHAPES.get(self.where, "eml")}


# Where a mail goes: an .eml file, one named *.EML, a Maildir file, an mbox
# message after a blank line, an mbox message right after the last line of
# the one before it, a mail in a plain subfolder of a Maildir that is a
# Maildir itself (the "fs" layout), an .eml file in a plain subfolder of a
# Maildir, one lying loose in a Maildir, one in a hidden folder, one in a
# folder a recursive add excludes. The last two must be named.
PLACES = "eeeeeeeeeeeeddddmmmEnfplhx"
PLACE_SHAPES = {"E": "eml-upper-case", "d": "maildir", "m": "mbox", "n": "mbox-without-blank-line",
                "f": "maildir-fs-subfolder", "p": "maildir-plain-subfolder", "l": "maildir-loose-eml",
                "h": "hidden-folder", "x": "excluded-folder"}


def write_store(root, drawn, layout):
    """Writes the mails into a store below root, each where layout (one of
    PLACES per mail) says. Returns [Placed]."""
    placed = []
    inbox = root / "Posteingang"
    maildir = root / "Sammlung"
    inbox.mkdir(parents=True)
    mbox_mails = []
    for i, (mail, where) in enumerate(zip(drawn, layout)):
        data = render(mail)
        if where in "mn":
            mbox_mails.append((mail, data, where))
            continue
        if where in "dfpl":
            for sub in ("cur", "new", "tmp"):
                (maildir / sub).mkdir(parents=True, exist_ok=True)
        if where in "df":
            folder = maildir if where == "d" else maildir / "Projekte"
            for sub in ("cur", "new", "tmp"):
                (folder / sub).mkdir(parents=True, exist_ok=True)
            name = f"{1700000000 + i}.M{i}P1.host:2,S"
            (folder / "cur" / name).write_bytes(data)
            placed.append(Placed(mail, data, f"{folder.relative_to(root)}/cur/{name}", where))
            continue
        folder = {"p": maildir / "Ablage", "l": maildir, "h": root / ".Versteckt", "x": root / "Papierkorb"}.get(where, inbox)
        folder.mkdir(parents=True, exist_ok=True)
        name = f"{i:03d}.{'EML' if where == 'E' else 'eml'}"
        (folder / name).write_bytes(data)
        # a mail left out by rule is named by its folder
        named = f"„{folder.name}“" if where in "hx" else f"{folder.relative_to(root)}/{name}"
        placed.append(Placed(mail, data, named, where))
    if mbox_mails:
        out = b""
        for n, (mail, data, where) in enumerate(mbox_mails, 1):
            escaped = re.sub(rb"(?m)^(>*From )", rb">\1", data.replace(b"\r\n", b"\n"))
            if not escaped.endswith(b"\n"):
                escaped += b"\n"
            blank = b"\n" if n > 1 and where == "m" else b""
            out += blank + b"From anna@example.org Mon Dec  1 09:00:00 2025\n" + escaped
            placed.append(Placed(mail, escaped, f"Archiv.mbox#{n}", where))
        (root / "Archiv.mbox").write_bytes(out)
        box = mailbox.mbox(str(root / "Archiv.mbox"), create=False)
        assert len(box) == len(mbox_mails), "the generator's own mbox"
        box.close()
    return placed


# ---- the oracle


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


def visible_words(text, is_html):
    if is_html:
        parser = VisibleText()
        parser.feed(text)
        parser.close()
        text = " ".join(parser.parts)
    return collections.Counter(re.findall(r"\w+", text))


META = re.compile(rb"<meta[^>]*charset\s*=\s*[\"']?([A-Za-z0-9_-]+)", re.I)


def decode_text(data, charset, is_html):
    """As a reader's mail program reads it."""
    for mark, codec in ((b"\xef\xbb\xbf", "utf-8"), (b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be")):
        if data.startswith(mark):
            return data[len(mark):].decode(codec, "replace")
    if charset:
        charset = charset.lower()
        if charset == "utf-16":
            return data.decode("utf-16-be", "replace")
        try:
            return data.decode(charset, "replace")
        except LookupError:
            return data.decode("cp1252", "replace")
    if is_html:
        found = META.search(data)
        if found:
            try:
                return data.decode(found.group(1).decode(), "replace")
            except LookupError:
                return data.decode("cp1252", "replace")
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp1252", "replace")


def leaf_text(part):
    data = part.get_payload(decode=True) or b""
    return decode_text(data, part.get_param("charset"), part.get_content_subtype() == "html")


@dataclasses.dataclass
class Expected:
    words: collections.Counter
    files: collections.Counter           # bytes of every attachment and picture
    data_pictures: list                  # data: sources of the body's pictures
    nested: list                         # Expected of attached messages, with their subjects
    date: object = None                  # the moment of the Date header, when there is one


def expected_of(message, subject=None):
    words = collections.Counter()
    files = collections.Counter()
    data_pictures = []
    nested = []

    def walk(part):
        content_type = part.get_content_type()
        if content_type == "message/rfc822":
            inner = part.get_payload()[0]
            nested.append((str(inner["Subject"]), expected_of(inner)))
            return
        if part.is_multipart():
            children = part.get_payload()
            if content_type == "multipart/alternative":
                # The richest is the last a reader can show (an invitation's
                # calendar part is none); the others say the same.
                def can_show(c):
                    return c.get_content_type() in ("text/plain", "text/html") or c.get_content_maintype() == "multipart"
                shown = [c for c in children if can_show(c)]
                richest = (shown or children)[-1]
                for child in children:
                    if child is richest or not can_show(child):
                        walk(child)
                return
            for child in children:
                walk(child)
            return
        if part.get_content_maintype() == "multipart":
            # A multipart without a boundary: its raw content is its text.
            words.update(visible_words(part.get_payload(decode=False) or "", False))
            return
        disposition = part.get_content_disposition()
        if part.get_content_maintype() == "text" and disposition != "attachment" and content_type != "text/calendar":
            text = leaf_text(part)
            is_html = part.get_content_subtype() == "html"
            words.update(visible_words(text, is_html))
            if is_html:
                data_pictures.extend(re.findall(r'src="(data:[^"]*)"', text))
            return
        files[part.get_payload(decode=True) or b""] += 1

    if message.get_content_maintype() == "multipart" and not message.is_multipart():
        # A multipart without a boundary: its raw content is its text.
        words.update(visible_words(message.get_payload(decode=False) or "", False))
    else:
        walk(message)
    return Expected(words, files, data_pictures, nested, moment_of(message))


def archived_of(message):
    """What arrived: the body's words and pictures' sources, every file."""
    words = collections.Counter()
    files = collections.Counter()
    html_text = ""
    nested = []
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_content_type() == "text/html" and part.get_content_disposition() != "attachment" and not html_text:
            html_text = leaf_text(part)
            words.update(visible_words(html_text, True))
            continue
        data = part.get_payload(decode=True) or b""
        files[data] += 1
        if part.get_content_type() == "message/rfc822" or (part.get_filename() or "").lower().endswith(".eml"):
            try:
                inner = email.message_from_bytes(data, policy=email.policy.compat32)
                nested.append((str(inner["Subject"]), inner))
            except Exception:
                pass
    return words, files, html_text, nested


def moment_of(message):
    try:
        return email.utils.parsedate_to_datetime(str(message["Date"])) if message["Date"] else None
    except (TypeError, ValueError):
        return None


def missing(expected, message):
    """What of the source is not in the archived message: a list of texts."""
    words, files, html_text, nested = archived_of(message)
    problems = []
    if expected.date and moment_of(message) != expected.date:
        problems.append(f"the date {expected.date.isoformat()} arrived as {message['Date']!r}")
    lost_words = expected.words - words
    if lost_words:
        problems.append(f"words lost: {sorted(lost_words)[:8]}")
    lost_files = expected.files - files
    if lost_files:
        problems.append(f"{sum(lost_files.values())} attachment(s) lost, sizes {[len(b) for b in lost_files][:6]}")
    for source in expected.data_pictures:
        if source not in html_text:
            problems.append("a data: picture lost")
            break
    for subject, inner in expected.nested:
        found = [m for s, m in nested if s == subject]
        if not found:
            problems.append(f"the attached message {subject!r} lost")
            continue
        # The attached message read as the source was: the same words and
        # files. The loader writes an attached message anew, so the line
        # breaks of its text parts may change; their characters never.
        arrived = expected_of(found[0])
        if inner.words - arrived.words:
            problems.append(f"words of the attached message {subject!r} lost: {sorted(inner.words - arrived.words)[:8]}")

        def lines(files):
            out = collections.Counter()
            for data, n in files.items():
                out[data.replace(b"\r\n", b"\n")] += n
            return out

        if lines(inner.files) - lines(arrived.files):
            problems.append(f"attachments of the attached message {subject!r} lost")
    return problems


def parse(data):
    return email.message_from_bytes(data, policy=email.policy.compat32)


def read_container(path):
    """token -> archived message (the first one with that token)."""
    found = {}
    with zipfile.ZipFile(path) as archive:
        for entry in json.loads(archive.read("manifest.json"))["mails"]:
            token = re.search(r"Betreff (\S+)", entry["subject"])
            if token and token.group(1) not in found and not entry["headersOnly"]:
                found[token.group(1)] = parse(archive.read(entry["member"]))
    return found


# ---- shapes, for the list of known losses


def shapes(mail):
    """The names of the shapes a mail has."""
    out = set()
    out.add(f"line-ending-{mail.line_ending}")
    if mail.calendar:
        out.add("meeting-request")
    if mail.date in EDGE_DATES:
        out.add("date-" + mail.date.split()[3])

    def walk(node, parent=None):
        if isinstance(node, Text):
            out.add(f"charset-{node.charset}")
            if node.unclosed:
                out.add("unclosed-paragraph")
            if node.footer:
                out.add(f"footer-after-{node.footer}")
            if node.header_like:
                out.add("header-like-paragraph")
            if node.nul:
                out.add("nul-byte")
            for source in node.pictures:
                out.add("data-picture" if source == "data:" else "cid-picture" if source.startswith("cid:") else
                        "remote-picture")
            if node.disposition == "attachment":
                out.add("text-attachment")
        elif isinstance(node, Binary):
            if node.content_id:
                out.add("content-id")
        elif isinstance(node, Attached):
            out.add("attached-message")
            if node.prefixed:
                out.add("attached-message-with-prefixed-boundaries")
            walk(node.mail.body)
        elif isinstance(node, Multipart):
            out.add(f"multipart-{node.subtype}" + ("" if node.boundary else "-without-boundary"))
            texts = [p for p in node.parts if isinstance(p, Text) and p.disposition != "attachment"]
            if node.subtype == "mixed" and len(texts) + sum(isinstance(p, Multipart) for p in node.parts) > 1:
                out.add("second-text-part")
            ids = [p.content_id for p in node.parts if isinstance(p, Binary) and p.content_id]
            if len(ids) != len(set(ids)):
                out.add("duplicate-content-ids")
            if any(a != b and b.startswith(a.split("@")[0]) for a in ids for b in ids):
                out.add("prefix-content-ids")
            for child in node.parts:
                walk(child, node)

    walk(mail.body)
    return out
