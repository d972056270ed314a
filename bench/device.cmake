# The receive path of both device kinds against the emulated bus.
vex_benchmark(device SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_bench.cpp LIBS Parvel Morvan VexDevicePort)
