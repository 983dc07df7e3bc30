# Build conventions shared by every folder: warnings, sanitizers and the
# staged product folder, which has the same layout as an installed product.
include(GNUInstallDirs)
set(QX6_PRODUCT_DIR ${CMAKE_BINARY_DIR}/product)
# Installed, the product folder is one folder under the multiarch library
# folder (/usr/lib/x86_64-linux-gnu/quorvex), laid out as product/ is.
set(QX6_INSTALL_PRODUCT_DIR ${CMAKE_INSTALL_LIBDIR}/quorvex)
# Shared libraries are installed without the execute bit, as Debian wants.
set(QX6_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(QX6_LIB_DIR ${QX6_PRODUCT_DIR}/lib)
set(QX6_BIN_DIR ${QX6_PRODUCT_DIR}/bin)
set(QX6_EXPORTERS_DIR ${QX6_PRODUCT_DIR}/exporters)
file(MAKE_DIRECTORY ${QX6_LIB_DIR} ${QX6_BIN_DIR} ${QX6_EXPORTERS_DIR}
     ${QX6_PRODUCT_DIR}/lang/1033 ${QX6_PRODUCT_DIR}/common ${QX6_PRODUCT_DIR}/help)

add_library(qx6_warnings INTERFACE)
target_compile_options(qx6_warnings INTERFACE -Wall -Wextra)
if(QX6_WERROR)
  target_compile_options(qx6_warnings INTERFACE -Werror)
endif()
if(QX6_FUZZERS)
  # Coverage feedback from every library the fuzz targets reach.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(QX6_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# A layer of the product: a shared library staged in product/lib.
function(qx6_add_library name)
  add_library(${name} SHARED ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE qx6_warnings)
  set_target_properties(${name} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${QX6_LIB_DIR}
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN"
    CXX_VISIBILITY_PRESET default)
  install(TARGETS ${name} LIBRARY DESTINATION ${QX6_INSTALL_PRODUCT_DIR}/lib
          PERMISSIONS ${QX6_LIBRARY_PERMISSIONS})
endfunction()

# A layer that lives inside the component library (linked into it, and into
# the tests that drive it directly).
function(qx6_add_component_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE qx6_warnings)
endfunction()

# A program of the product, staged in product/bin.
function(qx6_add_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE qx6_warnings qx6version)
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${QX6_BIN_DIR}
    BUILD_RPATH "$ORIGIN/../lib"
    INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS ${name} RUNTIME DESTINATION ${QX6_INSTALL_PRODUCT_DIR}/bin)
  # On the PATH through a relative link: the program finds the product as
  # the parent of its own real folder (/proc/self/exe), not of the link's.
  file(RELATIVE_PATH target ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${QX6_INSTALL_PRODUCT_DIR}/bin/${name})
  set(link ${CMAKE_BINARY_DIR}/install-links/${name})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
  file(CREATE_LINK ${target} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# A GoogleTest executable for one folder, registered with CTest; ENV adds
# variables to the tests' environment (the offscreen Qt platform, say).
function(qx6_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main qx6_warnings)
  target_compile_definitions(${name} PRIVATE
    QX6_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QX6_PRODUCT_DIR="${QX6_PRODUCT_DIR}")
  set_target_properties(${name} PROPERTIES BUILD_RPATH "${QX6_LIB_DIR}")
  if(T_ENV)
    # Discovered tests cannot carry more than one variable, so these are
    # read from the sources and given the environment as a list.
    gtest_add_tests(TARGET ${name} SOURCES ${T_SOURCES} TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8;${T_ENV}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8")
  endif()
endfunction()
