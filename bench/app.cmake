# The data hub's drain with a real database, and the whole receive path from the emulated bus to the drain.
vex_benchmark(app SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/app/hub_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/rxpath_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/benchsetup.cpp
  LIBS vex_app VexDevicePort)
