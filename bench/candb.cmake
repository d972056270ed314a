# Signal codec: decoding every signal of a frame as the data hub does it.
vex_benchmark(candb SOURCES ${CMAKE_CURRENT_LIST_DIR}/candb_codec_bench.cpp LIBS vex_candb)
# DBC import: the largest real file from memory, and its export.
vex_benchmark(candb_dbc SOURCES ${CMAKE_CURRENT_LIST_DIR}/dbc_import_bench.cpp LIBS vex_candb)
# Command-line import of the DBC files given: per file messages, signals, value tables and microseconds.
vex_benchmark(dbc_import SOURCES ${CMAKE_CURRENT_LIST_DIR}/dbc_import_main.cpp LIBS vex_candb)
