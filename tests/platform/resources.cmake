qx6_add_test(qx6resourcemodule_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ResourceModuleTest.cpp
  LIBS qx6platform qx6testsupport)
