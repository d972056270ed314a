# The queue transmit's achieved inter-frame gaps on the emulated bus, and J1939 BAM reassembly.
vex_benchmark(services SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/services/queue_gap_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/j1939_bam_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/bench_main.cpp
  LIBS vex_services VexDevicePort)
# A minute of random J1939 transport traffic through the DMx service: memory and info messages stay flat.
vex_benchmark(j1939_flood SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/services/j1939_flood_bench.cpp
  LIBS vex_services)
# The whole program online under the same flood from the emulated bus: memory, info rows, lost frames.
vex_benchmark(program_flood SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/services/program_flood_bench.cpp
  LIBS vex_app_ui VexDevicePort vex_testprompt vex_testsupport)
