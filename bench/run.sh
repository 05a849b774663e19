#!/usr/bin/env bash
# Times zelk against other hex dumpers on four kinds of input and prints one
# markdown table of medians and ratios, the targets with whether each is met,
# and peak memory.
#
# Usage: bench/run.sh [PATH_TO_ZELK]
#   PATH_TO_ZELK       binary to time (default: $ZELK, else build/zelk in the repo)
#   BENCH_SIZE_MIB     size of each input, MiB (default 64)
#   BENCH_RUNS         timed rounds, after 1 warm-up round (default 5)
#   BENCH_QUICK=1      skip the slow peers: hexdump, od, hexyl
#   BENCH_RSS_BIG=0    skip the 4 GiB streamed peak-memory measurement
#   BENCH_LAYOUTS=0    skip the table of other layouts against the default one
#   BENCH_LAYOUTS_ONLY=1  print only that table
#   BENCH_START_RUNS   rounds of the start-up timing on a 3-byte file (default 500)
#   ZELK_STATIC_BINARY statically linked zelk for the start-up table's static row
#                      (default: the one in release/zelk-VERSION-linux-ARCH.tar.gz,
#                      which packaging/static-release.sh ARCH makes; the row is left
#                      out without either)
#   ZELK_LIBRARY_SINK  the library's benchmark program, which dumps into a sink
#                      that drops the output (default: bench/library_sink beside
#                      the zelk under test; its rows read n/a without it)
#   BENCH_CACHE_DIR    where generated inputs are kept between runs
#                      (default /tmp/zelk-bench-inputs)
#
# Every command reads the same file and writes to /dev/null; zelk and xxd
# also write to cat through a pipe. The commands of one input are run in interleaved rounds
# (each round in a rotated order), so that a change in the machine's load
# touches all of them alike; the table shows medians. Progress goes to
# stderr, the report alone to stdout.
set -euo pipefail

script_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd -- "$script_dir/.." && pwd)

size_mib=${BENCH_SIZE_MIB:-64}
runs=${BENCH_RUNS:-5}
quick=${BENCH_QUICK:-0}
layouts=${BENCH_LAYOUTS:-1}
layouts_only=${BENCH_LAYOUTS_ONLY:-0}
rss_big=${BENCH_RSS_BIG:-1}
start_runs=${BENCH_START_RUNS:-500}
cache_root=${BENCH_CACHE_DIR:-/tmp/zelk-bench-inputs}

log() { printf '%s\n' "$*" >&2; }
warn() { printf 'warning: %s\n' "$*" >&2; }
die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

[[ $size_mib =~ ^[1-9][0-9]*$ ]] || die "BENCH_SIZE_MIB must be a positive integer, got '$size_mib'"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "BENCH_RUNS must be a positive integer, got '$runs'"
[[ $start_runs =~ ^[1-9][0-9]*$ ]] ||
    die "BENCH_START_RUNS must be a positive integer, got '$start_runs'"
size_bytes=$((size_mib * 1024 * 1024))

# --- the binary under test ---------------------------------------------------
zelk=${1:-${ZELK:-$repo_root/build/zelk}}
[[ -x $zelk && -f $zelk ]] ||
    die "no executable at $zelk; build it first: cmake -B build && cmake --build build -j2"
zelk=$(cd -- "$(dirname -- "$zelk")" && pwd)/$(basename -- "$zelk")
library_sink=${ZELK_LIBRARY_SINK:-$(dirname -- "$zelk")/bench/library_sink}
command -v python3 >/dev/null || die "python3 is needed for the timing and the report"

# --- scratch space, removed however the script ends ----------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/zelk-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- the statically linked zelk of the start-up table, as released ------------
static_zelk=${ZELK_STATIC_BINARY:-}
if [[ -n $static_zelk ]]; then
    [[ -x $static_zelk && -f $static_zelk ]] || die "ZELK_STATIC_BINARY: no executable at $static_zelk"
    static_zelk=$(cd -- "$(dirname -- "$static_zelk")" && pwd)/$(basename -- "$static_zelk")
else
    version=$(sed -n 's/^project(zelk VERSION \([0-9][0-9.]*\).*/\1/p' "$repo_root/CMakeLists.txt")
    static_name=zelk-$version-linux-$(uname -m)
    if [[ -f $repo_root/release/$static_name.tar.gz ]]; then
        tar -xzf "$repo_root/release/$static_name.tar.gz" -C "$work" "$static_name/zelk"
        static_zelk=$work/$static_name/zelk
    fi
