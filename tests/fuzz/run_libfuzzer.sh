#!/usr/bin/env bash
# Builds a reader's fuzz target with clang's libFuzzer and AddressSanitizer
# and runs it for a bounded time over its seed corpus and regression cases.
# A crash fails the run and leaves the input in WORK_DIR (copy it into
# tests/fuzz/TARGET_regressions).
#
#   run_libfuzzer.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS [TARGET]
#
# TARGET is "contents" (the contents file, the default) or "content_cache"
# (the scan's ContentCache file, whose seeds the loop program writes).
set -euo pipefail
clangxx=$1 src=$2 work=$3 seconds=$4 target=${5:-contents}

mkdir -p "$work/corpus"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -I "$src/src")
case $target in
  contents)
    "$clangxx" "${flags[@]}" "$src/tests/fuzz/contents_fuzz.cc" \
      "$src/src/list_text/contents_file.cc" "$src/src/core/row_texts.cc" -o "$work/fuzz"
    cp "$src"/tests/fuzz/contents_corpus/* "$work/corpus/"
    max_len=65536
    ;;
  content_cache)
    "$clangxx" "${flags[@]}" "$src/tests/fuzz/content_cache_fuzz.cc" \
      "$src/src/scan/content_cache.cc" "$src/src/scan/group_tree.cc" -lxxhash -o "$work/fuzz"
    # The seeds are made by the same source built as the loop program.
    "$clangxx" -std=c++20 -O1 -DPM_FUZZ_LOOP -I "$src/src" "$src/tests/fuzz/content_cache_fuzz.cc" \
      "$src/src/scan/content_cache.cc" "$src/src/scan/group_tree.cc" -lxxhash -o "$work/fuzz_seeds"
    "$work/fuzz_seeds" --write-seeds "$work/corpus"
    max_len=4096
    ;;
  *)
    echo "run_libfuzzer.sh: no fuzz target $target" >&2
    exit 2
    ;;
esac
cd "$work"
"./fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
  -artifact_prefix="$work/" -print_final_stats=1 corpus "$src/tests/fuzz/${target}_regressions" \
  2>&1 | tail -n 25
