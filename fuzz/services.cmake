# The services' two CSV readers and the J1939 BAM reassembly over any input.
vex_fuzz_target(services_vehsim_csv
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/services_vehsim_csv.cpp
  LIBS vex_services
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/services_vehsim_csv)
vex_fuzz_target(services_spnfmi_csv
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/services_spnfmi_csv.cpp
  LIBS vex_services
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/services_spnfmi_csv)
vex_fuzz_target(services_j1939_bam
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/services_j1939_bam.cpp
  LIBS vex_services
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/services_j1939_bam)
