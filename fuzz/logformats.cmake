# Text logs: any bytes open as a text log, every accepted line survives writing and parsing again.
vex_fuzz_target(txtlog_read SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/txtlog_read.cpp LIBS vex_logging
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/txtlog)
# MDF logs: any bytes open as an MDF log or are refused with a reason; reads stay within their buffers.
vex_fuzz_target(mdflog_read SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/mdflog_read.cpp LIBS vex_logging
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/mdflog)
