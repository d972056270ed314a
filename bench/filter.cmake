vex_benchmark(filter SOURCES ${CMAKE_CURRENT_LIST_DIR}/filter/canmsgfilter_bench.cpp LIBS vex_filter)
