# Log files: writing and reading 10 M ".crm" records, paging such a file, loading a replay page; and two
# channels at full bus load logged for 60 s, checked frame by frame.
vex_benchmark(logging SOURCES ${CMAKE_CURRENT_LIST_DIR}/logging/crm_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/benchsetup.cpp
  LIBS vex_logging)
vex_benchmark(logging_fullload SOURCES ${CMAKE_CURRENT_LIST_DIR}/logging/fullload_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/benchsetup.cpp
  LIBS vex_logging VexDevicePort)
