#!/usr/bin/env bash
# Speed and memory measurements for the headless scanner.
#
#   bash bench/run_bench.sh [BUILD_DIR] [WORK_DIR]      (defaults: build, /tmp/pm-bench)
#
# The benchmark programs are built in BUILD_DIR first (the option PM_BENCH,
# off in the default build).
# Needs g++, python3, find, xargs; nothing is installed. The test trees are
# generated once (about 5.5 GB of disk and 1.2 million files in WORK_DIR) and
# reused afterwards. Warm-cache figures are the median of three wall-clock
# runs, bound and scan in the same run; cold-cache figures (root only: the
# page cache is dropped before each run) the median of five.

set -u
set -o pipefail

BUILD_DIR=${1:-build}
WORK_DIR=${2:-/tmp/pm-bench}
BENCH_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Tree sizes can be overridden from the environment for a quick trial run.
MAIN_FILES=${PM_BENCH_FILES:-100000}
MAIN_BYTES=${PM_BENCH_BYTES:-4G}
SMALL_FILES=${PM_BENCH_SMALL_FILES:-100000}    # small files: time against size
SMALL_BYTES=${PM_BENCH_SMALL_BYTES:-100M}
BIG_FILES=${PM_BENCH_BIG_FILES:-1000000}
BIG_BYTES=${PM_BENCH_BIG_BYTES:-1000M}
COLD=${PM_BENCH_COLD:-1}     # 0: skip the cold-cache runs
COLD_THREADS=8               # reads in flight for the cold-cache bound
SEED=${PM_BENCH_SEED:-1}
BASE_MB=50           # memory target: BASE_MB MB + PER_FILE bytes per file
PER_FILE=120
RATIO_TARGET=1.0
LINEAR_TARGET=1.1    # time per file on the big tree / on the small one
HASH_TARGET=7

SCAN="$BUILD_DIR/peltomarvish-scan"
HASH_BENCH="$BUILD_DIR/bench/hash_bench"
TREE="$WORK_DIR/tree"
TREE_SMALL="$WORK_DIR/small100k"
TREE_BIG="$WORK_DIR/small1m"
SETTINGS="$WORK_DIR/size-crc.settings"
SETTINGS_SIZE="$WORK_DIR/size-only.settings"
LIST="$WORK_DIR/tree.list"
LOG="$WORK_DIR/log"

say() { printf '%s\n' "$*" >&2; }
die() { say "run_bench: $*"; exit 1; }

# The benchmark programs are no part of the default build: turn them on in
# BUILD_DIR (when it is a CMake build) and build them with the scanner.
if [ -f "$BUILD_DIR/CMakeCache.txt" ]; then
  say "building the benchmarks in $BUILD_DIR (PM_BENCH=ON)"
  cmake -S "$BENCH_SRC/.." -B "$BUILD_DIR" -DPM_BENCH=ON > /dev/null || die "cannot configure $BUILD_DIR"
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target peltomarvish-scan hash_bench list_bench \
    list_commands_bench > /dev/null || die "cannot build the benchmarks in $BUILD_DIR"
fi

mkdir -p "$WORK_DIR" || die "cannot create $WORK_DIR"
: > "$LOG"

# ---- Tools --------------------------------------------------------------------
build_tool() {  # name, extra flags...
  local name=$1; shift
  if [ ! -x "$WORK_DIR/$name" ] || [ "$BENCH_SRC/$name.cc" -nt "$WORK_DIR/$name" ]; then
    say "compiling $name"
    g++ -O2 -std=c++20 "$BENCH_SRC/$name.cc" -o "$WORK_DIR/$name" "$@" || die "cannot compile $name"
  fi
}
build_tool gen_tree
build_tool read_bound -pthread

# ---- Trees --------------------------------------------------------------------
make_tree() {  # dir, files, bytes
  local dir=$1 files=$2 bytes=$3
  local want="files=$files bytes=$bytes seed=$SEED"
  if [ -d "$dir" ] && [ -f "$dir.done" ] && [ "$(cat "$dir.done")" = "$want" ]; then
    say "reusing $dir ($want)"
    return 0
  fi
  say "generating $dir ($want)"
  rm -rf "$dir" "$dir.done"
  "$WORK_DIR/gen_tree" "$dir" --files "$files" --total-bytes "$bytes" --seed "$SEED" \
    || die "gen_tree failed for $dir"
  printf '%s' "$want" > "$dir.done"
}

