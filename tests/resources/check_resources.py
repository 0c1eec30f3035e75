#!/usr/bin/env python3
"""Checks the resources compiled into a KOVIX Tool executable.

    check_resources.py <exe> <resource.h>

Reads the resource directory of a PE32 or PE32+ file and checks, under the
identifiers of resource.h (the one definition the resource compiler and the
code share, each defined once), what the program depends on and a build can
get wrong: the menu's commands, the accelerators, the About dialog's
controls and styles (not their places), the strings, the icon images, the
version record and the manifests.
Prints one line per check, then "N passed, N failed"; exits 1 on failure.
"""

import re
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING = 3, 4, 5, 6
RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 9, 14, 16, 24
LANG_EN_US = 1033

MF_GRAYED, MF_POPUP, MF_END = 0x01, 0x10, 0x80
FVIRTKEY, FALT, FLAST = 0x01, 0x10, 0x80

WS_CHILD, WS_VISIBLE = 0x40000000, 0x10000000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
SS_LEFT, SS_ICON, SS_NOPREFIX = 0x0, 0x3, 0x80
BS_DEFPUSHBUTTON = 0x1
ATOM_BUTTON, ATOM_STATIC = 0x80, 0x82
DS_SETFONT, DS_SHELLFONT = 0x40, 0x48


class PeError(Exception):
    pass


# --------------------------------------------------------------------------
# PE resource directory
# --------------------------------------------------------------------------

