# Signal codec: decoding every signal of a frame as the data hub does it.
vex_benchmark(candb SOURCES ${CMAKE_CURRENT_LIST_DIR}/candb_codec_bench.cpp LIBS vex_candb)
