#!/usr/bin/env python3
"""Packs a release of KOVIX Tool (tools/release.sh builds and calls this).

    make_dist.py <exe> <dist folder> <time>   KOVIX-Tool-<version>.zip, SHA256SUMS
    make_dist.py --readme <exe> <file>         README.txt alone

The version is the file version of the executable's version record. The zip
holds "KOVIX Tool.exe", README.txt and LICENSE.txt in this order, each
stamped with <time> (seconds since 1970, UTC, rounded down to the zip's two
seconds), so the same inputs give the same bytes.

README.txt is rendered from tools/README.txt.in, a text in the Markdown of
README.md. A line "@include NAME" there takes the body of README.md's
section headed NAME ("intro": the text before the first section), so that
what both say is written once. The text becomes plain ASCII with CR LF line
ends and at most 72 characters a line; a line that cannot be made to fit,
a missing section or a character outside ASCII stops the packing.
LICENSE.txt is the root's LICENSE with CR LF line ends, so that every
Notepad shows its lines.
"""

import hashlib
import io
import os
import re
import stat
import struct
import sys
import textwrap
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "resources"))
from check_resources import RT_VERSION, LANG_EN_US, parse_version_node, read_resources  # noqa: E402

EXE_NAME = "KOVIX Tool.exe"
WIDTH = 72
TABLE_INDENT = 4
# A space inside a code span: textwrap breaks only at ASCII white space.
KEEP_TOGETHER = "\u00a0"
LIST_ITEM = re.compile(r"(- |\d+\. )")
BLOCK_START = re.compile(r"\s*(#+ |\||- |\d+\. |```)")


class DistError(Exception):
    pass


def version_of(exe_bytes):
    record = read_resources(exe_bytes).get((RT_VERSION, 1, LANG_EN_US))
    if record is None:
        raise DistError("the executable has no version record")
    (_, fixed, _), _ = parse_version_node(record)
    high, low = struct.unpack_from("<II", fixed, 8)
    return "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


# --------------------------------------------------------------------------
# README.txt
# --------------------------------------------------------------------------

def markdown_section(markdown, name):
    """The body of the section headed name, up to the next heading of the
    same or a higher level; "intro" is the text before the first "## "."""
    lines = markdown.splitlines()
    if name == "intro":
        start = 1 if lines and lines[0].startswith("# ") else 0
        end = next((i for i, line in enumerate(lines) if line.startswith("## ")), len(lines))
        return lines[start:end]
    for i, line in enumerate(lines):
        heading = re.match(r"(#+) (.*)", line)
        if heading and heading.group(2).strip() == name:
            level = len(heading.group(1))
            end = next((j for j in range(i + 1, len(lines))
                        if re.match(r"#{1,%d} " % level, lines[j])), len(lines))
            return lines[i + 1:end]
    raise DistError("README.md has no section %r" % name)


def expand(template, markdown, version):
    out = []
    for line in template.replace("@VERSION@", version).splitlines():
        include = re.match(r"@include (.+)$", line)
        out.extend(markdown_section(markdown, include.group(1).strip()) if include else [line])
    return out


def inline(text):
    """Markdown inline marks to plain text; code spans keep their spaces."""
    text = re.sub(r"`([^`]*)`", lambda m: m.group(1).replace(" ", KEEP_TOGETHER), text)
    return re.sub(r"\*\*([^*]+)\*\*", r"\1", text)


def plain(text):
    return inline(text).replace(KEEP_TOGETHER, " ")


def wrap(text, first="", rest=""):
    wrapper = textwrap.TextWrapper(width=WIDTH, initial_indent=first, subsequent_indent=rest,
                                   break_long_words=False, break_on_hyphens=False)
    return [line.replace(KEEP_TOGETHER, " ") for line in wrapper.wrap(inline(text))]


def table_row(line):
    cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
    if len(cells) != 2:
        raise DistError("only tables of two columns are supported: %r" % line)
    return cells