fi

# --- tools ---------------------------------------------------------------------
apt_updated=0
# Installs Debian packages; fails quietly (log in $work/apt.log) if it cannot.
apt_install() {
    command -v apt-get >/dev/null || return 1
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || return 1
        sudo=(sudo -n)
    fi
    if ((!apt_updated)); then
        log "apt-get update"
        "${sudo[@]}" apt-get update -q >>"$work/apt.log" 2>&1 || warn "apt-get update failed"
        apt_updated=1
    fi
    log "apt-get install $*"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q "$@" >>"$work/apt.log" 2>&1
}

have() { command -v -- "$1" >/dev/null 2>&1; }

if [[ $layouts_only != 1 ]]; then
have hexyl || apt_install hexyl || warn "could not install hexyl"
[[ -x /usr/bin/time ]] || apt_install time || warn "could not install time"
# xxd has its own package on newer Debian, and ships in vim-common on older.
have xxd || apt_install xxd || apt_install vim-common || warn "could not install xxd"
have hexyl || warn "hexyl unavailable: its rows will read n/a"
have xxd || warn "xxd unavailable: its rows will read n/a"
[[ -x /usr/bin/time ]] || warn "/usr/bin/time unavailable: peak RSS will read n/a"
fi

# --- inputs, cached by size so reruns skip the slow generation ---------------------
cache=$cache_root/${size_mib}MiB
mkdir -p -- "$cache"

# fill_by_repeating OUT PRODUCER...: OUT becomes the producer's output repeated
# and cut to exactly $size_bytes. Written beside OUT and renamed at the end, so
# an interrupted run never leaves a short file in the cache.
fill_by_repeating() {
    local out=$1
    shift
    # head closes the pipe once it has enough; the producer dying of that is expected.
    "$@" 2>/dev/null | head -c "$size_bytes" >"$out.seed" || true
    [[ -s $out.seed ]] || die "nothing to build $out from"
    # The loop ends when head is done and cat can no longer write.
    (while cat -- "$out.seed"; do :; done) 2>/dev/null | head -c "$size_bytes" >"$out.part" || true
    rm -f -- "$out.seed"
    [[ $(stat -c %s -- "$out.part") -eq $size_bytes ]] || die "could not build $size_bytes bytes for $out"
    mv -f -- "$out.part" "$out"
}

