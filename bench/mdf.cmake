# Measurement files: writing 100 channels x 1 M samples, and opening and reading every channel of the result.
vex_benchmark(mdf SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/mdf_bench.cpp LIBS Lorimar)
