#!/bin/sh
# Runs two builds of the trace bench in turn, round after round, so that both meet the same machine:
#   bench/windows/compare.sh BEFORE_BINARY AFTER_BINARY [ROUNDS]
# A "before" binary: the earlier revision's sources with this bench copied in, built with `make bench`
# (for example `git archive <rev> | tar -x -C build-before-src`, copy bench/windows*, configure with
# -DVEX_BUILD_BENCH=ON in build-before-src/build-bench and build the bench_windows target).
set -eu
before=$1
after=$2
rounds=${3:-3}
export QT_QPA_PLATFORM=offscreen
i=1
while [ "$i" -le "$rounds" ]; do
    echo "== round $i, load: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "-- before"
    "$before" 2>&1 | grep -E '^\[ figures \]|ERROR'
    echo "-- after"
    "$after" 2>&1 | grep -E '^\[ figures \]|ERROR'
    i=$((i + 1))
done
