# Update-check reply: any bytes as the server's answer, parsed and its version compared.
vex_fuzz_target(update_reply SOURCE ${CMAKE_CURRENT_LIST_DIR}/update_reply.cpp LIBS vex_app
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/update_reply)