def read_resources(data):
    """Returns {(type, name, lang): bytes}; named entries keep their string."""
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = {0x10B: 96, 0x20B: 112}.get(magic)
    if directories is None:
        raise PeError("unknown optional header magic 0x%x" % magic)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, optional + directories + 2 * 8)
    if rsrc_rva == 0:
        return {}
    table = optional + optional_size
    spans = []
    for i in range(sections):
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        spans.append((va, max(vsize, raw_size), raw_ptr))

    def offset_of(rva):
        for va, size, raw in spans:
            if va <= rva < va + size:
                return raw + rva - va
        raise PeError("RVA 0x%x outside every section" % rva)

    base = offset_of(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for rtype, t in entries(0):
        for rname, n in entries(t & 0x7FFFFFFF):
            for lang, leaf in entries(n & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset_of(rva)
                found[(rtype, rname, lang)] = data[start:start + size]
    return found


# --------------------------------------------------------------------------
# Resource formats
# --------------------------------------------------------------------------

class Reader:
    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def wstr(self):
        end = self.pos
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        text = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return text

    def sz_or_ord(self):
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0xFFFF:
            self.pos += 2
            return self.take("H")
        return self.wstr()

    def align(self, n=4):
        self.pos = (self.pos + n - 1) // n * n


def parse_menu(data):
    """Standard menu template: nested lists of (flags, id, text); pop-ups
    carry their items as a fourth element."""
    r = Reader(data)
    version, header = r.take("HH")
    if version != 0:
        raise PeError("menu template version %d is not the standard one" % version)
    r.pos += header

    def items():
        result = []
        while True:
            flags = r.take("H")
            if flags & MF_POPUP:
                text = r.wstr()
                result.append((flags & ~MF_END, None, text, items()))
            else:
                ident = r.take("H")
                result.append((flags & ~MF_END, ident, r.wstr()))
            if flags & MF_END:
                return result

    return items()


def parse_accelerators(data):
    return [struct.unpack_from("<HHHH", data, i)[:3] for i in range(0, len(data), 8)]


def parse_dialogex(data):
    r = Reader(data)
    version, signature = r.take("HH")
    if (version, signature) != (1, 0xFFFF):
        return None
    d = {}
    d["help"], d["exstyle"], d["style"], count = r.take("IIIH")
    d["rect"] = r.take("hhhh")
    d["menu"], d["class"], d["caption"] = r.sz_or_ord(), r.sz_or_ord(), r.wstr()
    if d["style"] & DS_SETFONT:
        d["font"] = r.take("HHBB") + (r.wstr(),)
    d["controls"] = []
    for _ in range(count):
        r.align()
        help_id, exstyle, style = r.take("III")
        rect = r.take("hhhh")
        ident = r.take("i")
        cls, text = r.sz_or_ord(), r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        d["controls"].append({"help": help_id, "exstyle": exstyle, "style": style,
                              "rect": rect, "id": ident, "class": cls, "text": text})
    return d


def string_from_table(resources, ident):
    block = resources.get((RT_STRING, ident // 16 + 1, LANG_EN_US))
    if block is None:
        return None
    r = Reader(block)
    for i in range(16):
        length = r.take("H")
        text = r.data[r.pos:r.pos + 2 * length].decode("utf-16-le")
        r.pos += 2 * length
        if i == ident % 16:
            return text if length else None
    return None


def parse_version_node(data, pos=0):
    """One VS_VERSIONINFO-style node: (key, value, children)."""
    r = Reader(data, pos)
    length, value_length, kind = r.take("HHH")
    end = pos + length
    key = r.wstr()
    r.align()
    if kind == 1:  # text: value_length counts UTF-16 units
        raw = data[r.pos:r.pos + 2 * value_length]
        value = raw.decode("utf-16-le").rstrip("\0")
        r.pos += 2 * value_length
    else:
        value = data[r.pos:r.pos + value_length]
        r.pos += value_length
    children = []
    r.align()
    while r.pos < end:
        child, r.pos = parse_version_node(data, r.pos)
        children.append(child)
        r.align()
    return (key, value, children), (end + 3) // 4 * 4


# --------------------------------------------------------------------------
# Checks
# --------------------------------------------------------------------------

class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print("PASS  " + name)
        else:
            self.failed += 1
            print("FAIL  " + name + (": " + detail if detail else ""))

    def equal(self, name, actual, expected):
        self.check(name, actual == expected, "got %r, expected %r" % (actual, expected))

    def present(self, name, res, kind, ident):
        """The resource's bytes in language 1033, checked present; None when absent."""
        data = res.get((kind, ident, LANG_EN_US))
        self.check(name + " present", data is not None)
        return data


def expected_menu(ids):
    return [
        (MF_POPUP, None, "&File", [
            (0, ids["IDM_MODE_800X480"], "800x480x32"),
            (0, ids["IDM_MODE_800X600"], "800x600x32"),
            (0, ids["IDM_MODE_1024X768"], "1024x768x32"),
            (MF_GRAYED, ids["IDM_FILLER"], "-" * 14),
            (0, ids["IDM_SHOWHIDE"], "Show\\Hide"),
            (0, 0, ""),  # separator
            (0, ids["IDM_EXIT"], "E&xit"),
        ]),
        (MF_POPUP, None, "&Help", [
            (0, ids["IDM_ABOUT"], "&About ..."),
        ]),
    ]


STATIC_TEXT = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT
IDOK = 1


def expected_controls(ids):
    # (id, class atom, style, text or None when ours to choose)
    return [
        (ids["IDC_ABOUT_ICON"], ATOM_STATIC, WS_CHILD | WS_VISIBLE | SS_ICON, ids["IDI_KOVIX"]),
        (ids["IDC_ABOUT_TITLE"], ATOM_STATIC, STATIC_TEXT | SS_NOPREFIX, "IDS_APP_TITLE"),
        (-1, ATOM_STATIC, STATIC_TEXT, None),
        (IDOK, ATOM_BUTTON, WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, "OK"),
        (-1, ATOM_STATIC, STATIC_TEXT, None),
        (-1, ATOM_STATIC, STATIC_TEXT, None),
    ]

EXPECTED_ICONS = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (24, 32),
                  (20, 32), (16, 32)]

# Vista, 7, 8, 8.1, 10 and 11: the systems the program says it was made for.
SUPPORTED_OS = ["{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]

EXPECTED_VERSION_STRINGS = [
    ("FileDescription", "KOVIX Tool"),
    ("FileVersion", "1, 0, 0, 736"),
    ("InternalName", None),
    ("LegalCopyright", None),
    ("OriginalFilename", "KOVIX Tool.exe"),
    ("ProductName", "KOVIX Tool"),
    ("ProductVersion", "1, 0, 0, 736"),
]

# Every resource the executable carries, and nothing else.
def expected_set(ids):
    strings = {(RT_STRING, ids[name] // 16 + 1)
               for name in ("IDS_APP_TITLE", "IDS_BUILD_LABEL", "IDS_CLASS_NAME")}
    return strings | {
        (RT_MENU, ids["IDC_KOVIX"]), (RT_ACCELERATOR, ids["IDC_KOVIX"]),
        (RT_DIALOG, ids["IDD_ABOUTBOX"]), (RT_GROUP_ICON, ids["IDI_KOVIX"]),
        (RT_GROUP_ICON, ids["IDI_SMALL"]), (RT_VERSION, 1),
        (RT_MANIFEST, 1), (RT_MANIFEST, ids["IDR_MANIFEST_EXTRA"]),
    }


def check_menu(c, res, ids):
    data = c.present("menu IDC_KOVIX", res, RT_MENU, ids["IDC_KOVIX"])
    if data is None:
        return
    menu = parse_menu(data)
    want = expected_menu(ids)
    c.equal("the menu has the pop-ups &File and &Help",
            [(item[0], item[2]) for item in menu], [(MF_POPUP, "&File"), (MF_POPUP, "&Help")])
    for got, popup in zip(menu, want):
        c.equal("the menu's pop-up %s: items, commands and flags" % popup[2],
                got[3] if len(got) > 3 else None, popup[3])


def check_accelerators(c, res, ids):
    data = c.present("accelerator table IDC_KOVIX", res, RT_ACCELERATOR, ids["IDC_KOVIX"])
    if data is None:
        return
    table = parse_accelerators(data)
    c.check("the accelerator table ends with its last entry flagged",
            bool(table) and table[-1][0] & FLAST and all(not f & FLAST for f, _, _ in table[:-1]))
    entries = [(flags & ~FLAST, key, cmd) for flags, key, cmd in table]
    c.equal("the accelerators are Alt+'?' and Alt+'/' as characters (FALT, no FVIRTKEY) "
            "for IDM_ABOUT", entries,
            [(FALT, ord("?"), ids["IDM_ABOUT"]), (FALT, ord("/"), ids["IDM_ABOUT"])])


def check_dialog(c, res, ids):
    data = c.present("dialog IDD_ABOUTBOX", res, RT_DIALOG, ids["IDD_ABOUTBOX"])
    if data is None:
        return
    d = parse_dialogex(data)
    c.check("the About dialog is an extended template (DLGEX)", d is not None)
    if d is None:
        return
    c.equal("the About dialog's style", "0x%08X" % d["style"], "0x00C800C0")
    c.equal("the About dialog's extended style and help id", (d["exstyle"], d["help"]), (0, 0))
    c.equal("the About dialog has no menu and the system dialog class",
            (d["menu"], d["class"]), ("", ""))
    c.equal("the About dialog's caption", d["caption"], "About")
    c.equal("the About dialog's font", d.get("font"), (11, 400, 0, 0, "Tahoma"))
    controls = d["controls"]
    want = expected_controls(ids)
    c.equal("the About dialog has %d controls" % len(want), len(controls), len(want))
    for n, (got, (ident, atom, style, text)) in enumerate(zip(controls, want), 1):
        c.equal("About control %d: id, class, style" % n,
                (got["id"], got["class"], "0x%08X" % got["style"], got["exstyle"]),
                (ident, atom, "0x%08X" % style, 0))
        if text is None:
            c.check("About control %d has a text" % n,
                    isinstance(got["text"], str) and got["text"].strip() != "")
        else:
            c.equal("About control %d text" % n, got["text"], text)


def check_strings(c, res, ids):
    for name, text in (("IDS_APP_TITLE", "KOVIX Tool Beta 1.0"), ("IDS_BUILD_LABEL", "Build: 736"),
                       ("IDS_CLASS_NAME", "KOVIX TOOL")):
        c.equal("string %s" % name, string_from_table(res, ids[name]), text)
    c.check("the build label fits its 20-unit buffer",
            len(string_from_table(res, ids["IDS_BUILD_LABEL"]) or "") < 20)


def check_icons(c, res, ids):
    for group in (ids["IDI_KOVIX"], ids["IDI_SMALL"]):
        data = c.present("icon group %d" % group, res, RT_GROUP_ICON, group)
        if data is None:
            continue
        reserved, kind, count = struct.unpack_from("<HHH", data, 0)
        entries = [struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count)]
        c.equal("icon group %d: header and sizes/depths in order" % group,
                (reserved, kind, [(w or 256, bits) for w, h, _, _, _, bits, _, _ in entries]),
                (0, 1, EXPECTED_ICONS))
        problems = []
        for w, h, colours, _, planes, bits, size, ident in entries:
            image = res.get((RT_ICON, ident, LANG_EN_US))
            if image is None:
                problems.append("icon %d missing" % ident)
                continue
            if image[:8] == b"\x89PNG\r\n\x1a\n":
                problems.append("icon %d is PNG" % ident)
                continue
            hsize, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", image, 0)
            if (hsize, bw, bh, bplanes, bbits) != (40, w, 2 * h, 1, bits):
                problems.append("icon %d header %r" % (ident, (hsize, bw, bh, bplanes, bbits)))
            if len(image) != size or planes != 1:
                problems.append("icon %d size %d, directory says %d" % (ident, len(image), size))
            if colours != (16 if bits == 4 else 0):
                problems.append("icon %d colour count %d" % (ident, colours))
            palette = (1 << bits) * 4 if bits <= 8 else 0
            xor = ((bits * w + 31) // 32) * 4 * h
            mask = ((w + 31) // 32) * 4 * h
            if len(image) != 40 + palette + xor + mask:
                problems.append("icon %d lacks its colour bitmap or mask" % ident)
        c.check("icon group %d: every image is a DIB with mask (no PNG)" % group,
                not problems, "; ".join(problems))


def check_version(c, res, ids):
    data = c.present("version record 1", res, RT_VERSION, 1)
    if data is None:
        return
    (key, fixed, children), _ = parse_version_node(data)
    c.equal("version record key", key, "VS_VERSION_INFO")
    values = struct.unpack_from("<13I", fixed, 0) if len(fixed) >= 52 else ()
    c.equal("version record fixed part",
            ["0x%X" % v for v in values[:11]],
            ["0x%X" % v for v in (0xFEEF04BD, 0x10000, 0x10000, 736, 0x10000, 736,
                                  0x17, 0, 4, 1, 0)])
    blocks = {k: ch for k, _, ch in children}
    tables = blocks.get("StringFileInfo", [])
    c.equal("version record has one string table 040904B0", [k for k, _, _ in tables], ["040904B0"])
    strings = [(k, v) for k, v, _ in tables[0][2]] if tables else []
    c.equal("version record string entries in order", [k for k, _ in strings],
            [k for k, _ in EXPECTED_VERSION_STRINGS])
    for (k, v), (_, want) in zip(strings, EXPECTED_VERSION_STRINGS):
        if want is None:
            c.check("version record %s is set" % k, v.strip() != "")
        else:
            c.equal("version record %s" % k, v, want)
    variables = blocks.get("VarFileInfo", [])
    translation = [v for k, v, _ in variables if k == "Translation"]
    c.equal("version record translation 0x0409, 0x04B0",
            [struct.unpack("<HH", t) if len(t) == 4 else t for t in translation],
            [(0x0409, 0x04B0)])


def check_manifests(c, res, ids):
    extra = ids["IDR_MANIFEST_EXTRA"]
    present = sorted((name, lang) for rtype, name, lang in res if rtype == RT_MANIFEST)
    c.equal("exactly manifests 1 and IDR_MANIFEST_EXTRA, language 1033", present,
            [(1, LANG_EN_US), (extra, LANG_EN_US)])
    ns = "{urn:schemas-microsoft-com:asm.v1}"
    wanted = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
              "version": "6.0.0.0", "processorArchitecture": "*",
              "publicKeyToken": "6595b64144ccf1df", "language": "*"}
    for ident in (1, extra):
        data = res.get((RT_MANIFEST, ident, LANG_EN_US))
        if data is None:
            continue
        try:
            root = ET.fromstring(data)
        except ET.ParseError as e:
            c.check("manifest %d is well-formed XML" % ident, False, str(e))
            continue
        identities = [e.attrib for e in root.iter(ns + "assemblyIdentity")
                      if e.attrib.get("name") == wanted["name"]]
        c.equal("manifest %d depends on the common controls 6 only" % ident,
                (identities, len(list(root.iter(ns + "dependentAssembly")))), ([wanted], 1))
        dpi = "{0}application/{0}windowsSettings/{1}dpiAware".format(
            "{urn:schemas-microsoft-com:asm.v3}", "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}")
        c.equal("manifest %d is system DPI aware" % ident, [e.text for e in root.findall(dpi)], ["true"])
        systems = "{0}compatibility/{0}application/{0}supportedOS".format("{urn:schemas-microsoft-com:compatibility.v1}")
        c.equal("manifest %d lists the supportedOS of Vista to 11" % ident,
                [e.get("Id") for e in root.findall(systems)], SUPPORTED_OS)
        tags = {e.tag.split("}")[-1] for e in root.iter()}
        c.check("manifest %d requests no execution level" % ident,
                not tags & {"trustInfo", "requestedExecutionLevel", "requestedPrivileges"},
                "found %s" % sorted(tags))


def check_languages_and_set(c, res, ids):
    others = sorted({lang for _, _, lang in res} - {LANG_EN_US})
    c.equal("every resource is in language 1033", others, [])
    groups = [(t, n) for t, n, _ in res if t == RT_GROUP_ICON]
    icon_ids = set()
    for t, n in groups:
        data = res[(t, n, LANG_EN_US)] if (t, n, LANG_EN_US) in res else b"\0" * 6
        count = struct.unpack_from("<H", data, 4)[0]
        icon_ids |= {struct.unpack_from("<H", data, 6 + 14 * i + 12)[0] for i in range(count)}
    present = {(t, n) for t, n, _ in res}
    expected = expected_set(ids)
    extra = sorted(present - expected - {(RT_ICON, i) for i in icon_ids}, key=str)
    missing = sorted(expected - present, key=str)
    c.check("no resources besides the expected ones", not extra and not missing,
            "extra %r, missing %r" % (extra, missing))


IDENTIFIERS = ["IDD_ABOUTBOX", "IDI_KOVIX", "IDI_SMALL", "IDC_KOVIX", "IDR_MANIFEST_EXTRA",
               "IDS_APP_TITLE", "IDS_BUILD_LABEL", "IDS_CLASS_NAME", "IDM_ABOUT", "IDM_EXIT",
               "IDM_FILLER", "IDM_SHOWHIDE", "IDM_MODE_1024X768", "IDM_MODE_800X480",
               "IDM_MODE_800X600", "IDC_ABOUT_ICON", "IDC_ABOUT_TITLE"]


def read_header(c, path):
    """The identifiers of resource.h; None unless each is defined, once."""
    with open(path, encoding="utf-8") as f:
        pairs = re.findall(r"^#define\s+(\w+)\s+(\d+)", f.read(), re.M)
    names = [name for name, _ in pairs]
    c.check("%s: each identifier defined once" % path, len(names) == len(set(names)),
            "twice: %r" % sorted(n for n in set(names) if names.count(n) > 1))
    ids = dict((name, int(value)) for name, value in pairs)
    c.equal("%s: defines every identifier" % path, sorted(set(IDENTIFIERS) - set(ids)), [])
    return ids if not set(IDENTIFIERS) - set(ids) and len(names) == len(set(names)) else None


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip())
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    c = Checks()
    ids = read_header(c, argv[2])
    try:
        res = read_resources(data)
    except (PeError, struct.error) as e:
        c.check("read the resource directory of " + argv[1], False, str(e))
        res = None
    if res is not None and ids is not None:
        for step in (check_menu, check_accelerators, check_dialog, check_strings,
                     check_icons, check_version, check_manifests, check_languages_and_set):
            try:
                step(c, res, ids)
            except (struct.error, UnicodeDecodeError, PeError, IndexError) as e:
                c.check(step.__name__, False, "malformed resource: %s" % e)
    print("%d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
