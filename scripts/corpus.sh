#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Gathers a deterministic corpus of real PPD files, taken from Debian's
# printer driver packages, into a cache folder outside the repository.
#
# Usage: scripts/corpus.sh
#   The folder is ${PPDREGION_CORPUS_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ppdregion/corpus}.
#   The last line printed on stdout is its absolute path; progress and a
#   one-line summary go to stderr.
#
# Exit status: 0 on success, 77 when the needed Debian packages are missing
# and cannot be installed (e.g. no network), so callers can skip; anything
# else is a real failure.
#
# Layout of the corpus:
#   sample/      the CUPS sample drivers (sample.drv) compiled with ppdc
#   hpps/        HP PostScript PPDs (printer-driver-postscript-hp), all of
#                them or every k-th by name when there are more than HP_MAX
#   gutenprint/  every k-th Gutenprint driver (about GP_TARGET of them):
#                  stp-DRIVER.expert.ppd / stp-DRIVER.simple.ppd   English only
#                  stp-DRIVER.expert.i18n.ppd  with every translation
#                  stp-DRIVER.expert.LANG.ppd  in one language
#   variants/    copies of a few of the above with CR LF line endings
#                (*.crlf.ppd), CR-only line endings (*.cr.ppd) and
#                gzip-compressed (*.ppd.gz); and, for three Gutenprint
#                drivers, the PPD in French and in German converted to
#                ISO-8859-1 (*.fr.latin1.ppd, *.de.latin1.ppd) and in
#                Japanese converted to Shift-JIS (*.ja.sjis.ppd), each with
#                *LanguageEncoding set to match
#   .complete    holds RECIPE; present only in a finished corpus
#   .packages    versions of the Debian packages the corpus came from
#
# The corpus is rebuilt from scratch in a temporary folder beside the
# destination and renamed into place at the end. Change RECIPE whenever the
# way the corpus is made changes, so that existing caches get rebuilt.

set -euo pipefail
export LC_ALL=C
umask 022

RECIPE="ppdregion-corpus 2 (sample; hpps max 400; gutenprint 100, i18n j%7==0, lang j%12==6, simple j%3==2; variants 3+3+3; legacy 3x fr,de latin1 ja sjis)"

HP_MAX=400     # take every HP PPD up to this many, else every k-th
GP_TARGET=100  # about this many Gutenprint PPDs
GP_LANGS=(de fr ja ru zh_TW pl sv)  # cycled through for one-language PPDs

PACKAGES=(cups-ppdc printer-driver-postscript-hp printer-driver-gutenprint
          gutenprint-locales gettext cups-client gzip)

SAMPLE_DRV=/usr/share/cups/drv/sample.drv
HP_DRIVER=/usr/lib/cups/driver/postscript-hp
DRIVER_DIR=/usr/lib/cups/driver

me=corpus.sh
here=$(dirname -- "$0")
log() { printf '%s: %s\n' "$me" "$*" >&2; }
die() { log "$*"; exit 1; }

dest=${PPDREGION_CORPUS_DIR:-${XDG_CACHE_HOME:-${HOME:?HOME is not set}/.cache}/ppdregion/corpus}
dest=$(realpath -m -- "$dest")
parent=$(dirname -- "$dest")

is_complete() {
    [[ -f $dest/.complete ]] && [[ "$(cat -- "$dest/.complete")" == "$RECIPE" ]]
}

if is_complete; then
    printf '%s\n' "$dest"
    exit 0
fi

mkdir -p -- "$parent"
# Serialise concurrent runs; whoever waited finds the finished corpus.
exec 9>"$dest.lock"
flock 9
if is_complete; then
    printf '%s\n' "$dest"
    exit 0
fi

# ---------------------------------------------------------------- packages

install_missing() {
    local missing=() p status
    for p in "${PACKAGES[@]}"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
        [[ $status == installed ]] || missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return 0

    local sudo=()
    if ((EUID != 0)); then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo -n)
        else
            log "cannot install ${missing[*]} (not root and no sudo)"
            exit 77
        fi
    fi
    log "installing ${missing[*]}"
    local aptlog
    aptlog=$(mktemp)
    if ! { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update &&
           "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
               apt-get install -y --no-install-recommends "${missing[@]}"; } \
           >"$aptlog" 2>&1; then
        tail -n 20 -- "$aptlog" >&2 || true
        rm -f -- "$aptlog"
        log "cannot install ${missing[*]}"
        exit 77
    fi
    rm -f -- "$aptlog"
}

install_missing

GP_DRIVER=$(find "$DRIVER_DIR" -maxdepth 1 -name 'gutenprint.*' -type f -perm -u+x 2>/dev/null |
            sort -V | tail -n 1)
