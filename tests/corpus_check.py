#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs ppdregion on a corpus of real PPD files and checks every result.

Usage: corpus_check.py [--jobs N] [--variants] [--stress] [--default-paper]
                       PPDREGION PATH...

Each PATH is a PPD file or a folder searched recursively for *.ppd and
*.ppd.gz files. With --variants, every PPD named directly as a PATH is also
checked as copies with CR LF line ends, with CR line ends and gzip-compressed. Every PPD is adapted for each locale of LOCALES (and once with
no locale variable at all), in an environment holding only PATH and LANG, and
each run is checked:

  status       exit status 0 and nothing on stderr; for a file that holds a
               NUL byte or is empty, exit status 1, nothing on stdout and one
               "ppdregion: PATH: reason" line. A file in another encoding than
               UTF-8 (ISO-8859-1, Shift-JIS) is adapted like the rest; the
               checks work on its bytes
  parser       the output still opens with libcups' PPD parser when the input
               does (as judged by "cupstestppd -r")
  cupstestppd  cupstestppd, relaxed ("-r", the rules libcups itself reads PPDs
               by) and strict, reports no **FAIL** for the output that it did
               not report for the input
  edits        the output is the input with whole entries deleted, each of
               them naming a paper size this printer does without in this
               country, every such entry deleted, at most the default duplex
               and the country code rewritten where the rules say so, and one
               LF added at the end; a PPD the parser refuses comes out as it
               went in, plus that LF
  idempotence  adapting the output again changes nothing but a further LF

The paper-size tables and rules below are this checker's own copy; the checks
look at the lines of the PPDs, never at the tool's code.

Entries are found as libcups reads them: lines end at LF, CR or CR LF;
blanks are space, tab, vertical tab and form feed; a main entry is a line
that begins with "*K", blanks, the size, optional blanks and "/" or ":"; a
constraint names a size without regard to case, and one whose quoted value
runs over several lines goes whole when any of its lines names the size. A
default names a size as libcups reads it (no "/translation", no quotes,
letter case ignored). Every *DefaultDuplex (or *DefaultQVDuplex) and
*ISOCountryCode line is rewritten where the rules say so. Where the output
keeps a duplex default the rules would change, the checker writes the change
into the output itself and cupstestppd must then report conflicting defaults,
or a *cupsUIConstraints set libcups cannot resolve, that the input did not
have.

With --stress, every PPD is also checked, in STRESS_LOCALES only, as three
variants the checker makes: *cupsModelNumber 10 with *ColorDevice True,
*cupsModelNumber 12 with *ColorDevice False (so the duplex rules fire), and,
where the PPD offers one of STRESS_DEFAULT_SIZES, that size as the default
of all four page keywords.

With --default-paper, every PPD is also adapted with "--country CC
--default-paper" for each CC of PAPER_COUNTRIES (a stress variant for each
of STRESS_PAPER_COUNTRIES, to keep the time down), in an
environment holding only PATH, and with "--country CC" where none of its
locales gives CC. The run without the option is checked as the locale runs
are; the one with it the same way, except that its edits check compares it
with the output of a run in CC without the option (a locale run, else the
"--country CC" one): the two may differ only in *DefaultPageSize
(PageRegion, PaperDimension, ImageableArea) entries rewritten as
"*DefaultK: CHOICE", each of them one that named a size of the other office
paper than the country's (A4 or US Letter, by the input's *PaperDimension,
within 1 point), all naming the same *PageSize choice, one of the country's
paper (named A4 or Letter, or of that *PaperDimension); where one changes,
every such entry whose keyword has that choice changes. Where the default
page size is of the other office paper and the PPD offers the country's but
the tool keeps the defaults, the checker writes the change into the output
itself and cupstestppd must then report conflicting defaults or an
unresolvable *cupsUIConstraints set that the input did not have. The summary
counts the defaults changed and kept per country.

A cupstestppd report that comes n times counts n times: an output with more
copies of a report than the input has a new FAIL.

