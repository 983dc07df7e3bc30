qx6_add_test(qx6registry_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegistryHiveTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/RegistryTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ShellFoldersTest.cpp
  LIBS qx6platform qx6testsupport)
