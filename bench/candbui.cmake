# The database editor: the largest real DBC file imported through the list and opened in the editor to a
# painted window; sorting the list pane.
vex_benchmark(candbui SOURCES ${CMAKE_CURRENT_LIST_DIR}/candbui/editor_bench.cpp LIBS vex_candb_ui)
