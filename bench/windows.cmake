# The trace window's per-tick update of its list and tree models, with the views attached.
vex_benchmark(windows SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows/trace_bench.cpp LIBS vex_windows)
# The graph window's repaint of 256 curves and its per-tick drain of the sample FIFO.
vex_benchmark(graph SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows/graph_bench.cpp LIBS vex_windows)
