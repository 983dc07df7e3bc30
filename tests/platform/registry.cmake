qx6_add_test(qx6registry_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/RegistryFolderTest.h
          ${CMAKE_CURRENT_LIST_DIR}/RegistryTransactionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ShellFoldersTest.cpp
  LIBS qx6platform qx6testsupport)

# A second process for the transaction and crash tests, and a component
# library whose registration can break off midway.
add_executable(qx6registry_helper ${CMAKE_CURRENT_LIST_DIR}/RegistryHelper.cpp)
target_link_libraries(qx6registry_helper PRIVATE qx6platform qx6_warnings)
set_target_properties(qx6registry_helper PROPERTIES BUILD_RPATH "${QX6_LIB_DIR}")
add_library(qx6registration_fixture MODULE ${CMAKE_CURRENT_LIST_DIR}/RegistrationFixture.cpp)
target_link_libraries(qx6registration_fixture PRIVATE qx6platform qx6_warnings)
set_target_properties(qx6registration_fixture PROPERTIES BUILD_RPATH "${QX6_LIB_DIR}")
add_dependencies(qx6registry_tests qx6registry_helper qx6registration_fixture)
target_compile_definitions(qx6registry_tests PRIVATE
  QX6_REGISTRY_HELPER="$<TARGET_FILE:qx6registry_helper>"
  QX6_REGISTRATION_FIXTURE="$<TARGET_FILE:qx6registration_fixture>")