Exit status: 0 when every check passes (or fails only as KNOWN_EXCEPTIONS
allow), 1 when a check fails, 2 for bad arguments, 77 when cupstestppd is
missing.
"""

import argparse
import concurrent.futures
import gzip
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

# Failures that follow from the tool's intended behaviour. Each entry is
# (PPD file name, check, regular expression the failure's reason must match,
# why this is right). Such a failure is listed but does not fail the check.
KNOWN_EXCEPTIONS = []

# Locale -> the country the tool must take from it; None: no locale variable.
LOCALES = [
    ("ja_JP.UTF-8", "JP"),
    ("zh_CN.UTF-8", "CN"),
    ("zh_TW.UTF-8", "TW"),
    ("ko_KR.UTF-8", "KR"),
    ("fr_FR.UTF-8", "FR"),
    ("de_DE.UTF-8", "DE"),
    ("en_US.UTF-8", "US"),
    ("en_GB.UTF-8", "GB"),
    (None, ""),
]

# The locales the stress variants run in.
STRESS_LOCALES = [
    ("fr_FR.UTF-8", "FR"),
    ("de_DE.UTF-8", "DE"),
    ("zh_CN.UTF-8", "CN"),
    ("ja_JP.UTF-8", "JP"),
]
# Sizes some region removes, the first a PPD offers becoming its default in
# a stress variant.
STRESS_DEFAULT_SIZES = ("B6", "Postcard", "EnvChou3", "EnvYou4", "210x270mm",
                        "B5", "Executive", "EnvDL", "Env10", "3x5", "EnvC5",
                        "EnvMonarch", "ISOB5", "EnvChou4")

CHECKS = ("status", "parser", "cupstestppd", "edits", "idempotence")
# What the summary counts. "entries"/"lines" are those deleted, "duplex" and
# "country" the rewrites made, all summed over every run.
STATS = ("runs", "tool runs", "cupstestppd runs", "refused", "not UTF-8",
         "parser refuses", "entries", "lines", "duplex", "country",
         "duplex kept", "stress runs")

# ------------------------------------------------------------ regional rules

JAPAN = {"Executive", "210x270mm", "195x270mm", "184x260mm", "197x273mm",
         "ISOB5", "3x5", "FanFoldGermanLegal", "Env10", "EnvDL", "EnvC5",
         "EnvMonarch", "EnvPRC5Rotated"}


def removed_sizes(colour, model, country):
    """The paper sizes a printer of this kind and model does not offer."""
    if country == "JP":
        return set(JAPAN)
    if colour:
        if country == "CN":
            return {"210x270mm", "Postcard", "EnvYou4", "EnvChou3"}
        if country == "TW":
            return {"195x270mm", "184x260mm", "197x273mm", "Postcard",
                    "EnvYou4", "EnvChou3"}
        if country == "KR":
            sizes = {"210x270mm", "195x270mm", "184x260mm", "197x273mm",
                     "Postcard", "EnvYou4", "EnvChou3"}
            return sizes | {"B6", "B5"} if model >= 8 else sizes
        sizes = {"210x270mm", "195x270mm", "184x260mm", "197x273mm", "B6",
                 "Postcard", "EnvYou4", "EnvChou3"}
        return sizes | {"B5"} if model >= 8 else sizes
    energy_star = model in (12, 13)
    if country == "CN":
        sizes = {"210x270mm", "Postcard", "EnvYou4", "EnvChou3", "EnvChou4"}
        return sizes | {"3x5"} if energy_star else sizes
    if country == "TW":
        sizes = {"195x270mm", "184x260mm", "197x273mm", "Postcard", "EnvYou4",
                 "EnvChou3", "EnvChou4"}
        return sizes | {"3x5"} if energy_star else sizes
    return {"210x270mm", "195x270mm", "184x260mm", "197x273mm", "B5", "B6",
            "Postcard", "EnvYou4", "EnvChou3", "EnvChou4"}


DUPLEX_COUNTRIES = set(
    "FR ES SE NO DE FI PL IT GB RO GR BG IS HU PT AT CZ RS IE LT LV HR SK EE "
    "DK NL CH BE MK TR SI CY LU MT LI".split())


def duplex_changes(colour, model, country):
    if colour:
        return model >= 9 and country in DUPLEX_COUNTRIES
    return model in (12, 13) and country != "CN"


def country_code_changes(country):
    return country != "JP"


# ------------------------------------------------------------------ PPD text

# The text is the file's bytes decoded as ISO-8859-1, one character a byte,
# whatever its encoding.
TERMINATOR = re.compile("\r\n|[\r\n]")
BLANK = "[ \t\v\f]"  # what libcups skips between the parts of an entry
PAGE_KEYWORDS = ("PageRegion", "PageSize", "PaperDimension", "ImageableArea")
CONSTRAINT_KEYWORDS = ("PageSize", "PageRegion")


def split_lines(text):
    """The lines of `text`, each with its terminator."""
    lines, start = [], 0
    for m in TERMINATOR.finditer(text):
        lines.append(text[start:m.end()])
        start = m.end()
    if start < len(text):
        lines.append(text[start:])
    return lines


def contents(line):
    """A line without its terminator."""
    m = TERMINATOR.search(line)
    return line[:m.start()] if m else line


def entry_end(lines, i):
    """Index just past the entry that begins with line i. A value that opens
    a quote it does not close runs on through the next line holding a quote,
    and a "*End" line right after belongs to the entry too."""
    text = contents(lines[i])
    colon = text.find(":")
    if colon < 0 or text[colon + 1:].count('"') % 2 == 0:
        return i + 1
    for j in range(i + 1, len(lines)):
        if '"' in lines[j]:
            end = j + 1
            if end < len(lines) and contents(lines[end]).rstrip(" \t\v\f") == "*End":
                end += 1
            return end
    return i + 1


def keyword_lines(lines, keyword):
    """Indexes of the lines that are `*keyword:` (blanks allowed before the
    colon)."""
    pattern = re.compile(r"\*%s%s*:" % (re.escape(keyword), BLANK))
    return [i for i, line in enumerate(lines)
            if line.startswith("*" + keyword) and pattern.match(line)]


def keyword_values(lines, keyword):
    """What follows the colon of every `*keyword:` line."""
    pattern = re.compile(r"\*%s%s*:(.*)" % (re.escape(keyword), BLANK))
    values = []
    for line in lines:
        if line.startswith("*" + keyword):
            m = pattern.match(contents(line))
            if m:
                values.append(m.group(1))
    return values


def classify_printer(lines):
    """(colour, model number) as the PPD declares them; the parser keeps the
    last value of each keyword."""
    def last(keyword):
        values = keyword_values(lines, keyword)
        return values[-1].strip(" \t").strip('"') if values else ""

    colour = last("ColorDevice").lower() == "true"
    model = 0
    if last("cupsModelNumber"):
        m = re.match(r"[+-]?\d+", last("cupsModelNumber"))
        model = int(m.group(0)) if m else 0
    return colour, model


def default_choice(value):
    """The choice a default line's value names, as libcups reads it."""
    value = value.strip(" \t\v\f")
    if value.endswith('"'):
        value = value[1:-1]
    return value.split("/", 1)[0]


def default_sizes(lines):
    """Sizes named by a *DefaultPageSize (PageRegion, PaperDimension,
    ImageableArea) line, in lower case: the tool keeps those."""
    return {default_choice(value).lower() for keyword in PAGE_KEYWORDS
            for value in keyword_values(lines, "Default" + keyword)}


def constraint_names(text, keyword, size):
    """Whether the line contents `text` name `size` as a constraint does:
    "*K", blanks, the size in any letter case, then a blank, a double quote
    or the end of the line."""
    return re.search(r"\*%s%s+(?i:%s)(?=[ \t\v\f\"]|$)" % (
        re.escape(keyword), BLANK, re.escape(size)), text) is not None


