# The trace window's tick as the user meets it: shown, a real database, the ring full, painted; and under
# a flood of random identifiers, with the memory it takes.
vex_benchmark(windows SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows/trace_bench.cpp LIBS vex_windows)
# The graph window's repaint of 256 curves and its per-tick drain of the sample FIFO.
vex_benchmark(graph SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows/graph_bench.cpp LIBS vex_windows)