warm() {  # dir
  say "warming the page cache for $1"
  find "$1" -type f -print0 | xargs -0 cat > /dev/null
}

# ---- Settings: compare size and CRC-32, name off ------------------------------
python3 - "$SETTINGS" "$SETTINGS_SIZE" <<'PY' || die "cannot write the settings files"
import struct, sys
rec = bytearray(26140)
rec[0:22] = b"*Pelto*Marvish*1.00*\t\f"
# Mask lists: 4 x 100 slots x 65 bytes at 24 (include files), 6524 (exclude
# files), 13024 (include dirs), 19524 (exclude dirs). Include every file.
rec[24:26] = b"*\0"
fields = [
    (26024, 0),     # min file size
    (26028, 0),     # max file size
    (26032, 0),     # attribute set mask
    (26036, 0),     # attribute care mask
    (26040, 0),     # same name
    (26044, 0),     # same time
    (26048, 0),     # same date
    (26052, 1),     # same size
    (26056, 1),     # same CRC
    (26060, 1),     # display CRC
    (26064, 0),     # same owner
    (26068, 0),     # same group
    (26072, 1), (26076, 1), (26080, 1901),    # earliest month, day, year
    (26084, 12), (26088, 31), (26092, 2999),  # latest month, day, year
    (26096, 0),     # time kind
    (26100, 0),     # stop after (0 = no limit)
    (26104, 2),     # smallest group
    (26108, 99999), # largest group
]
for off, val in fields:
    struct.pack_into("<i", rec, off, val)
with open(sys.argv[1], "wb") as f:
    f.write(rec)
# The same with sizes only: a walk that reads no contents.
for off in (26056, 26060):
    struct.pack_into("<i", rec, off, 0)
with open(sys.argv[2], "wb") as f:
    f.write(rec)
PY

# ---- Measuring helpers --------------------------------------------------------
# median N FUNC: runs FUNC N times (each after DROP_FIRST, when set), prints the
# median wall time in seconds.
DROP_FIRST=""
median() {
  local n=$1 f=$2 t0 t1 i times=()
  for ((i = 0; i < n; ++i)); do
    if [ -n "$DROP_FIRST" ]; then sync; echo 3 > /proc/sys/vm/drop_caches; fi
    t0=$(date +%s%N)
    "$f" || return 1
    t1=$(date +%s%N)
    times+=($((t1 - t0)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v n="$n" '{ t[NR] = $1 } END { printf "%.3f", t[int((n + 1) / 2)] / 1e9 }'
}

# peak_kb CMD...: runs CMD (stdout discarded), prints its peak resident set in KiB.
peak_kb() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%M' -o "$WORK_DIR/time.out" "$@" > /dev/null 2>> "$LOG" || return 1
    tail -n 1 "$WORK_DIR/time.out"
  else
    # Fallback: poll the high-water mark while the process runs.
    "$@" > /dev/null 2>> "$LOG" &
    local pid=$! hwm=0 v
    while kill -0 "$pid" 2> /dev/null; do
      v=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2> /dev/null)
      if [ -n "$v" ] && [ "$v" -gt "$hwm" ]; then hwm=$v; fi
      sleep 0.01
    done
    wait "$pid" || return 1
    echo "$hwm"
  fi
}

ratio_of() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "ok" : "MISSED") }'; }