def roles(line, sizes, keywords_with_main):
    """The ways a line names one of `sizes`: ("main", K, X), ("translation",
    K, X) or ("constraint", K, X). Translations and constraints count only
    for a keyword/size whose main entry the input has; a constraint only on a
    line that holds "UIConstraints" (see entry_constraints for the lines of a
    quoted value)."""
    text = contents(line)
    found = []
    lowered = text.lower()
    for keyword in PAGE_KEYWORDS:
        if keyword not in text:
            continue
        for size in sizes:
            if size.lower() not in lowered:
                continue
            if re.match(r"\*%s%s+%s%s*[/:]" % (re.escape(keyword), BLANK,
                                              re.escape(size), BLANK), text):
                found.append(("main", keyword, size))
            if (keyword, size) not in keywords_with_main:
                continue
            if re.search(r"\.%s%s+%s%s*/" % (re.escape(keyword), BLANK,
                                            re.escape(size), BLANK), text):
                found.append(("translation", keyword, size))
            if (keyword in CONSTRAINT_KEYWORDS and "UIConstraints" in text
                    and constraint_names(text, keyword, size)):
                found.append(("constraint", keyword, size))
    return found


def entry_constraints(lines, start, end, sizes, keywords_with_main):
    """(K, X) a multi-line entry whose first line holds "UIConstraints" names
    as a constraint on any of its lines."""
    if end - start < 2 or "UIConstraints" not in contents(lines[start]):
        return []
    return sorted({(k, x) for j in range(start, end) for k, x in
                   keywords_with_main if k in CONSTRAINT_KEYWORDS
                   and constraint_names(contents(lines[j]), k, x)})


def show(text, limit=160):
    r = repr(text)
    return r if len(r) <= limit else r[:limit] + "..."


def line_number_at(text, pos):
    return len(TERMINATOR.findall(text, 0, pos)) + 1


# ------------------------------------------------------------ default paper

# The countries every PPD is also adapted for with "--country CC
# --default-paper" (see --default-paper).
PAPER_COUNTRIES = ("FR", "US", "CA", "DE", "JP")
# Those the stress variants are adapted for: DE and CA differ from FR and US
# only in *ISOCountryCode there.
STRESS_PAPER_COUNTRIES = ("FR", "US", "JP")
# The countries whose office paper is US Letter, by the Unicode CLDR
# supplemental paperSize data; every other country's is A4.
LETTER_COUNTRIES = set("BZ CA CL CO CR GT MX NI PA PH PR SV US VE".split())
# What the summary counts of those runs, per country: the runs that changed
# the defaults, the default entries changed, and the runs that kept a
# default of the other office paper for a conflict cupstestppd confirms.
PAPER_STATS = ("paper runs",) + tuple(
    "paper %s %s" % (what, country) for country in PAPER_COUNTRIES
    for what in ("changed", "lines", "kept"))
OFFICE_SIZES = {"A4": (595, 842), "Letter": (612, 792)}
DEFAULT_PAGE_ENTRY = re.compile(r"\*Default(%s)%s*:(.*)" % (
    "|".join(PAGE_KEYWORDS), BLANK))


def office_paper(country):
    return "Letter" if country in LETTER_COUNTRIES else "A4"


def other_office_paper(country):
    return "A4" if office_paper(country) == "Letter" else "Letter"


def is_paper(dimensions, paper):
    """Whether (width, length) is `paper` within 1 point."""
    if dimensions is None:
        return False
    width, length = OFFICE_SIZES[paper]
    return abs(dimensions[0] - width) <= 1 and abs(dimensions[1] - length) <= 1


def show_size(dimensions):
    return "%gx%g" % dimensions if dimensions else "missing"


def main_choices(lines, keyword):
    """The choices of the `*keyword` main entries, in order."""
    pattern = re.compile(r"\*%s%s+([^/: \t\v\f\r\n]+)%s*[/:]" % (
        re.escape(keyword), BLANK, BLANK))
    return [m.group(1) for m in (pattern.match(line) for line in lines
                                 if line.startswith("*" + keyword)) if m]


def paper_dimensions(lines):
    """{size in lower case: (width, length)} by the *PaperDimension main
    entries, the first of each size (libcups finds sizes without regard to
    case)."""
    pattern = re.compile(r"\*PaperDimension%s+([^/: \t\v\f\r\n]+)[^:]*:%s*\"%s*"
                         r"([-+.0-9eE]+)%s+([-+.0-9eE]+)" % ((BLANK,) * 4))
    found = {}
    for line in lines:
        m = line.startswith("*PaperDimension") and pattern.match(line)
        if m:
            try:
                size = (float(m.group(2)), float(m.group(3)))
            except ValueError:
                continue
            found.setdefault(m.group(1).lower(), size)
    return found


def regional_choice(choices, dimensions, paper):
    """The PageSize choice that stands for `paper`: the one named A4 or
    Letter in any letter case, else the shortest name, then the first, of
    those of that size; None when there is none."""
    named = [c for c in choices if c.lower() == paper.lower()]
    if named:
        return named[0]
    sized = [c for c in choices if is_paper(dimensions.get(c.lower()), paper)]
    return min(sized, key=len) if sized else None


