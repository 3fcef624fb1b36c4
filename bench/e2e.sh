#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Times whole runs of ppdregion against bench/floor, the least work any
# version of the tool must do (read the file through libcups, parse it once
# with the PPD parser, write it out), and compares their peak memory.
#
# Usage: bench/e2e.sh
#   Environment:
#     PPDREGION_BENCH_DIR  where the inputs are kept (default
#                          ${XDG_CACHE_HOME:-$HOME/.cache}/ppdregion/bench)
#     E2E_WARMUP           hyperfine warm-up runs per command (default 3)
#     E2E_MIN_RUNS         hyperfine runs per command, at least (default 30)
#     E2E_RSS_RUNS         /usr/bin/time runs per command for peak RSS (default 5)
#     E2E_SKIP_CORPUS=1    leave out the real PPDs of scripts/corpus.sh
#     E2E_IR=1             also count the instructions of one run of each under
#                          callgrind (slow, but free of noise): the "Ir ratio"
#     E2E_STRICT=1         exit with status 3 when a target is missed
#
# Inputs: examples/colorlaser.ppd, the 3 largest PPDs gathered by
# scripts/corpus.sh, the largest PPD under /usr/share/ppd, and synthetic PPDs
# of 1, 4 and 8 MiB from bench/synth_ppd.py (a colour printer of model number
# 10 whose removable sizes carry many translations, constraints and multi-line
# entries). Both programs run with LANG=fr_FR.UTF-8 and LC_ALL, LC_PAPER unset,
# standard output to /dev/null, under hyperfine without a shell; the table
# gives the fastest run of each (min) and their ratio.
#
# Two more rows take the largest Gutenprint PPD of the corpus: gzip-compressed
# ("gzip", against the floor, which decompresses it twice: once to read it and
# once more to parse it), and read from standard input ("stdin": ppdregion x -
# < FILE against ppdregion x FILE, both started by a shell).
#
# Targets: ppdregion/floor <= 1.03 on real PPDs, <= 0.95 on the gzip one,
# <= 1.10 on synthetic ones; standard input within 1.05 of the plain file;
# peak RSS of ppdregion <= peak RSS of floor + 2.5 x the file size.
set -euo pipefail
export LC_ALL=C

here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname -- "$here")
# shellcheck source=../scripts/lib.sh
source "$root/scripts/lib.sh"

log() { printf 'e2e.sh: %s\n' "$*" >&2; }
die() { log "$*"; exit 1; }

WARMUP=${E2E_WARMUP:-3}
MIN_RUNS=${E2E_MIN_RUNS:-30}
RSS_RUNS=${E2E_RSS_RUNS:-5}

need "${BUILD_PACKAGES[@]}" libbenchmark-dev hyperfine time cups-client python3
IR=${E2E_IR:-0}
[[ $IR == 1 ]] && need valgrind

# ------------------------------------------------------------------- build

build=$root/build-bench
log "building $build (Release)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPPDREGION_BENCH=ON -DPPDREGION_TESTS=OFF -DPPDREGION_SANITIZE=OFF >/dev/null
cmake --build "$build" --target ppdregion floor delete_bench >/dev/null
ppdregion=$build/ppdregion
floor=$build/bench/floor
[[ -x $ppdregion && -x $floor ]] || die "build did not produce $ppdregion and $floor"

# ------------------------------------------------------------------ inputs

work=${PPDREGION_BENCH_DIR:-${XDG_CACHE_HOME:-${HOME:?HOME is not set}/.cache}/ppdregion/bench}
mkdir -p -- "$work/inputs"
results=$(mktemp -d -- "${TMPDIR:-/tmp}/ppdregion-e2e.XXXXXX")

inputs=()  # "kind<TAB>path"
add_input() { inputs+=("$1"$'\t'"$2"); }

add_input real "$root/examples/colorlaser.ppd"

notes=()
if [[ ${E2E_SKIP_CORPUS:-0} == 1 ]]; then
    notes+=("corpus PPDs left out (E2E_SKIP_CORPUS=1)")
else
    log "gathering the corpus (scripts/corpus.sh)"
    status=0
    corpus=$("$root/scripts/corpus.sh" | tail -n 1) || status=$?
    if ((status != 0)) || [[ ! -d $corpus ]]; then
        notes+=("corpus PPDs skipped: scripts/corpus.sh exited with status $status")
    else
        while IFS= read -r f; do
            add_input real "$f"
        done < <(find "$corpus" -type f \( -name '*.ppd' -o -name '*.ppd.gz' \) \
                     -printf '%s\t%p\n' | sort -k1,1nr -k2 | head -n 3 | cut -f2-)
    fi
fi

