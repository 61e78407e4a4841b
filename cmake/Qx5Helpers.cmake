# qx5_folder_library(NAME DIR [DEPS ...] [EXCLUDE file ...])
# One static library per source folder, from every .cpp in it, so each concern builds (and
# fails) on its own. A folder without sources yields an INTERFACE library.
function(qx5_folder_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${dir}/${ex})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# qx5_test_suite(NAME DIR LIBS ... [LOCK]) : one GoogleTest program per test folder.
# LOCK puts every test of the suite under the common resource lock for suites that start
# processes loading libqx5dll.so (the process guard refuses overlapping users).
function(qx5_test_suite name dir)
  cmake_parse_arguments(ARG "LOCK" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE QX5_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             QX5_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_LOCK)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES RESOURCE_LOCK qx5dll_process TIMEOUT 120)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  endif()
endfunction()