def check_paper_edits(ppd, base_text, out_text, country):
    """(problems, default entries changed, the choice all defaults should
    have taken where the tool kept a default of the other office paper, or
    None). `out_text` is the output with --default-paper and `base_text` the
    output without it, in the same country: they may differ only in
    *DefaultPageSize (PageRegion, PaperDimension, ImageableArea) entries
    written as "*DefaultK: CHOICE" and LF, each of them one that named a size
    of the other office paper (by the input's *PaperDimension), all naming
    one PageSize choice of the region's paper (by its name A4 or Letter, or
    its *PaperDimension); where one changes, every such entry whose keyword
    offers that choice changes."""
    region, other = office_paper(country), other_office_paper(country)
    base = split_lines(base_text)
    changes = []  # (base line, keyword, old choice, new choice)
    p, i = 0, 0
    while i < len(base):
        # Line by line: an entry the tool rewrites is a default entry, and
        # its first line differs.
        if out_text.startswith(base[i], p):
            p += len(base[i])
            i += 1
            continue
        end = entry_end(base, i)
        m = DEFAULT_PAGE_ENTRY.match(contents(base[i]))
        lf = out_text.find("\n", p)
        prefix = "*Default%s: " % m.group(1) if m else None
        if not m or lf < 0 or not out_text.startswith(prefix, p):
            return ["line %d %s of the output without --default-paper is not "
                    "in the output with it: output line %d reads %s" % (
                        i + 1, show(base[i]), line_number_at(out_text, p),
                        show(split_lines(out_text[p:p + 4000])[0]
                             if p < len(out_text) else "(end of text)"))], 0, None
        changes.append((i, m.group(1), default_choice(m.group(2)),
                        out_text[p + len(prefix):lf]))
        p = lf + 1
        i = end
    if p != len(out_text):
        return ["the output with --default-paper goes on after the end of the "
                "one without: %s" % show(out_text[p:p + 80])], 0, None

    dimensions = ppd.dimensions
    choices = main_choices(base, "PageSize")
    problems = []
    if len({new for _, _, _, new in changes}) > 1:
        problems.append("the defaults changed to different choices: %s" % ", ".join(
            "*Default%s %s" % (k, new) for _, k, _, new in changes))
    for i, keyword, old, new in changes:
        if not is_paper(dimensions.get(old.lower()), other):
            problems.append(
                "line %d %s became %s, but %s is no %s size (*PaperDimension "
                "%s)" % (i + 1, show(base[i]), show(new), old, other,
                         show_size(dimensions.get(old.lower()))))
        if new not in choices:
            problems.append("line %d %s became %s, which names no *PageSize "
                            "choice" % (i + 1, show(base[i]), show(new)))
        elif new.lower() != region.lower() and not is_paper(
                dimensions.get(new.lower()), region):
            problems.append("line %d %s became %s, which is not %s "
                            "(*PaperDimension %s)" % (
                                i + 1, show(base[i]), show(new), region,
                                show_size(dimensions.get(new.lower()))))
    changed = {i for i, _, _, _ in changes}
    if changes:
        new = changes[0][3]
        offered = {k: new in main_choices(base, k) for k in PAGE_KEYWORDS}
        for i, line in enumerate(base):
            m = line.startswith("*Default") and DEFAULT_PAGE_ENTRY.match(
                contents(line))
            if (m and i not in changed and offered[m.group(1)]
                    and is_paper(dimensions.get(
                        default_choice(m.group(2)).lower()), other)):
                problems.append("line %d %s was kept, though other defaults "
                                "became %s" % (i + 1, show(line), new))
        return problems, len(changes), None
    page_size = [default_choice(v) for v in
                 keyword_values(base, "DefaultPageSize")]
    if page_size and is_paper(dimensions.get(page_size[-1].lower()), other):
        return problems, 0, regional_choice(choices, dimensions, region)
    return problems, 0, None


def paper_changed(out_text, choice, other, dimensions):
    """`out_text` with every *DefaultPageSize (PageRegion, PaperDimension,
    ImageableArea) entry that names a size of the `other` office paper
    written as "*DefaultK: `choice`"."""
    lines = split_lines(out_text)
    i, result = 0, []
    while i < len(lines):
        end = entry_end(lines, i)
        m = DEFAULT_PAGE_ENTRY.match(contents(lines[i]))
        if m and is_paper(dimensions.get(default_choice(m.group(2)).lower()),
                          other):
            result.append("*Default%s: %s\n" % (m.group(1), choice))
        else:
            result.extend(lines[i:end])
        i = end
    return "".join(result)


# --------------------------------------------------------------- edits check


class InputPpd:
    """What the checks need to know about one input PPD, worked out once."""

    def __init__(self, text):
        self.text = text
        self.lines = split_lines(text)
        self.colour, self.model = classify_printer(self.lines)
        self.defaults = default_sizes(self.lines)
        # Lines that mention a page keyword: the only ones that can name a
        # size to remove.
        self.page_lines = [i for i, line in enumerate(self.lines)
                           if any(k in line for k in PAGE_KEYWORDS)]
        self.entries = []
        i = 0
        while i < len(self.lines):
            end = entry_end(self.lines, i)
            self.entries.append((i, end))
            i = end
        self.keyword_lines = {key: keyword_lines(self.lines, key) for key in
                              ("DefaultDuplex", "DefaultQVDuplex",
                               "ISOCountryCode")}
        # The choices of the duplex options, lower case: a default is set
        # only to one of them (or where the option lists none).
        self.dimensions = None  # paper_dimensions(), when needed
        self.choices = {}
        for key in ("Duplex", "QVDuplex"):
            pattern = re.compile(r"\*%s%s+([^/: \t\v\f\r\n]*)%s*[/:]" % (
                key, BLANK, BLANK))
            self.choices[key] = {m.group(1).lower() for m in (
                pattern.match(line) for line in self.lines
                if line.startswith("*" + key)) if m}


