# Signal codec over arbitrary signal definitions and data bytes.
vex_fuzz_target(candb_codec
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/candb_codec.cpp
  LIBS vex_candb
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/candb_codec)
# DBC import of any bytes, and export of whatever was read.
vex_fuzz_target(candb_dbc
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/candb_dbc.cpp
  LIBS vex_candb
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/candb_dbc)
# The configuration's database list and database elements over any XML text.
vex_fuzz_target(candb_xml
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/candb_xml.cpp
  LIBS vex_candb
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/candb_xml)