# Machine code: the ELF files in /usr/bin (scripts there are text, not code).
elf_executables() {
    local f magic
    for f in /usr/bin/*; do
        [[ -f $f && -r $f && -x $f ]] || continue
        IFS= read -r -N 4 magic <"$f" 2>/dev/null || continue
        [[ $magic == $'\x7fELF' ]] && cat -- "$f"
    done
}

# Prose: licences, copyright files, and manual pages as plain troff source.
# The peer hex dumpers' own pages are left out; any other prose will do.
text_corpus() {
    find -L /usr/share/common-licenses -type f -print0 2>/dev/null | sort -z | xargs -0r cat --
    find /usr/share/doc -mindepth 2 -maxdepth 2 -name copyright -print0 2>/dev/null |
        sort -z | xargs -0r cat --
    find /usr/share/man/man[1-8] -type f -name '*.gz' \
        ! -name 'xxd.*' ! -name 'hexdump.*' ! -name 'hd.*' ! -name 'od.*' ! -name 'hexyl.*' \
        -print0 2>/dev/null | sort -z | xargs -0r zcat -f --
}

inputs=(exe random text zeros)
[[ $layouts_only == 1 ]] && inputs=(exe)
make_input() {
    local name=$1 out=$cache/$1
    if [[ -f $out && $(stat -c %s -- "$out") -eq $size_bytes ]]; then return; fi
    log "making $name input ($size_mib MiB)"
    case $name in
        exe) fill_by_repeating "$out" elf_executables ;;
        text) fill_by_repeating "$out" text_corpus ;;
        random | zeros)
            local src=/dev/urandom
            [[ $name == zeros ]] && src=/dev/zero
            head -c "$size_bytes" "$src" >"$out.part"
            mv -f -- "$out.part" "$out"
            ;;
    esac
}
for name in "${inputs[@]}"; do make_input "$name"; done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# --- other layouts against the default one ------------------------------------------
# layout_table: output bytes per second of each layout, plain and coloured,
# over the default 16/8 layout's of the same mode, on 32 MiB of machine code
# written to /dev/null; interleaved rounds, medians.
layout_table() {
    local file=$work/layouts-input
    head -c $((32 * 1024 * 1024)) -- "$cache/exe" >"$file"
    python3 - "$zelk" "$file" "$runs" <<'PY'
import os, statistics, subprocess, sys, time

zelk, file, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
layouts = ["", "-w 32", "-w 24", "-w 8 -g 4", "-g 4", "-g 0", "-w 64 -g 16",
           "-w 20 -g 5", "-w 7 -g 3", "-w 2048"]
modes = {"plain": ["-p"], "colour": []}
cases = [(l, m) for l in layouts for m in modes]

def argv(layout, mode):
    return [zelk, *modes[mode], *layout.split(), file]

size = {c: len(subprocess.run(argv(*c), stdout=subprocess.PIPE, check=True).stdout)
        for c in cases}
devnull = open(os.devnull, "wb")
times = {c: [] for c in cases}
for round_ in range(runs + 1):  # round 0 warms up and is not counted
    print(f"  layouts: round {round_}/{runs}", file=sys.stderr)
    shift = round_ % len(cases)
    for c in cases[shift:] + cases[:shift]:
        start = time.perf_counter()
        subprocess.run(argv(*c), stdout=devnull, check=True)
        if round_ > 0:
            times[c].append(time.perf_counter() - start)
rate = {c: size[c] / statistics.median(times[c]) for c in cases}
print("Other layouts: output bytes per second over the default layout's, 32 MiB of")
print("machine code to /dev/null (at least 0.67 is the target):")
print()
print("| layout | plain | colour |")
print("|---|--:|--:|")
print(f"| default (GB/s) | {rate['', 'plain'] / 1e9:.2f} | {rate['', 'colour'] / 1e9:.2f} |")
for l in layouts[1:]:
    cells = [f"{rate[l, m] / rate['', m]:.2f}" for m in modes]
    print(f"| `{l}` | {' | '.join(cells)} |")
PY
}

if [[ $layouts_only == 1 ]]; then
    log "timing other layouts"
    layout_table
    exit 0
fi

# --- timing ------------------------------------------------------------------------
# One line per result in $results: input, key, median seconds or a word.
results=$work/results.tsv
: >"$results"

# time_input INPUT FILE: times every command on FILE in interleaved rounds.
# The pipe rows compare zelk writing into a pipe with cat moving zelk's own
# saved output through the same kind of pipe: what the pipe costs for that
# many bytes.
time_input() {
    local name=$1 file=$2
    "$zelk" -p "$file" >"$work/saved-plain"
    "$zelk" "$file" >"$work/saved-colour"
    printf '%s\toutput-%s\t%s\n' "$name" plain "$(stat -c %s -- "$work/saved-plain")" \
        "$name" colour "$(stat -c %s -- "$work/saved-colour")" >>"$results"
    python3 - "$name" "$file" "$zelk" "$runs" "$quick" "$work" "$library_sink" >>"$results" <<'PY'
import os, shutil, statistics, subprocess, sys, time

name, file, zelk, runs, quick, work, library_sink = sys.argv[1:]
runs, quick = int(runs), quick == "1"
saved = {mode: os.path.join(work, "saved-" + mode) for mode in ("plain", "colour")}

# key -> stages of a pipeline; the last one writes to /dev/null.
commands = {
    "zelk-plain": [[zelk, "-p", file]],
    "zelk-colour": [[zelk, file]],
    "xxd": [["xxd", file]],
    "pipe-xxd": [["xxd", file], ["cat"]],
    "pipe-zelk-plain": [[zelk, "-p", file], ["cat"]],
    "pipe-cat-plain": [["cat", saved["plain"]], ["cat"]],
    "pipe-zelk-colour": [[zelk, file], ["cat"]],
    "pipe-cat-colour": [["cat", saved["colour"]], ["cat"]],
    "lib-plain": [[library_sink, "-p", file]],
    "lib-colour": [[library_sink, file]],
}
if not quick:
    commands.update({
        "hexdump": [["hexdump", "-C", file]],
        "od": [["od", "-A", "x", "-t", "x1z", "-v", file]],
        "hexyl-never": [["hexyl", "--color=never", file]],
        "hexyl-always": [["hexyl", "--color=always", file]],
    })
missing = {k for k, stages in commands.items() if any(shutil.which(s[0]) is None for s in stages)}
for k in sorted(missing):
    print(f"{name}\t{k}\tn/a")
    del commands[k]

devnull = open(os.devnull, "wb")
def run(stages):
    """Seconds for one run of the pipeline, or None if a stage failed."""
    start = time.perf_counter()
    procs, upstream = [], None
    for i, argv in enumerate(stages):
        last = i == len(stages) - 1
        p = subprocess.Popen(argv, stdin=upstream if upstream else subprocess.DEVNULL,
                             stdout=devnull if last else subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        if upstream:
            upstream.close()
        upstream = None if last else p.stdout
        procs.append(p)
    codes = [p.wait() for p in procs]
    elapsed = time.perf_counter() - start
    return elapsed if all(c == 0 for c in codes) else None

keys = list(commands)
times = {k: [] for k in keys}
failed = set()
for round_ in range(runs + 1):  # round 0 warms the caches up and is not counted
    print(f"  {name}: round {round_}/{runs}", file=sys.stderr)
    shift = round_ % len(keys)
    for k in keys[shift:] + keys[:shift]:
        t = run(commands[k])
        if t is None:
            failed.add(k)
        elif round_ > 0:
            times[k].append(t)
for k in keys:
    print(f"{name}\t{k}\t{'failed' if k in failed else statistics.median(times[k])}")
PY
    rm -f -- "$work/saved-plain" "$work/saved-colour"
}

for name in "${inputs[@]}"; do
    log "timing $name"
    time_input "$name" "$cache/$name"
done

# --- start-up ------------------------------------------------------------------------
# On a few bytes the time is the program's start and exit: loading and
# relocating its libraries, not the dump. Each command is started directly
# (no shell) on a 3-byte file, output to /dev/null, in interleaved rounds;
# the fastest run is the start on a machine at rest, the median what a busy
# one gives.
start_table=$work/start.md
start_up() {
    local file=$work/three-bytes
    printf 'ab\n' >"$file"
    python3 - "$zelk" "$file" "$start_runs" "$static_zelk" >"$start_table" <<'PY'
import os, shutil, statistics, sys, time

zelk, file, runs, static_zelk = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
commands = {
    "zelk -p": [zelk, "-p", file],
    "zelk (colour)": [zelk, file],
    "zelk -p, statically linked": [static_zelk, "-p", file],
    "xxd": ["xxd", file],
    "od -A x -t x1z -v": ["od", "-A", "x", "-t", "x1z", "-v", file],
    "hexdump -C": ["hexdump", "-C", file],
}
commands = {k: [shutil.which(a[0]) or a[0], *a[1:]] for k, a in commands.items()
            if a[0] and (os.path.isabs(a[0]) or shutil.which(a[0]))}
devnull = os.open(os.devnull, os.O_WRONLY)
actions = [(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)]
keys = list(commands)
times = {k: [] for k in keys}
for round_ in range(runs + 10):  # the first 10 rounds warm the caches up
    if round_ % 100 == 0:
        print(f"  start-up: round {round_}/{runs + 10}", file=sys.stderr)
    shift = round_ % len(keys)
    for k in keys[shift:] + keys[:shift]:
        start = time.perf_counter_ns()
        pid = os.posix_spawn(commands[k][0], commands[k], os.environ, file_actions=actions)
        _, status = os.waitpid(pid, 0)
        elapsed = time.perf_counter_ns() - start
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"start-up: {k} failed")
        if round_ >= 10:
            times[k].append(elapsed / 1e6)
best = {k: min(times[k]) for k in keys}
print(f"Start-up on a 3-byte file: fastest and median of {runs} interleaved runs,")
print("each started directly and written to /dev/null:")
print()
print("| command | fastest ms | median ms | fastest over xxd's |")
print("|---|--:|--:|--:|")
for k in keys:
    ratio = f"{best[k] / best['xxd']:.2f}" if "xxd" in best else "n/a"
    print(f"| {k} | {best[k]:.3f} | {statistics.median(times[k]):.3f} | {ratio} |")
# Without the dynamic loader's work, the static program must start in at
# most 0.9 of xxd's time.
static = "zelk -p, statically linked"
if static in best and "xxd" in best:
    ratio = best[static] / best["xxd"]
    print()
    print(f"Target: statically linked zelk -p starts in at most 0.90 of xxd's time, fastest run:"
          f" {ratio:.2f}, {'met' if ratio <= 0.9 else 'NOT met'}.")
PY
}

log "timing start-up on a 3-byte file"
[[ -n $static_zelk ]] ||
    warn "no statically linked zelk (packaging/static-release.sh $(uname -m), or ZELK_STATIC_BINARY): its start-up row is left out"
start_up

# --- peak memory ---------------------------------------------------------------------
# peak_rss_stream SIZE ARGS...: maximum resident set in KiB of zelk ARGS reading
# SIZE bytes through a pipe, or n/a / failed. Repeating one random base64 line
# keeps the source far faster than zelk, so the pipe never starves it.
peak_rss_stream() {
    local size=$1 out=$work/rss line
    shift
    [[ -x /usr/bin/time ]] || {
        echo n/a
        return
    }
    line=$(head -c 4000 /dev/urandom | base64 -w0)
    # Without pipefail the status is zelk's (passed on by time); yes and head
    # ending early on a closed pipe is expected.
    if (
        set +o pipefail
        yes -- "$line" 2>/dev/null | head -c "$size" |
            /usr/bin/time -o "$out" -f %M "$zelk" "$@" >/dev/null 2>"$work/rss.err"
    ); then
        tail -n 1 -- "$out"
    else
        echo failed
    fi
}

# Pages of the shared libraries that the kernel maps ahead of use make the
# peak differ by some 100 KiB from run to run, so each is the median of 3.
rss_median() {
    local v values=()
    for _ in 1 2 3; do
        v=$(peak_rss_stream "$@")
        [[ $v =~ ^[0-9]+$ ]] || {
            echo "$v"
            return
        }
        values+=("$v")
    done
    printf '%s\n' "${values[@]}" | sort -n | sed -n 2p
}

log "measuring peak RSS"
for mode in plain colour; do
    args=()
    [[ $mode == plain ]] && args=(-p)
    printf 'rss\t%s-1M\t%s\n' "$mode" "$(rss_median 1M ${args[@]+"${args[@]}"})" >>"$results"
    if [[ $rss_big != 0 ]]; then
        log "  streaming 4 GiB three times, $mode (this takes a while)"
        printf 'rss\t%s-4G\t%s\n' "$mode" "$(rss_median 4G ${args[@]+"${args[@]}"})" >>"$results"
    else
        printf 'rss\t%s-4G\tskipped\n' "$mode" >>"$results"
    fi
done

# --- report ------------------------------------------------------------------------
version_of() {
    # First line of what the tool says about its version, which some print
    # to stderr (xxd).
    local v
    v=$(timeout 5 "$@" </dev/null 2>&1 | head -n 1) || true
    printf '%s' "${v:-unknown}"
}
cpu=$(grep -m1 -E '^(model name|Model|cpu model)' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//')
revision=$(git -C "$repo_root" describe --always --dirty 2>/dev/null || echo unknown)

echo "## zelk benchmark"
echo
echo "- machine: ${cpu:-unknown CPU}, $(nproc) CPUs, Linux $(uname -r);" \
    "load average $load_before before, $(cut -d' ' -f1-3 /proc/loadavg) after"
echo "- zelk: $zelk (revision $revision)"
[[ -z $static_zelk ]] || echo "- statically linked zelk (start-up only): ${ZELK_STATIC_BINARY:-release/$static_name.tar.gz}"
echo "- xxd: $(have xxd && version_of xxd -v || echo n/a)"
if [[ $quick == 1 ]]; then
    echo "- hexdump, od, hexyl: skipped (BENCH_QUICK=1)"
else
    echo "- hexyl: $(have hexyl && version_of hexyl --version || echo n/a);" \
        "od: $(version_of od --version); hexdump from $(dpkg -S "$(command -v hexdump)" 2>/dev/null | cut -d: -f1 || echo unknown)"
fi
echo "- inputs: $size_mib MiB each; median of $runs interleaved rounds after 1 warm-up;" \
    "output to /dev/null, or through a pipe to cat"
echo

python3 - "$results" "$size_bytes" "${inputs[@]}" <<'PY'
import sys

path, size = sys.argv[1], int(sys.argv[2])
inputs = sys.argv[3:]
med = {}
for line in open(path):
    inp, key, val = line.rstrip("\n").split("\t")
    try:
        med[inp, key] = float(val)
    except ValueError:
        med[inp, key] = val  # n/a, failed, skipped

def ratio(inp, num, den):
    a, b = med.get((inp, num)), med.get((inp, den))
    return a / b if isinstance(a, float) and isinstance(b, float) and b > 0 else None

def fmt(r):
    return "n/a" if r is None else f"{r:.2f}"

# Speed-ups are "times faster": the peer's time over zelk's. The pipe rows
# show the time over cat's time for the same bytes.
rows = [
    ("zelk-plain", "zelk -p", [("xxd", "xxd", "zelk-plain")]),
    ("zelk-colour", "zelk (colour)", [("xxd", "xxd", "zelk-colour"),
                                      ("hexyl --color=always", "hexyl-always", "zelk-colour")]),
    ("xxd", "xxd", []),
    ("hexdump", "hexdump -C", []),
    ("od", "od -A x -t x1z -v", []),
    ("hexyl-never", "hexyl --color=never", []),
    ("hexyl-always", "hexyl --color=always", []),
    ("pipe-zelk-plain", "zelk -p \\| cat", [("cat", "pipe-zelk-plain", "pipe-cat-plain")]),
    ("pipe-cat-plain", "cat (zelk -p output) \\| cat", []),
    ("pipe-zelk-colour", "zelk \\| cat", [("cat", "pipe-zelk-colour", "pipe-cat-colour")]),
    ("pipe-cat-colour", "cat (zelk output) \\| cat", []),
    ("pipe-xxd", "xxd \\| cat", []),
    ("lib-plain", "zelk::dumper, plain, into a sink that drops it",
     [("zelk -p", "zelk-plain", "lib-plain")]),
    ("lib-colour", "zelk::dumper, colour, into a sink that drops it",
     [("zelk", "zelk-colour", "lib-colour")]),
]
print("| input | command | median ms | input MB/s | ratio |")
print("|---|---|--:|--:|---|")
for inp in inputs:
    for key, label, ratios in rows:
        m = med.get((inp, key), "n/a")
        if isinstance(m, float):
            ms, rate = f"{m * 1e3:.1f}", (f"{size / 1e6 / m:.0f}" if m > 0 else "n/a")
        else:
            ms, rate = m, ""
        rs = []
        for peer, a, b in ratios:
            r = ratio(inp, a, b)
            if r is None:
                rs.append(f"n/a against {peer}")
            else:
                rs.append(f"{fmt(r)}x {'faster than' if peer != 'cat' else 'the time of'} {peer}")
        print(f"| {inp} | {label} | {ms} | {rate} | {', '.join(rs)} |")

print()
print("Targets:")
print()
print("| target | input | measured | met |")
print("|---|---|--:|---|")
def target(label, inp, r, ok, why=None):
    met = "n/a" if r is None else ("yes" if ok(r) else "NO")
    print(f"| {label} | {inp} | {fmt(r)} | {met if why is None else why} |")
for inp in ("exe", "text"):
    target("plain at least 15x faster than xxd", inp, ratio(inp, "xxd", "zelk-plain"), lambda r: r >= 15)
for inp in inputs:
    target("colour at least 25x faster than hexyl --color=always", inp,
           ratio(inp, "hexyl-always", "zelk-colour"), lambda r: r >= 25)
for inp in inputs:
    target("colour at least 4x faster than plain xxd", inp, ratio(inp, "xxd", "zelk-colour"),
           lambda r: r >= 4)
for mode in ("plain", "colour"):
    for inp in inputs:
        # Where the dump is a few lines (zeros collapse into the marker
        # line), no pipe is measured: zelk's time is reading the input.
        out = med.get((inp, f"output-{mode}"))
        why = None
        if isinstance(out, float) and out < size / 100:
            why = f"n/a: the output is {out:.0f} bytes"
        target(f"{mode} through a pipe within 1.3x of cat", inp,
               ratio(inp, f"pipe-zelk-{mode}", f"pipe-cat-{mode}"), lambda r: r <= 1.3, why)

print()
print("Peak RSS (/usr/bin/time %M, median of 3) while reading through a pipe; flat means")
print("the 4 GiB run needs at most 128 KiB more than the 1 MiB one:")
print()
print("| output | 1 MiB | 4 GiB | flat and under 4 MiB |")
print("|---|--:|--:|---|")
def kib(v):
    return f"{v:.0f} KiB" if isinstance(v, float) else v
for mode in ("plain", "colour"):
    small, big = med.get(("rss", f"{mode}-1M"), "n/a"), med.get(("rss", f"{mode}-4G"), "n/a")
    met = "n/a"
    if isinstance(small, float) and isinstance(big, float):
        met = "yes" if big <= small + 128 and max(big, small) < 4096 else "NO"
    print(f"| {mode} | {kib(small)} | {kib(big)} | {met} |")
PY

echo
cat -- "$start_table"

if [[ $layouts != 0 ]]; then
    log "timing other layouts"
    echo
    layout_table
fi