def check_edits(ppd, out_text, country):
    """(problems with the output as an edit of the input, what was edited:
    {"entries": deleted entries, "lines": deleted lines, "duplex": 0 or 1,
    "country": 0 or 1})."""
    stats = {"entries": 0, "lines": 0, "duplex": 0, "country": 0}
    if not out_text.endswith("\n"):
        return ["output does not end with the added LF"], stats
    out = out_text[:-1]
    lines = ppd.lines
    colour, model = ppd.colour, ppd.model
    who = "%s printer, model %d, country %s" % (
        "colour" if colour else "mono", model, country or "(none)")
    sizes = {s for s in removed_sizes(colour, model, country)
             if s.lower() not in ppd.defaults}

    # Main entries the input has, per keyword and size.
    with_main = set()
    candidates = []  # lines that mention a page keyword and a removed size
    lowered = [s.lower() for s in sizes]
    for i in ppd.page_lines:
        if any(s in lines[i].lower() for s in lowered):
            candidates.append(i)
            for role in roles(lines[i], sizes, set()):
                with_main.add(role[1:])

    # The rewrites the rules call for, by the input line they replace.
    rewrites = {}
    kept_default = set()  # default lines kept: the option lacks the choice
    duplex_lines = []  # the default lines the duplex rule rewrites
    if duplex_changes(colour, model, country):
        for key in ("DefaultDuplex", "DefaultQVDuplex"):
            found = ppd.keyword_lines[key]
            if found:
                choices = ppd.choices[key[len("Default"):]]
                if not choices or "duplexnotumble" in choices:
                    for i in found:
                        rewrites[i] = "*%s: DuplexNoTumble\n" % key
                    duplex_lines = found
                else:
                    kept_default.update(found)
                break
    if country_code_changes(country):
        for i in ppd.keyword_lines["ISOCountryCode"]:
            rewrites[i] = '*ISOCountryCode: "%s"\n' % country

    # Align, entry by entry: an entry is kept when the output goes on with
    # it, rewritten when the output goes on with the rewrite the rules call
    # for, else deleted. The tool deletes and rewrites whole entries only.
    KEPT, DELETED, REWRITTEN = range(3)
    fate = [DELETED] * len(lines)
    deleted = []  # (first line, end line, output position there)
    p = 0
    for start, end in ppd.entries:
        repl = rewrites.get(start)
        if repl is not None and out.startswith(repl, p):
            fate[start:end] = [REWRITTEN] * (end - start)
            p += len(repl)
            continue
        if end == start + 1:
            kept = out.startswith(lines[start], p)
            length = len(lines[start])
        else:
            chunk = "".join(lines[start:end])
            kept = out.startswith(chunk, p)
            length = len(chunk)
        if kept:
            fate[start:end] = [KEPT] * (end - start)
            p += length
        else:
            deleted.append((start, end, p))

    def where_out(pos, line=None):
        olines = split_lines(out[pos:pos + 4000])
        there = olines[0] if olines else ""
        text = "output line %d reads %s" % (line_number_at(out, pos),
                                            show(there or "(end of text)"))
        if line and there:
            n = next((k for k, (a, b) in enumerate(zip(line, there)) if a != b),
                     min(len(line), len(there)))
            if n > 20:
                text += "; they part at column %d: %s vs %s" % (
                    n + 1, show(line[n - 10:n + 30]), show(there[n - 10:n + 30]))
        return text

    # Each deleted entry names a removed size. After the first one that does
    # not, the alignment means little: report that one only.
    for start, end, pos in deleted:
        if start in rewrites:
            return ["input line %d %s should have become %s (%s); %s" % (
                start + 1, show(lines[start]), show(rewrites[start]), who,
                where_out(pos))], stats
        if not roles(lines[start], sizes, with_main) and not entry_constraints(
                lines, start, end, sizes, with_main):
            if start in kept_default:
                return ["input line %d %s was rewritten though the option "
                        "has no DuplexNoTumble choice (%s)" % (
                            start + 1, show(lines[start]), who)], stats
            return ["input line %d %s is missing from the output but names "
                    "no size to remove (%s); %s" % (
                        start + 1, show(lines[start]), who,
                        where_out(pos, lines[start]))], stats
    if p != len(out):
        return ["the output holds text that is not in the input: %s" %
                where_out(p)], stats

    stats["entries"] = len(deleted)
    stats["lines"] = sum(end - start for start, end, _ in deleted)
    for i, repl in rewrites.items():
        if fate[i] == REWRITTEN:
            stats["country" if "ISOCountryCode" in repl else "duplex"] += 1
    problems = []
    # A duplex default stays whole when the change would conflict with the
    # other defaults; the caller asks cupstestppd about that.
    duplex_kept = bool(duplex_lines) and all(
        fate[i] == KEPT for i in duplex_lines) and any(
        "".join(lines[i:entry_end(lines, i)]) != rewrites[i]
        for i in duplex_lines)
    if duplex_kept:
        stats["duplex kept"] = rewrites[duplex_lines[0]]
    # A line the rules rewrite may only stay when it already reads so.
    for i, repl in rewrites.items():
        if duplex_kept and i in duplex_lines:
            continue
        if fate[i] == KEPT and "".join(lines[i:entry_end(lines, i)]) != repl:
            problems.append("input line %d %s was kept; expected %s (%s)" % (
                i + 1, show(lines[i]), show(repl), who))

    # Every entry of a removed size went.
    deleted_main = set()
    for i in candidates:
        if fate[i] == DELETED:
            for role in roles(lines[i], sizes, set()):
                deleted_main.add(role[1:])
    for key in sorted(with_main - deleted_main):
        problems.append("no *%s %s main entry was deleted (%s)" % (key + (who,)))
    for i in candidates:
        if fate[i] != KEPT:
            continue
        for role in roles(lines[i], sizes, with_main):
            if role[0] != "main":
                problems.append("input line %d %s (%s of *%s %s) was kept (%s)"
                                % ((i + 1, show(lines[i])) + role + (who,)))
                break
    for start, end in ppd.entries:
        if end - start > 1 and fate[start] == KEPT and any(
                start <= i < end for i in candidates):
            for key in entry_constraints(lines, start, end, sizes, with_main):
                problems.append("input line %d %s (a constraint naming *%s %s "
                                "on a later line) was kept (%s)" % (
                                    (start + 1, show(lines[start])) + key +
                                    (who,)))
    return problems, stats


# ------------------------------------------------------------ running things

CUPSTESTPPD_MODES = (("relaxed", ["-r"]), ("strict", []))
LINE_NUMBER = re.compile(r"\bline \d+", re.IGNORECASE)


def run(argv, env, timeout):
    try:
        r = subprocess.run(argv, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                           timeout=timeout)
        return r.returncode, r.stdout, r.stderr
    except subprocess.TimeoutExpired:
        return None, b"", b"timed out after %d s" % timeout


def cupstestppd(path):
    """{mode: (opens, frozenset of FAIL reports)} for one file, or a str
    saying why cupstestppd could not judge it."""
    result = {}
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C"}
    for mode, flags in CUPSTESTPPD_MODES:
        status, out, err = run(["cupstestppd"] + flags + [path], env, 300)
        if status is None or status < 0:
            return "cupstestppd %s %s: %s" % (" ".join(flags), path,
                                              err.decode(errors="replace"))
        text = out.decode("utf-8", errors="replace").replace(path, "FILE")
        reports, current = [], None
        for line in text.splitlines():
            stripped = line.strip()
            if "**FAIL**" in line:
                current = [stripped]
                reports.append(current)
            elif (line.startswith(" ") and current is not None
                  and not stripped.startswith("WARN")):
                current.append(stripped)
            else:
                current = None
        # A report that comes more than once (one for each *cupsUIConstraints
        # line without a resolver name reads the same) counts each time: the
        # second is "... [2]", and so on.
        fails, seen = set(), {}
        for r in reports:
            text = LINE_NUMBER.sub("line N", " | ".join(r))
            seen[text] = seen.get(text, 0) + 1
            fails.add(text if seen[text] == 1 else "%s [%d]" % (
                text, seen[text]))
        fails = frozenset(fails)
        opens = not any("Unable to open PPD file" in f for f in fails)
        result[mode] = (opens, fails)
    return result