list_sizes() { find "$TREE" -printf '%s\n' > /dev/null; }
read_same_sizes() { "$WORK_DIR/read_bound" < "$LIST" 2>> "$LOG"; }
read_same_sizes_parallel() { "$WORK_DIR/read_bound" --threads "$COLD_THREADS" < "$LIST" 2>> "$LOG"; }
# The scans below read every file (--no-cache), as a first scan does; the
# content cache is measured on its own (section g).
scan_main() { "$SCAN" --settings "$SETTINGS" --no-cache --tsv "$TREE" > /dev/null 2>> "$LOG"; }
scan_rule() { "$SCAN" --settings "$SETTINGS" --no-cache --keep newest --tsv "$TREE" > /dev/null 2>> "$LOG"; }
scan_small() { "$SCAN" --settings "$SETTINGS" --no-cache --tsv "$TREE_SMALL" > /dev/null 2>> "$LOG"; }
scan_big() { "$SCAN" --settings "$SETTINGS" --no-cache --tsv "$TREE_BIG" > /dev/null 2>> "$LOG"; }
# With the content cache, in a home of its own: the first scan writes it (the
# file removed before each run), the second finds every file in it.
CACHE_HOME="$WORK_DIR/cache-home"
scan_first_cached() {
  rm -f "$CACHE_HOME/.PeltoMarvish/ContentCache"
  HOME="$CACHE_HOME" "$SCAN" --settings "$SETTINGS" --tsv "$TREE" > /dev/null 2>> "$LOG"
}
scan_second_cached() {
  HOME="$CACHE_HOME" "$SCAN" --settings "$SETTINGS" --tsv "$TREE" > /dev/null 2>> "$LOG"
}

# ---- a) Lower bound and scan, warm cache ---------------------------------------
make_tree "$TREE" "$MAIN_FILES" "$MAIN_BYTES"
warm "$TREE"
find "$TREE" -type f -printf '%s\t%p\n' > "$LIST"

say "measuring the lower bound (listing + reading same-size files in one thread)"
t_list=$(median 3 list_sizes) || die "find failed"
t_read=$(median 3 read_same_sizes) || die "read_bound failed"
t_bound=$(awk -v a="$t_list" -v b="$t_read" 'BEGIN { printf "%.3f", a + b }')
"$WORK_DIR/read_bound" < "$LIST" 2>&1 | sed 's/^/  /' >&2
say "  listing ${t_list} s + reading ${t_read} s = ${t_bound} s"

t_scan="-" ratio="-" ratio_verdict="-" rss_main="-" t_rule="-" rule_ratio="-" rule_verdict="-"
if [ -x "$SCAN" ]; then
  say "measuring the scan: $SCAN --settings $SETTINGS --tsv $TREE"
  if t_scan=$(median 3 scan_main); then
    ratio=$(ratio_of "$t_scan" "$t_bound")
    ratio_verdict=$(verdict "$ratio" "$RATIO_TARGET")
    say "  scan ${t_scan} s, ratio ${ratio}"
  else
    t_scan="failed"
    say "  the scan failed; see $LOG"
  fi
  # The same scan with a tag rule: every group held until its end and planned.
  if t_rule=$(median 3 scan_rule); then
    rule_ratio=$(ratio_of "$t_rule" "$t_scan")
    rule_verdict=$(verdict "$rule_ratio" 1.05)
    say "  with --keep newest ${t_rule} s, ${rule_ratio} x the plain scan"
  fi
  if kb=$(peak_kb "$SCAN" --settings "$SETTINGS" --no-cache --tsv "$TREE"); then
    rss_main=$(awk -v k="$kb" 'BEGIN { printf "%.1f MB", k * 1024 / 1e6 }')
    say "  peak RSS over $TREE: $rss_main"
  fi
else
  say "no $SCAN yet: skipping the scans, their ratios and their memory"
fi

