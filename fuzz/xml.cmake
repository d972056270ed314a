# XML document: parse any text, walk every element, read and write attributes, add elements.
vex_fuzz_target(xml_parse SOURCE ${CMAKE_CURRENT_LIST_DIR}/xml_parse.cpp LIBS vex_xmldoc
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/xml)
