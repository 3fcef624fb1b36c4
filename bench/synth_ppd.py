#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a large synthetic PPD for timing ppdregion end to end.

Usage: synth_ppd.py MEBIBYTES OUTPUT

The PPD describes a colour printer with *cupsModelNumber: 10, so a French
locale (LANG=fr_FR.UTF-8) removes 210x270mm, 195x270mm, 184x260mm, 197x273mm,
B6, Postcard, EnvYou4, EnvChou3 and B5. After a normal header with the four
page keywords and 40 small options, the file repeats one block, in a new
language each time, until it reaches the requested size. A block holds
translations of every size (removed or kept) for PageSize and PageRegion,
multi-line translations, UIConstraints lines naming removed sizes on either
side and at the line end, a cupsUIConstraints line, constraints that stay
(A4, Letter, B5.Fullbleed, Postcard.Fullbleed), translations of the other
options, comments and multi-line entries that stay.

Every line is well under the 255 characters libcups' PPD parser allows, and
the parser opens the file (cupstestppd may still find faults with it). The
output depends on the arguments only.
"""

import sys

REMOVABLE = ["210x270mm", "195x270mm", "184x260mm", "197x273mm", "B6",
             "Postcard", "EnvYou4", "EnvChou3", "B5"]
KEPT = ["Letter", "Legal", "A4", "A5", "Executive", "EnvDL", "Env10",
        "B5.Fullbleed", "Postcard.Fullbleed"]
# Width and height in points of each size, for the page keywords.
DIMENSIONS = {
    "210x270mm": (595, 765), "195x270mm": (553, 765), "184x260mm": (522, 737),
    "197x273mm": (558, 774), "B6": (363, 516), "Postcard": (283, 420),
    "EnvYou4": (298, 666), "EnvChou3": (340, 666), "B5": (516, 729),
    "Letter": (612, 792), "Legal": (612, 1008), "A4": (595, 842),
    "A5": (420, 595), "Executive": (522, 756), "EnvDL": (312, 624),
    "Env10": (297, 684), "B5.Fullbleed": (516, 729),
    "Postcard.Fullbleed": (283, 420),
}
LANGUAGES = ["de", "fr", "it", "es", "pt", "nl", "sv", "da", "fi", "nb",
             "pl", "cs", "sk", "hu", "ro", "bg", "el", "tr", "ru", "uk",
             "ja", "ko", "zh_CN", "zh_TW", "ca", "hr", "sl", "et", "lv", "lt"]
OPTIONS = 40
CHOICES = 6


def header():
    out = [
        '*PPD-Adobe: "4.3"',
        "*% Synthetic colour laser printer for timing ppdregion.",
        '*FormatVersion: "4.3"',
        '*FileVersion: "1.0"',
        "*LanguageVersion: English",
        "*LanguageEncoding: ISOLatin1",
        '*PCFileName: "QVSYNTH.PPD"',
        '*Manufacturer: "Quillvale"',
        '*Product: "(Quillvale Synthetic)"',
        '*ModelName: "Quillvale Synthetic"',
        '*ShortNickName: "Quillvale Synthetic"',
        '*NickName: "Quillvale Synthetic PS"',
        '*PSVersion: "(3010.000) 0"',
        '*LanguageLevel: "3"',
        "*ColorDevice: True",
        "*DefaultColorSpace: CMYK",
        "*FileSystem: False",
        '*Throughput: "20"',
        "*LandscapeOrientation: Plus90",
        "*TTRasterizer: Type42",
        '*ISOCountryCode: "US"',
        "*cupsVersion: 2.4",
        "*cupsModelNumber: 10",
        "*cupsManualCopies: False",
        "*DefaultResolution: 600dpi",
        "*OpenGroup: General/General",
    ]
    sizes = KEPT + REMOVABLE
    for keyword in ("PageSize", "PageRegion"):
        out.append(f"*OpenUI *{keyword}/Media Size: PickOne")
        out.append(f"*OrderDependency: 10 AnySetup *{keyword}")
        out.append(f"*Default{keyword}: A4")
        for n, size in enumerate(sizes):
            w, h = DIMENSIONS[size]
            if size in REMOVABLE and n % 2 == 0:  # some as multi-line entries
                out.append(f'*{keyword} {size}/{size}: "<<')
                out.append(f"  /PageSize [{w} {h}] /ImagingBBox null")
                out.append('>> setpagedevice"')
                out.append("*End")
            else:
                out.append(f'*{keyword} {size}/{size}: '
                           f'"<</PageSize [{w} {h}]/ImagingBBox null>>setpagedevice"')
        out.append(f"*CloseUI: *{keyword}")
    out.append("*DefaultImageableArea: A4")
    for size in sizes:
        w, h = DIMENSIONS[size]
        out.append(f'*ImageableArea {size}/{size}: "12 12 {w - 12} {h - 12}"')
    out.append("*DefaultPaperDimension: A4")
    for size in sizes:
        w, h = DIMENSIONS[size]
        out.append(f'*PaperDimension {size}/{size}: "{w} {h}"')
    out.append("*OpenUI *Duplex/2-Sided Printing: PickOne")
    out.append("*OrderDependency: 50 AnySetup *Duplex")
    out.append("*DefaultDuplex: None")
    out.append('*Duplex None/Off: "<</Duplex false>>setpagedevice"')
    out.append('*Duplex DuplexNoTumble/Long Edge: '
               '"<</Duplex true/Tumble false>>setpagedevice"')
    out.append('*Duplex DuplexTumble/Short Edge: '
               '"<</Duplex true/Tumble true>>setpagedevice"')
    out.append("*CloseUI: *Duplex")
    for o in range(OPTIONS):
        out.append(f"*OpenUI *QVOpt{o}/Option {o}: PickOne")
        out.append(f"*OrderDependency: {60 + o} AnySetup *QVOpt{o}")
        out.append(f"*DefaultQVOpt{o}: C0")
        for c in range(CHOICES):
            out.append(f'*QVOpt{o} C{c}/Choice {c}: "<</QVOpt{o} {c}>>setpagedevice"')
        out.append(f"*CloseUI: *QVOpt{o}")
    out.append("*CloseGroup: General")
    out.append("*DefaultFont: Courier")
    out.append('*Font Courier: Standard "(002.004S)" Standard ROM')
    return "\n".join(out) + "\n"


def language(k):
    base = LANGUAGES[k % len(LANGUAGES)]
    rnd = k // len(LANGUAGES)
    if rnd == 0:
        return base
    # Past the first round, made-up regional variants: de_AA, de_AB, ...
    return f"{base}_{chr(65 + rnd // 26 % 26)}{chr(65 + rnd % 26)}"


def block(k):
    lang = language(k)
    o = k % OPTIONS
    c = 1 + k % (CHOICES - 1)  # never the default choice
    out = [f"*% ---- block {k} ({lang}) ----",
           f'*{lang}.Translation PageSize/Paper size {lang}: ""']
    for keyword in ("PageSize", "PageRegion"):
        for size in REMOVABLE + KEPT:
            out.append(f'*{lang}.{keyword} {size}/{size} ({lang}): ""')
    removable = REMOVABLE[k % len(REMOVABLE)]
    kept = KEPT[k % len(KEPT)]
    for size in (removable, kept):
        w, h = DIMENSIONS[size]
        out.append(f'*{lang}.PageSize {size}/{size} long: "<<')
        out.append(f"  /PageSize [{w} {h}]")
        out.append('>>setpagedevice"')
        out.append("*End")
    out.append(f'*{lang}.ImageableArea {removable}/{removable}: ""')
    for i in range(4):
        size = REMOVABLE[(k + 2 * i) % len(REMOVABLE)]
        out.append(f"*UIConstraints: *PageSize {size} *QVOpt{o} C{c}")
        out.append(f"*UIConstraints: *QVOpt{o} C{c} *PageSize {size}")
        out.append(f"*UIConstraints: *PageRegion {size} *QVOpt{o} C{c}")
    out.append(f'*cupsUIConstraints q{k}: "*PageSize {removable} *QVOpt{o} C{c}"')
    for size in ("A4", "Letter", "B5.Fullbleed", "Postcard.Fullbleed"):
        out.append(f"*UIConstraints: *PageSize {size} *QVOpt{o} C{c}")
        out.append(f"*UIConstraints: *QVOpt{o} C{c} *PageSize {size}")
    out.append(f"*UIConstraints: *QVOpt{o} C{c} *Duplex DuplexTumble")
    out.append(f'*{lang}.Translation QVOpt{o}/Option {o} ({lang}): ""')
    for choice in range(CHOICES):
        out.append(f'*{lang}.QVOpt{o} C{choice}/Choice {choice} ({lang}): ""')
    out.append(f"*% The {lang} strings above name B5 and *PageSize B5 in text.")
    out.append(f'*QVNote{k}: "Paper sizes for {lang}"')
    out.append(f'*QVSetup{k}: "<<')
    out.append(f"  /QVOpt{o} true")
    out.append("  /Note (Postcard B6 B5)")
    out.append('>> setpagedevice"')
    out.append("*End")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) != 3:
        sys.exit("usage: synth_ppd.py MEBIBYTES OUTPUT")
    target = int(float(argv[1]) * (1 << 20))
    parts = [header()]
    size = len(parts[0])
    k = 0
    while size < target:
        part = block(k)
        parts.append(part)
        size += len(part)
        k += 1
    parts.append("*% End of the synthetic PPD\n")
    text = "".join(parts)
    longest = max(len(line) for line in text.split("\n"))
    if longest > 255:
        sys.exit(f"synth_ppd.py: a line of {longest} characters")
    with open(argv[2], "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main(sys.argv)