# ---- b) Small files: a tenfold tree, its time and its memory ---------------------
t_small="-" t_big="-" linear="-" linear_verdict="-" rss_big="-" per_file="-" mem_verdict="-"
rss_big_none="-" rss_big_first="-" rss_big_second="-"
if [ -x "$SCAN" ]; then
  make_tree "$TREE_SMALL" "$SMALL_FILES" "$SMALL_BYTES"
  make_tree "$TREE_BIG" "$BIG_FILES" "$BIG_BYTES"
  warm "$TREE_SMALL"
  t_small=$(median 5 scan_small) || t_small="failed"
  warm "$TREE_BIG"
  t_big=$(median 5 scan_big) || t_big="failed"
  if [ "$t_small" != failed ] && [ "$t_big" != failed ]; then
    linear=$(awk -v s="$t_small" -v b="$t_big" -v ns="$SMALL_FILES" -v nb="$BIG_FILES" \
      'BEGIN { printf "%.2f", (b / nb) / (s / ns) }')
    linear_verdict=$(verdict "$linear" "$LINEAR_TARGET")
  fi
  say "  $SMALL_FILES small files ${t_small} s, $BIG_FILES ${t_big} s: time per file x${linear}"
  # Peak RSS of three scans of the big tree, in a home of its own: without
  # the cache, a first scan writing it, a second one reading it. The verdict
  # is the largest's.
  BIG_HOME="$WORK_DIR/big-home"
  mkdir -p "$BIG_HOME/.PeltoMarvish"
  rm -f "$BIG_HOME/.PeltoMarvish/ContentCache"
  kb_none=$(peak_kb "$SCAN" --settings "$SETTINGS" --no-cache --tsv "$TREE_BIG") || kb_none=""
  kb_first=$(HOME="$BIG_HOME" peak_kb "$SCAN" --settings "$SETTINGS" --tsv "$TREE_BIG") || kb_first=""
  kb_second=$(HOME="$BIG_HOME" peak_kb "$SCAN" --settings "$SETTINGS" --tsv "$TREE_BIG") || kb_second=""
  if [ -n "$kb_none" ] && [ -n "$kb_first" ] && [ -n "$kb_second" ]; then
    mb() { awk -v k="$1" 'BEGIN { printf "%.1f MB", k * 1024 / 1e6 }'; }
    rss_big_none=$(mb "$kb_none") rss_big_first=$(mb "$kb_first") rss_big_second=$(mb "$kb_second")
    largest=$(printf '%s\n' "$kb_none" "$kb_first" "$kb_second" | sort -n | tail -1)
    read -r rss_big per_file mem_verdict < <(awk -v k="$largest" -v n="$BIG_FILES" -v base="$BASE_MB" -v per="$PER_FILE" 'BEGIN {
      peak = k * 1024; over = peak - base * 1e6; if (over < 0) over = 0
      printf "%.1f %.0f %s\n", peak / 1e6, over / n, (peak <= base * 1e6 + per * n ? "ok" : "MISSED") }')
    rss_big="$rss_big MB"
    say "  peak RSS without the cache ${rss_big_none}, first scan ${rss_big_first}, second ${rss_big_second}"
    say "  largest ${rss_big}: $per_file bytes per file above $BASE_MB MB ($mem_verdict)"
  else
    say "  a memory run failed; see $LOG"
  fi
fi

# ---- c) Hashing throughput ------------------------------------------------------
hash_gbps="-" hash_verdict="-"
if [ ! -x "$HASH_BENCH" ]; then
  say "no $HASH_BENCH: compiling it into $WORK_DIR"
  if g++ -O2 -std=c++20 "$BENCH_SRC/hash_bench.cc" -o "$WORK_DIR/hash_bench" -ldeflate -lxxhash; then
    HASH_BENCH="$WORK_DIR/hash_bench"
  fi
fi
if [ -x "$HASH_BENCH" ]; then
  say "measuring CRC-32 + XXH3-128 in memory"
  if out=$("$HASH_BENCH"); then
    printf '%s\n' "$out" | sed 's/^/  /' >&2
    hash_gbps=$(printf '%s\n' "$out" | awk '/^combined:/ { print $2 }')
    hash_verdict=$(awk -v g="$hash_gbps" -v t="$HASH_TARGET" 'BEGIN { print (g >= t ? "ok" : "MISSED") }')
  fi
else
  say "hash_bench is not available: skipping"
fi

# with_display CMD ARGS...: runs a window benchmark on this display, or on a
# virtual one when there is none; prints its output and echoes it to stderr.
with_display() {
  local out
  if [ -n "${DISPLAY:-}" ]; then
    out=$("$@" 2>/dev/null)
  else
    out=$(xvfb-run -a "$@" 2>/dev/null)
  fi
  printf '%s\n' "$out" | sed 's/^/  /' >&2
  printf '%s\n' "$out"
}