[[ -n $GP_DRIVER ]] || die "no Gutenprint driver program in $DRIVER_DIR"
[[ -x $HP_DRIVER ]] || die "missing $HP_DRIVER"
[[ -f $SAMPLE_DRV ]] || die "missing $SAMPLE_DRV"
for tool in ppdc msgunfmt gzip iconv; do
    command -v "$tool" >/dev/null 2>&1 || die "missing program $tool"
done
# The HP driver program is a Python script; prefer Debian's interpreter over
# whatever python3 comes first in PATH.
PYTHON=/usr/bin/python3
[[ -x $PYTHON ]] || PYTHON=$(command -v python3) || die "missing python3"

# ------------------------------------------------------------------- build

tmp=$(mktemp -d -- "$parent/.corpus.tmp.XXXXXX")
chmod 755 -- "$tmp"
old=""
cleanup() {
    [[ -n $tmp && -d $tmp ]] && rm -rf -- "$tmp"
    [[ -n $old && -d $old ]] && rm -rf -- "$old"
    return 0
}
trap cleanup EXIT
work=$tmp/.work
mkdir -p -- "$work" "$tmp/sample" "$tmp/hpps" "$tmp/gutenprint" "$tmp/variants"

# Every PPD written must at least look like one.
check_ppd() {
    local f=$1 head
    [[ -s $f ]] || die "empty output: $f"
    head=$(head -c 11 -- "$f")
    [[ $head == '*PPD-Adobe:' ]] || die "not a PPD file: $f"
}