def render(lines):
    """The Markdown of README.md (headings, paragraphs, lists, two-column
    tables, fenced code) as plain text lines, blocks apart by a blank line."""
    out = []
    in_list = False  # the last block is a list item with no blank line after it

    def block(rendered, item=False):
        nonlocal in_list
        if out and not (item and in_list):
            out.append("")
        out.extend(rendered)
        in_list = item

    i = 0
    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        if not stripped or (stripped.startswith("<!--") and stripped.endswith("-->")):
            in_list = False
            i += 1
        elif stripped.startswith("```"):
            end = i + 1
            while end < len(lines) and not lines[end].strip().startswith("```"):
                end += 1
            block([("  " + code).rstrip() for code in lines[i + 1:end]])
            i = end + 1
        elif re.match(r"#+ ", line):
            level, title = line.split(" ", 1)
            title = plain(title.strip())
            underline = {1: "=", 2: "-"}.get(len(level))
            block([title] + ([underline * len(title)] if underline else []))
            i += 1
        elif stripped.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].strip().startswith("|"):
                rows.append(lines[i])
                i += 1
            rendered = []
            # The header row and its rule say nothing a reader needs here.
            for row in rows[2:]:
                term, text = table_row(row)
                term = plain(term)
                if len(term) < TABLE_INDENT:
                    body = wrap(text, term.ljust(TABLE_INDENT), " " * TABLE_INDENT)
                else:
                    body = wrap(term) + wrap(text, " " * TABLE_INDENT, " " * TABLE_INDENT)
                rendered.extend(([""] if rendered else []) + body)
            block(rendered)
        else:
            item = LIST_ITEM.match(line)
            text = line[item.end():] if item else stripped
            i += 1
            # Continuation lines: up to a blank line or the next block.
            while i < len(lines) and lines[i].strip() and not BLOCK_START.match(lines[i]):
                text += " " + lines[i].strip()
                i += 1
            if item:
                marker = item.group(0)
                block(wrap(text, marker, " " * len(marker)), item=True)
            else:
                block(wrap(text))
    return out


def readme_text(exe_bytes):
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        markdown = f.read()
    with open(os.path.join(ROOT, "tools", "README.txt.in"), encoding="utf-8") as f:
        template = f.read()
    lines = render(expand(template, markdown, version_of(exe_bytes)))
    for number, line in enumerate(lines, 1):
        if len(line) > WIDTH:
            raise DistError("README.txt line %d has %d characters (at most %d): %s"
                            % (number, len(line), WIDTH, line))
        if not line.isascii():
            raise DistError("README.txt line %d is not plain ASCII: %s" % (number, line))
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


# --------------------------------------------------------------------------
# Zip and checksums
# --------------------------------------------------------------------------

def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def zip_bytes(members, stamp):
    """A zip of (name, bytes) in the given order, every entry alike but for
    its name and contents: no host-dependent attributes, one time stamp."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=time.gmtime(stamp)[:6])
            info.compress_type = zipfile.ZIP_DEFLATED
            # Fixed, not the host's: Unix, a plain file readable by all.
            info.create_system = 3
            info.external_attr = (stat.S_IFREG | 0o644) << 16
            archive.writestr(info, data, compresslevel=9)
    return buffer.getvalue()


def pack(exe_path, dist, stamp):
    with open(exe_path, "rb") as f:
        exe = f.read()
    with open(os.path.join(ROOT, "LICENSE"), "rb") as f:
        licence = crlf(f.read())
    version = version_of(exe)
    zip_name = "KOVIX-Tool-%s.zip" % version
    archive = zip_bytes([(EXE_NAME, exe), ("README.txt", readme_text(exe)),
                         ("LICENSE.txt", licence)], stamp)
    os.makedirs(dist, exist_ok=True)
    with open(os.path.join(dist, zip_name), "wb") as f:
        f.write(archive)
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
                   for name, data in ((zip_name, archive), (EXE_NAME, exe)))
    with open(os.path.join(dist, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        f.write(sums)
    return sums


def main(argv):
    try:
        if len(argv) == 4 and argv[1] == "--readme":
            with open(argv[2], "rb") as f:
                text = readme_text(f.read())
            with open(argv[3], "wb") as f:
                f.write(text)
            print("README.txt: %d lines, CR LF, at most %d characters" % (text.count(b"\n"), WIDTH))
            return 0
        if len(argv) == 4:
            print(pack(argv[1], argv[2], int(argv[3])), end="")
            return 0
    except DistError as e:
        print("make_dist: %s" % e, file=sys.stderr)
        return 1
    print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
