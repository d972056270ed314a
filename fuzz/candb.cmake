# Signal codec over arbitrary signal definitions and data bytes.
vex_fuzz_target(candb_codec
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/candb_codec.cpp
  LIBS vex_candb
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/candb_codec)
