list(APPEND QX6_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Win32Types.h
  ${CMAKE_CURRENT_LIST_DIR}/SystemMessage.cpp ${CMAKE_CURRENT_LIST_DIR}/SystemMessage.h
  ${CMAKE_CURRENT_LIST_DIR}/RegistryHive.cpp ${CMAKE_CURRENT_LIST_DIR}/RegistryHive.h
  ${CMAKE_CURRENT_LIST_DIR}/RegistryStore.cpp ${CMAKE_CURRENT_LIST_DIR}/RegistryStore.h
  ${CMAKE_CURRENT_LIST_DIR}/Registry.cpp ${CMAKE_CURRENT_LIST_DIR}/Registry.h
  ${CMAKE_CURRENT_LIST_DIR}/RegistryTransaction.cpp ${CMAKE_CURRENT_LIST_DIR}/RegistryTransaction.h
  ${CMAKE_CURRENT_LIST_DIR}/Environment.cpp ${CMAKE_CURRENT_LIST_DIR}/Environment.h
  ${CMAKE_CURRENT_LIST_DIR}/FileSystem.cpp ${CMAKE_CURRENT_LIST_DIR}/FileSystem.h)
