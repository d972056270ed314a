# The trace window's per-tick update of its list and tree models, with the views attached.
vex_benchmark(windows SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows/trace_bench.cpp LIBS vex_windows)
