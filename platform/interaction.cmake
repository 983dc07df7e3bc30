list(APPEND QX6_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ScriptedUserInteraction.cpp ${CMAKE_CURRENT_LIST_DIR}/ScriptedUserInteraction.h
  ${CMAKE_CURRENT_LIST_DIR}/UserInteraction.cpp ${CMAKE_CURRENT_LIST_DIR}/UserInteraction.h)
