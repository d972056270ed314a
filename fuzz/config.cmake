# Configuration file and queue-transmit list file: load any bytes from disk; whatever loads must save and
# load again to the very same text.
vex_fuzz_target(config_load
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/config_load.cpp
  LIBS vex_config
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/config)