def decoded_input(path):
    data = open(path, "rb").read()
    if path.endswith(".gz"):
        data = gzip.decompress(data)
    return data


def duplex_changed(out_text, rewrite):
    """`out_text` with `rewrite` written over every line of its keyword."""
    key = rewrite.split(":", 1)[0][1:]
    pattern = re.compile(r"\*%s%s*:" % (re.escape(key), BLANK))
    return "".join(rewrite if pattern.match(line) else line
                   for line in split_lines(out_text))


def conflict_reason(changed, what, folder, base, input_report):
    """Why keeping `what` in the output is wrong, or None: `changed` is the
    output with the default the rules call for, and for it cupstestppd -r
    must report conflicting defaults, or a *cupsUIConstraints set libcups
    cannot resolve ("cupsUIResolver ... causes a loop"), that the input did
    not have."""
    path = os.path.join(folder, "changed", base)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(changed.encode("latin-1"))
    report = cupstestppd(path)
    if isinstance(report, str):
        return report
    new = report["relaxed"][1] - input_report["relaxed"][1]
    if any("Default choices conflicting" in f or "causes a loop" in f
           for f in new):
        return None
    return ("%s was kept, but changing it makes cupstestppd -r report no new "
            "conflict and no unresolvable constraint" % what)


def check_ppd(job):
    """All the runs of one PPD: (path, [(run, check, reason)...], counts
    of what happened, as in STATS and PAPER_STATS)."""
    tool, path, locales, paper_countries = job
    failures = []
    stats = dict.fromkeys(STATS + PAPER_STATS, 0)
    base = os.path.basename(path)
    if base.endswith(".gz"):
        base = base[:-3]
    refusal, ppd = None, None
    try:
        data = decoded_input(path)
    except (EOFError, OSError, gzip.BadGzipFile):
        data, refusal = b"", ""  # any reason will do
    if refusal is not None:
        pass
    elif not data:
        refusal = "file is empty"
    elif b"\0" in data:
        refusal = "holds a NUL byte at offset %d" % data.index(b"\0")
    else:
        in_text = data.decode("latin-1")
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            stats["not UTF-8"] = 1

    # (run name, environment, options, country, with --default-paper). A
    # --default-paper run comes after a run in its country without it (a
    # locale run, or one with --country where no locale gives that country):
    # its output is checked as an edit of that one.
    bare = {"PATH": os.environ.get("PATH", "/usr/bin:/bin")}
    runs = [(locale or "(no locale)", dict(bare, LANG=locale) if locale
             else bare, [], country, False) for locale, country in locales]
    for country in paper_countries:
        options = ["--country", country]
        if country not in (c for _, c in locales):
            runs.append((" ".join(options), bare, options, country, False))
        options = options + ["--default-paper"]
        runs.append((" ".join(options), bare, options, country, True))

    with tempfile.TemporaryDirectory(prefix="ppdregion-corpus-") as tmp:
        input_report = None
        seen = {}  # output hash -> cupstestppd result
        base_text = {}  # country -> the output of a run without the option
        for name, env, options, country, paper in runs:
            def fail(check, reason):
                failures.append((name, check, reason))

            status, out, err = run([tool] + options + ["printer", path], env,
                                   120)
            stats["tool runs"] += 1
            stats["runs"] += 1
            stats["paper runs"] += int(paper)
            if refusal is not None:
                # The tool must refuse the file, naming it and the reason.
                message = err.decode("utf-8", errors="replace")
                expected = "ppdregion: %s: %s" % (path, refusal)
                if (status != 1 or out or message.count("\n") != 1
                        or not message.endswith("\n")
                        or not message.startswith(expected)):
                    fail("status", "expected status 1, no output and %s; got "
                         "status %s, %d bytes out, stderr %s" % (
                             show(expected + "..."),
                             status, len(out), show(message)))
                continue
            if status != 0 or err:
                fail("status", "status %s, stderr %s" % (
                    status, show(err.decode(errors="replace"))))
                continue
            out_text = out.decode("latin-1")

            if input_report is None:
                input_report = cupstestppd(path)
                stats["cupstestppd runs"] += len(CUPSTESTPPD_MODES)
                if isinstance(input_report, str):
                    fail("cupstestppd", input_report)
                    return path, failures, stats
                stats["parser refuses"] = int(not input_report["relaxed"][0])
            opens = input_report["relaxed"][0]

            # The output, as a file for cupstestppd and the second run.
            digest = hashlib.sha256(out).hexdigest()
            out_path = os.path.join(tmp, digest[:16], base)
            if digest not in seen:
                os.makedirs(os.path.dirname(out_path))
                with open(out_path, "wb") as f:
                    f.write(out)
                seen[digest] = cupstestppd(out_path)
                stats["cupstestppd runs"] += len(CUPSTESTPPD_MODES)
            report = seen[digest]

            if isinstance(report, str):
                fail("cupstestppd", report)
            else:
                if opens and not report["relaxed"][0]:
                    fail("parser", "the parser refuses the output: %s" % next(
                        f for f in report["relaxed"][1] if "Unable to open" in f))
                for mode, _ in CUPSTESTPPD_MODES:
                    new = sorted(report[mode][1] - input_report[mode][1])
                    for f in new[:5]:
                        fail("cupstestppd", "%s: new %s" % (mode, f))
                    if len(new) > 5:
                        fail("cupstestppd", "%s: %d more new FAIL reports" % (
                            mode, len(new) - 5))

            if opens:
                if ppd is None:
                    ppd = InputPpd(in_text)
                if paper:
                    if country not in base_text:
                        problems = []  # that run failed already
                    else:
                        problems = check_paper(ppd, base_text[country],
                                               out_text, country, stats, tmp,
                                               base, input_report, report)
                else:
                    problems = check_run_edits(ppd, out_text, country, stats,
                                               tmp, base, input_report, report)
                for problem in problems[:3]:
                    fail("edits", problem)
            elif out_text != in_text + "\n":
                fail("edits", "the parser refuses the input, so it must come "
                     "out unchanged plus LF; first difference at %s" %
                     first_difference(in_text + "\n", out_text))
            if not paper:
                base_text[country] = out_text

            status2, out2, err2 = run([tool] + options + ["printer", out_path],
                                      env, 120)
            stats["tool runs"] += 1
            if status2 != 0 or err2 or out2 != out + b"\n":
                if status2 != 0 or err2:
                    why = "status %s, stderr %s" % (
                        status2, show(err2.decode(errors="replace")))
                else:
                    why = "second output differs: " + first_difference(
                        out_text + "\n", out2.decode("latin-1"))
                fail("idempotence", why)
    stats["refused"] = int(refusal is not None)
    return path, failures, stats


