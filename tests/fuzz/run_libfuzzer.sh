#!/usr/bin/env bash
# Builds the contents reader's fuzz target with clang's libFuzzer and
# AddressSanitizer and runs it for a bounded time over the committed seed
# corpus and regression cases. A crash fails the run and leaves the input in
# WORK_DIR (copy it into tests/fuzz/contents_regressions).
#
#   run_libfuzzer.sh CLANGXX SOURCE_DIR WORK_DIR SECONDS
set -euo pipefail
clangxx=$1 src=$2 work=$3 seconds=$4

mkdir -p "$work/corpus"
"$clangxx" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I "$src/src" "$src/tests/fuzz/contents_fuzz.cc" "$src/src/list_text/contents_file.cc" \
  "$src/src/core/row_texts.cc" -o "$work/contents_fuzz"
cp "$src"/tests/fuzz/contents_corpus/* "$work/corpus/"
cd "$work"
"./contents_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$work/" -print_final_stats=1 corpus "$src/tests/fuzz/contents_regressions" \
  2>&1 | tail -n 25