build_sample() {
    log "compiling $SAMPLE_DRV"
    ppdc -d "$tmp/sample" "$SAMPLE_DRV" >&2
    local f
    for f in "$tmp/sample"/*; do
        [[ $f == *.ppd ]] || die "unexpected ppdc output: $f"
        check_ppd "$f"
    done
}

build_hpps() {
    log "extracting HP PostScript PPDs"
    "$PYTHON" "$here/corpus_hpps.py" "$HP_DRIVER" "$tmp/hpps" "$HP_MAX" >&2
    local f
    for f in "$tmp/hpps"/*.ppd; do check_ppd "$f"; done
}

build_gutenprint() {
    local scheme
    scheme=$(basename -- "$GP_DRIVER")
    log "generating Gutenprint PPDs with $scheme"

    # Debian ships the translations only compiled; the generator reads
    # DIR/LANG/gutenprint_LANG.po under STP_LOCALEDIR.
    local podir=$work/po nopo=$work/nopo mo lang
    mkdir -p -- "$podir" "$nopo"
    while IFS= read -r mo; do
        lang=${mo#/usr/share/locale/}
        lang=${lang%%/*}
        mkdir -p -- "$podir/$lang"
        msgunfmt -o "$podir/$lang/gutenprint_$lang.po" -- "$mo"
    done < <(find /usr/share/locale -path '*/LC_MESSAGES/gutenprint.mo' -type f | sort)

    local langs=() l
    for l in "${GP_LANGS[@]}"; do
        [[ -f $podir/$l/gutenprint_$l.po ]] && langs+=("$l")
    done
    ((${#langs[@]} > 0)) || die "no Gutenprint translations found"

    # Each listed URI is SCHEME://DRIVER/expert; SCHEME://DRIVER/simple gives
    # the simplified PPD, SCHEME://DRIVER/MODE/LANG one translated into LANG,
    # and without a language part the PPD carries every translation the
    # generator can find.
    local drivers=() uri d
    while IFS= read -r uri; do
        d=${uri#"$scheme://"}
        d=${d%/*}
        drivers+=("$d")
    done < <("$GP_DRIVER" list | cut -d'"' -f2 | sort -u)
    mapfile -t drivers < <(printf '%s\n' "${drivers[@]}" | sort -u)
    local n=${#drivers[@]}
    ((n > 0)) || die "$scheme lists no drivers"
    local step=$(((n + GP_TARGET - 1) / GP_TARGET))

    local i j=0 nlang=0 mode name localedir out
    for ((i = 0; i < n; i += step, j++)); do
        d=${drivers[i]}
        if ((j % 7 == 0)); then
            mode=expert; uri="$scheme://$d/expert"; localedir=$podir
            name="stp-$d.expert.i18n.ppd"
        elif ((j % 12 == 6)); then
            l=${langs[nlang % ${#langs[@]}]}
            nlang=$((nlang + 1))
            mode=expert; uri="$scheme://$d/expert/$l"; localedir=$podir
            name="stp-$d.expert.$l.ppd"
        else
            if ((j % 3 == 2)); then mode=simple; else mode=expert; fi
            uri="$scheme://$d/$mode"; localedir=$nopo
            name="stp-$d.$mode.ppd"
        fi
        out=$tmp/gutenprint/$name
        STP_LOCALEDIR=$localedir "$GP_DRIVER" cat "$uri" >"$out" ||
            die "$scheme cat $uri failed"
        check_ppd "$out"
    done
    log "$j of $n Gutenprint drivers (every $step)"
}

# Picks three PPDs of a source folder for the variants: those setting a
# default duplex mode first, then the others, each group in name order.
pick3() {
    local dir=$1 suffix=${2:-.ppd}
    {
        grep -l '^\*DefaultDuplex:' -- "$dir"/*"$suffix" 2>/dev/null | sort || true
        grep -L '^\*DefaultDuplex:' -- "$dir"/*"$suffix" 2>/dev/null | sort || true
    } | head -n 3
}

build_variants() {
    log "making line-ending and gzip variants"
    local src picks f base k
    for src in sample hpps gutenprint; do
        if [[ $src == gutenprint ]]; then
            mapfile -t picks < <(pick3 "$tmp/$src" .i18n.ppd)
        else
            mapfile -t picks < <(pick3 "$tmp/$src")
        fi
        ((${#picks[@]} == 3)) || die "fewer than 3 PPDs in $src"
        k=0
        for f in "${picks[@]}"; do
            base="$src-$(basename -- "$f" .ppd)"
            case $k in
                0) sed 's/$/\r/' -- "$f" >"$tmp/variants/$base.crlf.ppd" ;;
                1) tr '\n' '\r' <"$f" >"$tmp/variants/$base.cr.ppd" ;;
                2) gzip -9n -c -- "$f" >"$tmp/variants/$base.ppd.gz" ;;
            esac
            k=$((k + 1))
        done
    done
    # Each variant kind gets one PPD from every source.
    local kind count
    for kind in '*.crlf.ppd' '*.cr.ppd' '*.ppd.gz'; do
        count=$(find "$tmp/variants" -name "$kind" | wc -l)
        ((count == 3)) || die "expected 3 variants $kind, got $count"
    done
    build_legacy
}

# PPDs in the legacy encodings libcups reads besides UTF-8: three Gutenprint
# drivers, each generated in one language and converted, with its
# *LanguageEncoding line saying so. Characters Latin-1 lacks (such as
# typographic quotes) are transliterated.
build_legacy() {
    log "making ISO-8859-1 and Shift-JIS variants"
    local scheme podir=$work/po picks f d l charset encoding out count
    scheme=$(basename -- "$GP_DRIVER")
    mapfile -t picks < <(pick3 "$tmp/gutenprint" .i18n.ppd)
    for f in "${picks[@]}"; do
        d=$(basename -- "$f" .expert.i18n.ppd)
        d=${d#stp-}
        for l in fr de ja; do
            [[ -f $podir/$l/gutenprint_$l.po ]] || die "no Gutenprint translation for $l"
            case $l in
                ja) charset=SHIFT_JIS encoding=JIS83-RKSJ out=sjis ;;
                *) charset=ISO-8859-1//TRANSLIT encoding=ISOLatin1 out=latin1 ;;
            esac
            out=$tmp/variants/gutenprint-stp-$d.expert.$l.$out.ppd
            STP_LOCALEDIR=$podir "$GP_DRIVER" cat "$scheme://$d/expert/$l" >"$work/legacy.ppd" ||
                die "$scheme cat $scheme://$d/expert/$l failed"
            grep -q '^\*LanguageEncoding:' -- "$work/legacy.ppd" ||
                die "no *LanguageEncoding line in $d/$l"
            sed "s/^\*LanguageEncoding:.*/*LanguageEncoding: $encoding/" -- "$work/legacy.ppd" |
                iconv -f UTF-8 -t "$charset" >"$out" || die "iconv to $charset failed for $d/$l"
            check_ppd "$out"
        done
    done
    count=$(find "$tmp/variants" -name '*.latin1.ppd' -o -name '*.sjis.ppd' | wc -l)
    ((count == 9)) || die "expected 9 legacy-encoding variants, got $count"
}

SECONDS=0
build_sample
build_hpps
build_gutenprint
build_variants
rm -rf -- "$work"

dpkg-query -W -f='${Package} ${Version}\n' "${PACKAGES[@]}" | sort >"$tmp/.packages"
printf '%s\n' "$RECIPE" >"$tmp/.complete"

count() { find "$tmp/$1" -type f | wc -l; }
ns=$(count sample) nh=$(count hpps) ng=$(count gutenprint) nv=$(count variants)
bytes=$(find "$tmp" -type f -name '*.ppd*' -printf '%s\n' | awk '{s += $1} END {print s + 0}')

# Swap the new corpus in: move any old one aside, rename, then delete it.
if [[ -e $dest ]]; then
    old=$(mktemp -d -- "$parent/.corpus.old.XXXXXX")
    mv -T -- "$dest" "$old/corpus"
fi
mv -T -- "$tmp" "$dest"
tmp=""

log "sample=$ns hpps=$nh gutenprint=$ng variants=$nv total=$((ns + nh + ng + nv)) files, $bytes bytes, ${SECONDS}s"
printf '%s\n' "$dest"