# The largest Gutenprint PPD, compressed and from standard input.
gutenprint=""
[[ -n ${corpus:-} && -d $corpus/gutenprint ]] &&
    gutenprint=$(find "$corpus/gutenprint" -type f -name '*.ppd' -printf '%s\t%p\n' |
                     sort -k1,1nr -k2 | head -n 1 | cut -f2-)
if [[ -n $gutenprint ]]; then
    gz=$work/inputs/$(basename -- "$gutenprint").gz
    [[ -s $gz && $gz -nt $gutenprint ]] || gzip -9nc -- "$gutenprint" >"$gz"
    add_input gzip "$gz"
    add_input stdin "$gutenprint"
else
    notes+=("no Gutenprint PPD: the gzip and stdin rows are left out")
fi

if [[ -d /usr/share/ppd ]]; then
    largest=$(find -L /usr/share/ppd -type f \( -name '*.ppd' -o -name '*.ppd.gz' \) \
                  -printf '%s\t%p\n' 2>/dev/null | sort -k1,1nr -k2 | head -n 1 | cut -f2-)
    if [[ -n $largest ]]; then
        add_input real "$largest"
    else
        notes+=("no PPD under /usr/share/ppd")
    fi
else
    notes+=("no /usr/share/ppd")
fi

for mib in 1 4 8; do
    f=$work/inputs/synthetic-${mib}MiB.ppd
    if [[ ! -s $f || $here/synth_ppd.py -nt $f ]]; then
        log "writing $f"
        /usr/bin/python3 "$here/synth_ppd.py" "$mib" "$f.tmp"
        mv -- "$f.tmp" "$f"
    fi
    # The parser must take it; conformance faults (status 4) are expected.
    status=0
    cupstestppd -q "$f" >/dev/null 2>&1 || status=$?
    ((status == 0 || status == 4)) ||
        die "cupstestppd cannot open $f (status $status)"
    add_input synthetic "$f"
done

# One option of 40,000 choices and as many constraints naming them: the
# duplex conflict test in France must cost no more than the parse (target
# ppdregion/floor <= 2).
f=$work/inputs/constraints-40k.ppd
if [[ ! -s $f || $here/constraints_ppd.py -nt $f ]]; then
    log "writing $f"
    /usr/bin/python3 "$here/constraints_ppd.py" 40000 "$f.tmp"
    mv -- "$f.tmp" "$f"
fi
add_input constraints "$f"

# ----------------------------------------------------------------- measure

run_env=(env -u LC_ALL -u LC_PAPER LANG=fr_FR.UTF-8)

# Peak resident set of one command, in KiB: the largest of RSS_RUNS runs.
# Standard input comes from $RSS_INPUT (default /dev/null).
peak_rss() {
    local best=0 kb i
    for ((i = 0; i < RSS_RUNS; i++)); do
        "${run_env[@]}" /usr/bin/time -f '%M' -o "$results/rss" "$@" \
            <"${RSS_INPUT:-/dev/null}" >/dev/null 2>&1 ||
            die "failed under /usr/bin/time: $*"
        kb=$(tail -n 1 -- "$results/rss")
        [[ $kb =~ ^[0-9]+$ ]] || die "no peak RSS from /usr/bin/time for $*"
        if ((kb > best)); then best=$kb; fi
    done
    echo "$best"
}

# Instructions executed by one run of a command, counted by callgrind.
instructions() {
    "${run_env[@]}" valgrind --tool=callgrind --callgrind-out-file=/dev/null \
        --log-file="$results/callgrind.log" "$@" >/dev/null 2>&1 ||
        die "failed under callgrind: $*"
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$results/callgrind.log" | tail -n 1
}