# ---- d) The window with a 50,000-row result ----------------------------------------
LIST_BENCH="$BUILD_DIR/bench/list_bench"
list_lag="n/a"
if [ -x "$LIST_BENCH" ]; then
  say "measuring the window with a 50,000-row result"
  out=$(with_display "$LIST_BENCH" "$WORK_DIR/listbench")
  list_lag=$(printf '%s\n' "$out" | awk '/window behind the headless scan/ { print $6 }')
else
  say "no $LIST_BENCH: skipping the window measurement"
fi

# ---- e) The bulk list commands on a 50,000-row list --------------------------------
CMD_BENCH="$BUILD_DIR/bench/list_commands_bench"
slowest_command="n/a"
if [ -x "$CMD_BENCH" ]; then
  say "measuring the bulk list commands on 50,000 rows"
  out=$(with_display "$CMD_BENCH" "$WORK_DIR/listcmd")
  slowest_command=$(printf '%s\n' "$out" | awk '/ s list / { for (i = 1; i <= NF; ++i) if ($(i + 1) == "s" && $(i + 2) == "list" && $i > max) max = $i } END { print max }')
else
  say "no $CMD_BENCH: skipping the list commands"
fi

# ---- g) The content cache: a second scan of the unchanged main tree ------------
t_first="-" t_second="-" second_ratio="-" second_verdict="-" first_ratio="-" first_verdict="-"
read_second="-" read_allowed="-" read_walk="-"
if [ -x "$SCAN" ]; then
  mkdir -p "$CACHE_HOME/.PeltoMarvish"
  say "measuring the content cache over $TREE"
  t_first=$(median 3 scan_first_cached) || t_first="failed"
  scan_first_cached
  t_second=$(median 3 scan_second_cached) || t_second="failed"
  second_ratio=$(ratio_of "$t_second" "$t_list")
  second_verdict=$(verdict "$second_ratio" 1.3)
  first_ratio=$(ratio_of "$t_first" "$t_scan")
  first_verdict=$(verdict "$first_ratio" 1.05)
  say "  first scan (writing the cache) ${t_first} s, ${first_ratio} x the scan without it"
  say "  second scan ${t_second} s, ${second_ratio} x listing the tree (${t_list} s)"
  if [ "$COLD" = 1 ] && [ -w /proc/sys/vm/drop_caches ] && [ -x /usr/bin/time ]; then
    # Bytes read from the disk (time's %I, 512-byte blocks), page cache
    # dropped first: the second scan, against a walk by the same program
    # that compares sizes only (the directories, the inodes, the program
    # itself) plus the cache file plus 1 % of the tree.
    cold_read_kb() {
      sync; echo 3 > /proc/sys/vm/drop_caches
      "$@" > /dev/null 2>> "$LOG" || return 1
      tail -n 1 "$WORK_DIR/blocks.out" | awk '{ print $1 / 2 }'
    }
    second_kb=$(cold_read_kb env HOME="$CACHE_HOME" /usr/bin/time -f '%I' -o "$WORK_DIR/blocks.out" \
      "$SCAN" --settings "$SETTINGS" --tsv "$TREE") || second_kb=""
    walk_kb=$(cold_read_kb /usr/bin/time -f '%I' -o "$WORK_DIR/blocks.out" \
      "$SCAN" --settings "$SETTINGS_SIZE" --no-cache --tsv "$TREE") || walk_kb=""
    cache_kb=$(du -k "$CACHE_HOME/.PeltoMarvish/ContentCache" | cut -f1)
    if [ -n "$second_kb" ] && [ -n "$walk_kb" ]; then
      read_second=$(awk -v k="$second_kb" 'BEGIN { printf "%.1f MB", k * 1024 / 1e6 }')
      read_allowed=$(awk -v w="$walk_kb" -v c="$cache_kb" -v t="$(du -sk "$TREE" | cut -f1)" \
        'BEGIN { printf "%.1f MB", (w + c + t * 0.01) * 1024 / 1e6 }')
      read_walk=$(awk -v k="$walk_kb" 'BEGIN { printf "%.1f MB", k * 1024 / 1e6 }')
    fi
    say "  second scan, page cache dropped: read ${read_second} (a walk alone ${read_walk}; walk + cache + 1% of the tree = ${read_allowed})"
  fi
