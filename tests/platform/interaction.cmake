qx6_add_test(qx6interaction_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScriptedUserInteractionTest.cpp
  LIBS qx6platform)