def check_run_edits(ppd, out_text, country, stats, tmp, base, input_report,
                    report):
    """The edits check of a run without --default-paper; adds to `stats`."""
    problems, edited = check_edits(ppd, out_text, country)
    kept = edited.pop("duplex kept", None)
    if kept is not None and not isinstance(report, str):
        stats["cupstestppd runs"] += len(CUPSTESTPPD_MODES)
        edited["duplex kept"] = 1
        reason = conflict_reason(duplex_changed(out_text[:-1], kept),
                                 "the duplex default %s" % show(kept), tmp,
                                 base, input_report)
        if reason:
            problems.append(reason)
    for key, value in edited.items():
        stats[key] += value
    return problems


def check_paper(ppd, base_text, out_text, country, stats, tmp, base,
                input_report, report):
    """The edits check of a --default-paper run, `base_text` being the output
    without the option in the same country; adds to `stats`."""
    if ppd.dimensions is None:
        ppd.dimensions = paper_dimensions(ppd.lines)
    problems, changed, kept = check_paper_edits(ppd, base_text, out_text,
                                                country)
    stats["paper changed " + country] += int(changed > 0)
    stats["paper lines " + country] += changed
    if kept is not None and not isinstance(report, str):
        # The tool kept a default of the other office paper though the PPD
        # has the region's: writing it must conflict or leave a constraint
        # unresolvable.
        stats["cupstestppd runs"] += len(CUPSTESTPPD_MODES)
        stats["paper kept " + country] += 1
        reason = conflict_reason(
            paper_changed(out_text[:-1], kept, other_office_paper(country),
                          ppd.dimensions),
            "the %s default size (the PPD has %s)" % (
                other_office_paper(country), kept), tmp, base, input_report)
        if reason:
            problems.append(reason)
    return problems


def first_difference(want, got):
    a, b = split_lines(want), split_lines(got)
    for n, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "line %d: expected %s, got %s" % (n + 1, show(x), show(y))
    if len(a) != len(b):
        n = min(len(a), len(b))
        return "line %d: expected %s, got %s" % (
            n + 1, show(a[n]) if n < len(a) else "end of text",
            show(b[n]) if n < len(b) else "end of text")
    return "no line differs"


# ---------------------------------------------------------------------- main


def make_variants(path, folder):
    """CR LF, CR and gzip copies of the LF-ended PPD at `path`."""
    data = open(path, "rb").read()
    stem = os.path.basename(path)[:-len(".ppd")]
    made = []
    for suffix, variant in ((".crlf.ppd", data.replace(b"\n", b"\r\n")),
                            (".cr.ppd", data.replace(b"\n", b"\r")),
                            (".ppd.gz", gzip.compress(data, mtime=0))):
        made.append(os.path.join(folder, stem + suffix))
        with open(made[-1], "wb") as f:
            f.write(variant)
    return made


def set_keyword_lines(text, keyword, value):
    """`text` with every `*keyword:` line reading `*keyword: value`, or such a
    line added after the first line when there is none."""
    lines = split_lines(text)
    found = keyword_lines(lines, keyword)
    for i in found:
        end = lines[i][len(contents(lines[i])):] or "\n"
        lines[i] = "*%s: %s%s" % (keyword, value, end)
    if not found and lines:
        eol = lines[0][len(contents(lines[0])):] or "\n"
        lines.insert(1, "*%s: %s%s" % (keyword, value, eol))
    return "".join(lines)


def make_stress_variants(path, folder):
    """The stress variants of the PPD at `path` (see --stress)."""
    try:
        text = decoded_input(path).decode("latin-1")
    except (EOFError, OSError, gzip.BadGzipFile):
        return []
    if not text or "\0" in text:
        return []
    stem = os.path.basename(path).split(".ppd")[0]
    variants = [
        ("colour10", set_keyword_lines(set_keyword_lines(
            text, "ColorDevice", "True"), "cupsModelNumber", "10")),
        ("mono12", set_keyword_lines(set_keyword_lines(
            text, "ColorDevice", "False"), "cupsModelNumber", "12")),
    ]
    lines = split_lines(text)
    for size in STRESS_DEFAULT_SIZES:
        main = re.compile(r"\*PageSize%s+%s%s*[/:]" % (
            BLANK, re.escape(size), BLANK))
        if not any(main.match(line) for line in lines):
            continue
        defaulted = text
        for keyword in PAGE_KEYWORDS:
            if keyword_lines(split_lines(defaulted), "Default" + keyword):
                defaulted = set_keyword_lines(defaulted, "Default" + keyword,
                                              size)
        variants.append(("default" + size, defaulted))
        break
    made = []
    for name, variant in variants:
        made.append(os.path.join(folder, "%s.%s.ppd" % (stem, name)))
        with open(made[-1], "wb") as f:
            f.write(variant.encode("latin-1"))
    return made


