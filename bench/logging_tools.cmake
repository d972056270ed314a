# The log tools: conversions between the three log formats, the signal export to MDF, MDF to CSV, and the
# refresh rate of their progress dialog.
vex_benchmark(logging_tools SOURCES ${CMAKE_CURRENT_LIST_DIR}/logging/tools_bench.cpp
  LIBS vex_logging_ui Qt6::Widgets)