fi

# ---- f) The main tree, cold cache (last: it empties the page cache) ----------
c_list="-" c_read="-" c_bound="-" c_scan="-" c_ratio="-"
if [ "$COLD" = 1 ] && [ -x "$SCAN" ] && [ -w /proc/sys/vm/drop_caches ]; then
  say "measuring with the page cache dropped before each run (median of 5)"
  DROP_FIRST=1
  c_list=$(median 5 list_sizes) || die "find failed"
  c_read=$(median 5 read_same_sizes_parallel) || die "read_bound failed"
  c_bound=$(awk -v a="$c_list" -v b="$c_read" 'BEGIN { printf "%.3f", a + b }')
  say "  listing ${c_list} s + reading with $COLD_THREADS threads ${c_read} s = ${c_bound} s"
  if c_scan=$(median 5 scan_main); then
    c_ratio=$(ratio_of "$c_scan" "$c_bound")
    say "  scan ${c_scan} s, ratio ${c_ratio}"
  fi
  DROP_FIRST=""
else
  say "skipping the cold-cache runs (PM_BENCH_COLD=0, no scanner, or not root)"
fi

# ---- Table ------------------------------------------------------------------------
printf '\n%-40s %-14s %s\n' "measure" "value" "target"
printf '%-40s %-14s %s\n' "lower bound, warm (s)" "$t_bound" "list ${t_list} + read ${t_read}"
printf '%-40s %-14s %s\n' "scan, size + CRC-32, warm (s)" "$t_scan" ""
printf '%-40s %-14s %s\n' "ratio scan / bound, warm" "$ratio" "<= $RATIO_TARGET  $ratio_verdict"
printf '%-40s %-14s %s\n' "scan with --keep newest, warm (s)" "$t_rule" "${rule_ratio} x the scan, <= 1.05  $rule_verdict"
printf '%-40s %-14s %s\n' "lower bound, cold (s)" "$c_bound" "list ${c_list} + read ${c_read} ($COLD_THREADS threads)"
printf '%-40s %-14s %s\n' "scan, cold (s)" "$c_scan" ""
printf '%-40s %-14s %s\n' "ratio scan / bound, cold" "$c_ratio" ""
printf '%-40s %-14s %s\n' "peak RSS, ${MAIN_FILES} files" "$rss_main" ""
printf '%-40s %-14s %s\n' "first scan writing the cache (s)" "$t_first" "${first_ratio} x the scan, <= 1.05  $first_verdict"
printf '%-40s %-14s %s\n' "second scan, cache, warm (s)" "$t_second" "${second_ratio} x find -printf, <= 1.3  $second_verdict"
printf '%-40s %-14s %s\n' "second scan, cache, cold: bytes read" "$read_second" "<= $read_allowed"
printf '%-40s %-14s %s\n' "scan, ${SMALL_FILES} small files (s)" "$t_small" ""
printf '%-40s %-14s %s\n' "scan, ${BIG_FILES} small files (s)" "$t_big" ""
printf '%-40s %-14s %s\n' "  time per file, big / small" "$linear" "<= $LINEAR_TARGET  $linear_verdict"
printf '%-40s %-14s %s\n' "peak RSS, ${BIG_FILES} files, no cache" "$rss_big_none" ""
printf '%-40s %-14s %s\n' "  first scan, writing the cache" "$rss_big_first" ""
printf '%-40s %-14s %s\n' "  second scan, reading the cache" "$rss_big_second" ""
printf '%-40s %-14s %s\n' "  the largest" "$rss_big" "<= $BASE_MB MB + $PER_FILE B/file"
printf '%-40s %-14s %s\n' "  bytes per file above $BASE_MB MB" "$per_file" "<= $PER_FILE  $mem_verdict"
printf '%-40s %-14s %s\n' "CRC-32 + XXH3-128 (GB/s)" "$hash_gbps" ">= $HASH_TARGET  $hash_verdict"
printf '%-40s %-14s %s\n' "window behind headless, 50k rows (s)" "$list_lag" "<= 2"
printf '%-40s %-14s %s\n' "slowest bulk list command (s)" "$slowest_command" "<= 1 (list work)"
