# XML document: parse and load a configuration-sized document of 5 MB, and build one element by element.
vex_benchmark(xml SOURCES ${CMAKE_CURRENT_LIST_DIR}/xml_bench.cpp LIBS vex_xmldoc)
