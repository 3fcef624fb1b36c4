#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# Writes the HP PostScript PPDs for scripts/corpus.sh.
#
# Usage: corpus_hpps.py DRIVER OUTDIR LIMIT
#   DRIVER is the HP driver program (/usr/lib/cups/driver/postscript-hp).
#   Writes every PPD it offers into OUTDIR, or every k-th by name when there
#   are more than LIMIT, each uncompressed and named NAME.ppd; a one-line
#   summary goes to stderr.
#
# The driver program keeps its PPDs in one xz-compressed archive and
# re-reads the whole archive for every "cat"; reading it once here is about
# 100 times faster. The first PPD is compared with the driver's own "cat"
# output, and on any mismatch or error every PPD is fetched with "cat"
# instead.
import base64, gzip, lzma, os, runpy, subprocess, sys

driver, outdir, limit = sys.argv[1], sys.argv[2], int(sys.argv[3])
scheme = os.path.basename(driver)
ns = runpy.run_path(driver, run_name="ppd_archive")
index = ns["load"]()
keys = sorted(k for k in index if k != "ARCHIVE")
if not keys:
    sys.exit("corpus.sh: no PPDs in " + driver)
step = 1 if len(keys) <= limit else -(-len(keys) // limit)
chosen = keys[::step]

def by_cat(key):
    out = subprocess.run([driver, "cat", scheme + ":" + key],
                         stdout=subprocess.PIPE, check=True).stdout
    if not out:
        raise RuntimeError("empty output for " + key)
    return out

try:
    archive = lzma.decompress(base64.b64decode(index["ARCHIVE"]))
    def fetch(key):
        start, length = int(index[key][0]), int(index[key][1])
        data = archive[start:start + length]
        if len(data) != length:
            raise RuntimeError("short read for " + key)
        return data
    if fetch(chosen[0]) != by_cat(chosen[0]):
        raise RuntimeError("archive reading disagrees with the driver")
except Exception as e:
    print("corpus.sh: using the driver's cat for every PPD (%s)" % e,
          file=sys.stderr)
    fetch = by_cat

names = set()
for key in chosen:
    data = fetch(key)
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    name = os.path.basename(key)
    if name.endswith(".gz"):
        name = name[:-3]
    if not name.endswith(".ppd"):
        name += ".ppd"
    if name in names:
        sys.exit("corpus.sh: duplicate HP PPD name " + name)
    names.add(name)
    with open(os.path.join(outdir, name), "wb") as f:
        f.write(data)
print("corpus.sh: %d of %d HP PPDs (every %d)" % (len(chosen), len(keys), step),
      file=sys.stderr)