table=$results/table.tsv
: >"$table"
n=0
for entry in "${inputs[@]}"; do
    kind=${entry%%$'\t'*}
    f=${entry#*$'\t'}
    n=$((n + 1))
    name=$(basename -- "$f")
    size=$(stat -L -c %s -- "$f")
    log "[$n/${#inputs[@]}] $name ($size bytes)"

    # Both must succeed; the parser must take the file, or ppdregion would
    # only copy it.
    "${run_env[@]}" "$floor" x "$f" >/dev/null 2>"$results/floor.err" ||
        die "floor failed on $f: $(cat "$results/floor.err")"
    note=""
    grep -q 'refused' "$results/floor.err" && note="parser refuses it"
    out_size=$("${run_env[@]}" "$ppdregion" x "$f" | wc -c) ||
        die "ppdregion failed on $f"

    json=$results/$n.json
    if [[ $kind == stdin ]]; then
        # The plain file is the baseline here, in the "floor" columns; a
        # shell starts both, and hyperfine takes its own start-up time off.
        "${run_env[@]}" hyperfine --style none --warmup "$WARMUP" \
            --min-runs "$MIN_RUNS" --output null --export-json "$json" \
            -n floor "$(printf '%q x %q' "$ppdregion" "$f")" \
            -n ppdregion "$(printf '%q x - < %q' "$ppdregion" "$f")" >/dev/null
        rss_floor=$(peak_rss "$ppdregion" x "$f")
        rss_tool=$(RSS_INPUT=$f peak_rss "$ppdregion" x -)
    else
        "${run_env[@]}" hyperfine -N --style none --warmup "$WARMUP" \
            --min-runs "$MIN_RUNS" --output null --export-json "$json" \
            -n floor "$(printf '%q x %q' "$floor" "$f")" \
            -n ppdregion "$(printf '%q x %q' "$ppdregion" "$f")" >/dev/null
        rss_floor=$(peak_rss "$floor" x "$f")
        rss_tool=$(peak_rss "$ppdregion" x "$f")
    fi
    ir_floor=0 ir_tool=0
    if [[ $IR == 1 && $kind != stdin ]]; then
        ir_floor=$(instructions "$floor" x "$f")
        ir_tool=$(instructions "$ppdregion" x "$f")
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$f" "$size" \
        "$out_size" "$json" "$rss_floor" "$rss_tool" "$ir_floor" "$ir_tool" "$note" \
        >>"$table"
done

# ------------------------------------------------------------------ report

cpu=$(grep -m 1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
printf '\nMachine: %s CPUs (nproc), %s; load average %s\n' "$(nproc)" "${cpu:-unknown}" \
    "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'Programs: %s vs %s, LANG=fr_FR.UTF-8, stdout to /dev/null\n' "$floor" "$ppdregion"
printf 'hyperfine: %s warm-up runs, at least %s runs each; times are the fastest run\n' \
    "$WARMUP" "$MIN_RUNS"
for note in "${notes[@]}"; do printf 'Note: %s\n' "$note"; done
printf 'Results: %s\n\n' "$results"

missed=0
/usr/bin/python3 - "$table" <<'PY' || missed=$?
import json, os, sys

TARGET = {"real": 1.03, "gzip": 0.95, "stdin": 1.05, "synthetic": 1.10}
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1]) if line.strip()]
head = ("input", "kind", "size", "removed", "floor min", "ppdregion min", "ratio",
        "target", "cv f/p", "cpu ratio", "Ir ratio", "floor RSS", "ppdregion RSS",
        "RSS limit", "memory")
table = []
missed = 0
for kind, path, size, out, js, rss_f, rss_p, ir_f, ir_p, note in rows:
    size, out, rss_f, rss_p = int(size), int(out), int(rss_f), int(rss_p)
    ir = f"{int(ir_p) / int(ir_f):.3f}" if int(ir_f) > 0 else "-"
    res = {r["command"]: r for r in json.load(open(js))["results"]}
    f, p = res["floor"], res["ppdregion"]
    ratio = p["min"] / f["min"]
    cpu = (p["user"] + p["system"]) / (f["user"] + f["system"])
    ok_time = ratio <= TARGET[kind]
    limit = rss_f + 2.5 * size / 1024
    ok_mem = rss_p <= limit
    missed += (not ok_time) + (not ok_mem)
    name = os.path.basename(path)
    if kind == "stdin":
        name += " (standard input / file)"
    if note:
        name += " (" + note + ")"
    table.append((
        name, kind, f"{size / 1048576:.2f} MiB",
        "-" if kind == "gzip" else f"{100 * (size + 1 - out) / size:.1f}%",
        f"{f['min'] * 1000:.1f} ms", f"{p['min'] * 1000:.1f} ms", f"{ratio:.3f}",
        f"<= {TARGET[kind]:.2f} {'ok' if ok_time else 'MISSED'}",
        f"{100 * f['stddev'] / f['mean']:.0f}%/{100 * p['stddev'] / p['mean']:.0f}%",
        f"{cpu:.3f}", ir,
        f"{rss_f} KiB", f"{rss_p} KiB", f"{limit:.0f} KiB",
        "ok" if ok_mem else "MISSED"))
widths = [max(len(str(r[i])) for r in table + [head]) for i in range(len(head))]
for r in [head] + table:
    print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
print()
print("ratio = ppdregion min / floor min; cv = stddev/mean of the runs (noise);")
print("cpu ratio = mean user+system time of ppdregion / that of floor (not a target;")
print("less affected by waiting for a busy CPU than wall time); Ir ratio = instructions")
print("of one run of ppdregion / those of floor under callgrind (E2E_IR=1; free of noise);")
print("removed = share of the bytes ppdregion removed; RSS limit = floor RSS + 2.5 x size.")
sys.exit(min(missed, 1))
PY

if ((missed != 0)); then
    log "some targets were missed"
    [[ ${E2E_STRICT:-0} == 1 ]] && exit 3
fi
exit 0
