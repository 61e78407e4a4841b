# Installation: the library with its soname, header, pkg-config file and CMake package, the
# tester, its man page, the Python module and the udev rule. Every path below the prefix is
# relative, so `cmake --install --prefix P` and DESTDIR staging give a tree that works where
# it lands.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# libqx5dll.so.2.2.0.18 with the soname libqx5dll.so.2; libqx5dll.so stays a link to it, so
# programs that load "libqx5dll.so" (the tester, the process guard's name match) still find it.
set_target_properties(qx5dll PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(qx5dll INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS qx5dll EXPORT qx5dllTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/qx5_dll/include/qx5dll.h ${QX5_GENERATED_INCLUDE}/qx5dll_gauge.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# Programs linked against a library outside the linker's default directories carry its
# directory as their run path, so they start without LD_LIBRARY_PATH. /usr/lib and friends
# need none.
set(QX5_INSTALL_FULL_LIBDIR ${CMAKE_INSTALL_FULL_LIBDIR})
if(QX5_INSTALL_FULL_LIBDIR IN_LIST CMAKE_C_IMPLICIT_LINK_DIRECTORIES
   OR QX5_INSTALL_FULL_LIBDIR IN_LIST CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES)
  set(QX5_PC_RUNPATH "")
  set(QX5_NEEDS_RUNPATH FALSE)
else()
  set(QX5_PC_RUNPATH " -Wl,-rpath,\${libdir}")
  set(QX5_NEEDS_RUNPATH TRUE)
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/qx5dll.pc.in ${PROJECT_BINARY_DIR}/packaging/qx5dll.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/qx5dll.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# Beside it, the same for the build tree (PKG_CONFIG_PATH=<build>/packaging); not installed.
set(QX5_BUILD_LIBDIR ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
configure_file(${PROJECT_SOURCE_DIR}/packaging/qx5dll-uninstalled.pc.in
               ${PROJECT_BINARY_DIR}/packaging/qx5dll-uninstalled.pc @ONLY)

# find_package(qx5dll) gives the imported target qx5dll::qx5dll.
set(QX5_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qx5dll)
install(EXPORT qx5dllTargets NAMESPACE qx5dll:: DESTINATION ${QX5_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/qx5dllConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/packaging/qx5dllConfig.cmake
                              INSTALL_DESTINATION ${QX5_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/qx5dllConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/packaging/qx5dllConfig.cmake
              ${PROJECT_BINARY_DIR}/packaging/qx5dllConfigVersion.cmake
        DESTINATION ${QX5_CMAKE_PACKAGE_DIR})

# The tester loads the library at run time: beside itself first, then the system search,
# which includes its own run path. $ORIGIN keeps the installed tree relocatable.
if(TARGET qx5cmd)
  file(RELATIVE_PATH qx5_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(qx5cmd PROPERTIES INSTALL_RPATH "\$ORIGIN/${qx5_bin_to_lib}")
  target_link_options(qx5cmd PRIVATE -Wl,--enable-new-dtags)
  install(TARGETS qx5cmd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/qx5cmd.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN CMakeLists.txt EXCLUDE)

# The Python module, importable with PYTHONPATH=<prefix>/<QX5_PYTHON_INSTALL_DIR>; it finds
# the library of the same tree through its relative position (or `pip install ./python`).
set(QX5_PYTHON_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/python3/dist-packages"
    CACHE STRING "Where the Python module qx5 is installed, below the prefix")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/qx5 DESTINATION ${QX5_PYTHON_INSTALL_DIR}
        PATTERN __pycache__ EXCLUDE)

set(QX5_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rule is installed, below the prefix")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/99-qx5-gauge.rules DESTINATION ${QX5_UDEV_RULES_DIR})
