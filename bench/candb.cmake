# Signal codec: decoding every signal of a frame as the data hub does it.
vex_benchmark(candb SOURCES ${CMAKE_CURRENT_LIST_DIR}/candb_codec_bench.cpp LIBS vex_candb)
# DBC import warm: the largest real file from its file and from memory, all real files, and the export.
vex_benchmark(candb_dbc SOURCES ${CMAKE_CURRENT_LIST_DIR}/dbc_import_bench.cpp LIBS vex_candb)
# DBC import as the user meets it: the first import in fresh processes and warm, per file, p50/p95.
vex_benchmark(dbc_import SOURCES ${CMAKE_CURRENT_LIST_DIR}/dbc_import_main.cpp LIBS vex_candb)
