# qx5_module(NAME DIR [DIRS dir ...] [LINKS ...] [PRIVATE_LINKS ...] [EXCLUDE file ...])
# One module per source folder: a static library of every .cpp in it (an INTERFACE library when
# it has none), linking exactly the modules it may use. DIRS adds further folders to the same
# module, for one concern whose files are grouped in subfolders. Files named *_win.cpp are built for
# Windows only and *_posix.cpp everywhere else, where a service differs wholly between the two.
#
# Module boundaries are enforced by the compiler: no target has the project root on its include
# path. Each module's headers are staged as links under <build>/include/<NAME>/<path from the
# root> (the same include text, "qx5_dll/transport/DeviceData.h"), and that folder is the
# module's include root, passed on to whatever links it. A file that includes a header of a
# module its target does not link fails to compile, so a wrong arrow never builds.
function(qx5_module name dir)
  cmake_parse_arguments(ARG "" "" "DIRS;LINKS;PRIVATE_LINKS;EXCLUDE" ${ARGN})
  set(sources)
  foreach(folder ${dir} ${ARG_DIRS})
    file(GLOB found CONFIGURE_DEPENDS ${folder}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${dir}/${ex})
  endforeach()
  qx5_platform_sources(sources)
  qx5_stage_headers(${name} "${dir};${ARG_DIRS}" root)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# Drops from the list in VAR the sources of the other operating system.
function(qx5_platform_sources var)
  if(WIN32)
    list(FILTER ${var} EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER ${var} EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# Links every header of the folders in DIRS (not their subfolders, unless listed: they are modules
# of their own) into the module's include root, and returns the root in OUT. Where the file
# system cannot make links, the project root stands in: the build works, but boundaries are then
# checked only where links work.
function(qx5_stage_headers name dirs out)
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${root})  # a header deleted from the sources leaves no stale link
  foreach(dir ${dirs})
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    file(MAKE_DIRECTORY ${root}/${rel})
    foreach(header ${headers})
      get_filename_component(file ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${rel}/${file} RESULT failed SYMBOLIC)
      if(failed)
        message(WARNING "cannot link headers (${failed}): module boundaries are not enforced")
        set(${out} ${PROJECT_SOURCE_DIR} PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# qx5_test_suite(NAME DIR LIBS ... [LOCK]) : one GoogleTest program per test folder. A suite sees
# the modules it links and the shared test support (tests/, e.g. "support/TempDir.h").
# LOCK puts every test of the suite under the common resource lock for suites that start
# processes loading libqx5dll.so (the process guard refuses overlapping users); their end-to-end
# runs (a firmware download waits 10 s for the launch) get a longer time limit.
# Test files named *_posix.cpp are left out of Windows builds, whose suites CTest does not run:
# they are listed in <build>/windows_suites.txt for tests/windows/run.sh to run under Wine.
function(qx5_test_suite name dir)
  cmake_parse_arguments(ARG "LOCK" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  qx5_platform_sources(sources)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  # GoogleTest's headers cost more to compile than most test files: a suite's files are built as
  # one translation unit. All of them, so that a Linux build meets every clash of names a
  # Windows build (fewer files) could.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ${QX5_UNITY_TESTS} UNITY_BUILD_BATCH_SIZE 0)
  if(QX5_UNITY_TESTS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC takes the included test files for headers and warns of their fixtures in anonymous
    # namespaces, which are right in a test file.
    target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE QX5_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             QX5_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_compile_options(${name} PRIVATE ${QX5_TEST_OPTIONS})
  if(WIN32)
    set_property(GLOBAL APPEND PROPERTY QX5_WINDOWS_SUITES ${name})
  elseif(ARG_LOCK)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES RESOURCE_LOCK qx5dll_process TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  endif()
endfunction()
