# ".crm" logs: open any bytes as a log file and as a replay file, read by index and by time, page both
# ways and look pages up.
vex_fuzz_target(crm_read SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/crm_read.cpp LIBS vex_logging
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/crm)
