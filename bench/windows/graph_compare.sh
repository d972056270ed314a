#!/bin/sh
# Runs two builds of the graph bench in turn, round after round, so that both meet the same machine, and
# prints the load before each run:
#   bench/windows/graph_compare.sh BEFORE_BINARY AFTER_BINARY [ROUNDS] [FILTER]
# A "before" binary: the earlier revision with this bench source copied in, for example
#   git worktree add --detach ../graph-base <rev>
#   cp bench/windows/graph_bench.cpp ../graph-base/bench/windows/
#   (cd ../graph-base && make bench)     # or: cmake --build build-bench --target bench_graph
# and then: bench/windows/graph_compare.sh ../graph-base/build-bench/bench_graph build-bench/bench_graph 3
set -eu
before=$(realpath "$1")
after=$(realpath "$2")
rounds=${3:-3}
filter=${4:-.}
export QT_QPA_PLATFORM=offscreen
i=1
while [ "$i" -le "$rounds" ]; do
    for which in before after; do
        if [ "$which" = before ]; then bin=$before; else bin=$after; fi
        echo "== round $i, $which, load: $(cut -d' ' -f1-3 /proc/loadavg)"
        (cd "$(dirname "$bin")" && "$bin" --benchmark_filter="$filter" 2>&1) | grep -E '^BM_|ERROR' || true
    done
    i=$((i + 1))
done
