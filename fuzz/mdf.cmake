# Measurement files: open any bytes as an MDF file and read every channel.
vex_fuzz_target(mdf_read SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/mdf_read.cpp LIBS Lorimar
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/mdf)