def find_ppds(paths, variants_folder=None):
    found = []
    for path in paths:
        if os.path.isdir(path):
            for root, dirs, files in os.walk(path):
                dirs.sort()
                for f in sorted(files):
                    if f.endswith(".ppd") or f.endswith(".ppd.gz"):
                        found.append(os.path.abspath(os.path.join(root, f)))
        elif os.path.isfile(path):
            found.append(os.path.abspath(path))
            if variants_folder and path.endswith(".ppd"):
                found.extend(make_variants(path, variants_folder))
        else:
            sys.exit("corpus_check.py: no such file or folder: %s" % path)
    return found


def exception_for(path, check, reason):
    name = os.path.basename(path)
    for entry in KNOWN_EXCEPTIONS:
        if entry[0] == name and entry[1] == check and re.search(entry[2], reason):
            return entry
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--jobs", type=int,
                        default=min(2, os.cpu_count() or 1))
    parser.add_argument("--variants", action="store_true",
                        help="also check line-end and gzip copies of the PPDs "
                        "named directly")
    parser.add_argument("--stress", action="store_true",
                        help="also check the stress variants of every PPD")
    parser.add_argument("--default-paper", action="store_true",
                        help="also adapt every PPD with --default-paper in "
                        + ", ".join(PAPER_COUNTRIES))
    parser.add_argument("tool")
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    if args.jobs < 1:
        parser.error("--jobs must be at least 1")

    tool = os.path.abspath(args.tool)
    if not os.access(tool, os.X_OK):
        print("corpus_check.py: %s is not an executable" % tool, file=sys.stderr)
        return 2
    if shutil.which("cupstestppd") is None:
        print("corpus_check.py: cupstestppd (cups-client) is missing; "
              "skipping", file=sys.stderr)
        return 77
    with tempfile.TemporaryDirectory(prefix="ppdregion-variants-") as folder:
        return check_all(tool, args, folder)


def check_all(tool, args, variants_folder):
    ppds = find_ppds(args.paths, variants_folder if args.variants else None)
    if not ppds:
        print("corpus_check.py: no PPD files found", file=sys.stderr)
        return 1

    paper = PAPER_COUNTRIES if args.default_paper else ()
    jobs = [(tool, p, LOCALES, paper) for p in ppds]
    stress = []
    if args.stress:
        stress_folder = os.path.join(variants_folder, "stress")
        os.makedirs(stress_folder)
        for p in ppds:
            stress.extend(make_stress_variants(p, stress_folder))
        jobs += [(tool, p, STRESS_LOCALES, STRESS_PAPER_COUNTRIES if paper
                  else ()) for p in stress]
    started = time.monotonic()
    print("checking %d PPDs x %d locales and %d stress variants x %d locales"
          "%s with %d workers" % (
              len(ppds), len(LOCALES), len(stress), len(STRESS_LOCALES),
              ", also with --default-paper in %s (stress variants: %s)" % (
                  " ".join(paper), " ".join(STRESS_PAPER_COUNTRIES))
              if paper else "", args.jobs),
          flush=True)
    results = []
    step = max(1, len(jobs) // 10)
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
        futures = [pool.submit(check_ppd, job) for job in jobs]
        for n, future in enumerate(concurrent.futures.as_completed(futures), 1):
            results.append(future.result())
            if n % step == 0 or n == len(ppds):
                bad = sum(1 for path, failures, _ in results if any(
                    exception_for(path, f[1], f[2]) is None for f in failures))
                print("  %d/%d PPDs done, %d with failures" % (
                    n, len(jobs), bad), flush=True)
    results.sort(key=lambda r: r[0])

    total = dict.fromkeys(STATS + PAPER_STATS, 0)
    for _, _, stats in results:
        for key in total:
            total[key] += stats[key]
    by_check = dict.fromkeys(CHECKS, 0)
    excused = dict.fromkeys(CHECKS, 0)
    failing, known, used = [], [], set()
    for path, failures, _ in results:
        for locale, check, reason in failures:
            entry = exception_for(path, check, reason)
            if entry is not None:
                excused[check] += 1
                used.add(entry)
                known.append((path, locale, check, reason))
            else:
                by_check[check] += 1
                failing.append((path, locale, check, reason))

    print()
    print("PPDs: %d (%d not UTF-8, %d refused by the tool, %d refused by the "
          "PPD parser)   runs: %d   wall time: %.0f s" % (
              len(ppds), total["not UTF-8"], total["refused"],
              total["parser refuses"], total["runs"],
              time.monotonic() - started))
    print("ppdregion runs: %d   cupstestppd runs: %d" % (
        total["tool runs"], total["cupstestppd runs"]))
    if args.stress:
        kinds = {}
        for path, _, stats in results:
            m = re.search(r"\.(colour10|mono12|default)[^.]*\.ppd$", path)
            if m and os.path.dirname(path).endswith("stress"):
                kinds[m.group(1)] = kinds.get(m.group(1), 0) + stats["runs"]
        print("stress runs: %s" % ", ".join(
            "%s %d" % item for item in sorted(kinds.items())))
    print("duplex defaults kept for a conflict cupstestppd confirms: %d" %
          total["duplex kept"])
    print("edits seen: %d entries (%d lines) deleted, %d duplex defaults and "
          "%d country codes rewritten" % (total["entries"], total["lines"],
                                          total["duplex"], total["country"]))
    if paper:
        print("--default-paper runs: %d; defaults changed (runs, entries) and "
              "kept for a conflict cupstestppd confirms (runs):" %
              total["paper runs"])
        for country in paper:
            print("  %s (%s): changed %d (%d), kept %d" % (
                country, office_paper(country),
                total["paper changed " + country],
                total["paper lines " + country], total["paper kept " + country]))
    for check in CHECKS:
        print("  %-12s %4d failures%s" % (
            check, by_check[check],
            "  (%d known exceptions)" % excused[check] if excused[check] else ""))
    for entry in KNOWN_EXCEPTIONS:
        print("known exception %s %s: %s%s" % (
            entry[0], entry[1], entry[3], "" if entry in used else "  [unused]"))
    for path, locale, check, reason in known:
        print("known %s [%s] %s: %s" % (path, locale, check, reason))
    for path, locale, check, reason in failing:
        print("FAIL %s [%s] %s: %s" % (path, locale, check, reason))
    print("corpus check %s" % ("FAILED" if failing else "passed"))
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main())
