# cmake --install lays out:
#   include/lmvx.h
#   Linux:   lib/liblmvx.so -> liblmvx.so.1 -> liblmvx.so.<version>,
#            lib/pkgconfig/lmvx.pc
#   Windows: bin/LMVX.dll, lib/LMVX.lib (import library), the same bytes as
#            lib/libLMVX.dll.a for MinGW toolchains, lib/LMVX.def
#   lib/cmake/lmvx/: the package of find_package(lmvx) (target lmvx::lmvx),
#            with its version file (same major version is compatible)
#   bin/lumivex-sim, bin/lmvxctl when the tools are built
# Tests are never installed. Everything is relative to the prefix given at
# install time (cmake --install <build> --prefix <dir>), the pkg-config file
# included.
include_guard(GLOBAL)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(LMVX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/lmvx CACHE STRING
  "Where the lmvx CMake package is installed, below the prefix")
# The Windows archive shares one header between its two architectures'
# prefixes: there it is ../include.
set(LMVX_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR} CACHE STRING
  "Where lmvx.h is installed, relative to the prefix")

install(TARGETS lmvx EXPORT lmvxTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${LMVX_INSTALL_INCLUDEDIR})
install(FILES ${LMVX_PUBLIC_INCLUDE}/lmvx.h DESTINATION ${LMVX_INSTALL_INCLUDEDIR})
if(WIN32)
  install(FILES $<TARGET_LINKER_FILE:lmvx> DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME libLMVX.dll.a)
  # For toolchains that make their own import library from the export list.
  install(FILES ${PROJECT_SOURCE_DIR}/src/exports/LMVX.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(EXPORT lmvxTargets NAMESPACE lmvx:: FILE lmvxTargets.cmake DESTINATION ${LMVX_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/lmvxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/lmvxConfig.cmake INSTALL_DESTINATION ${LMVX_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lmvxConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lmvxConfig.cmake ${PROJECT_BINARY_DIR}/lmvxConfigVersion.cmake
  DESTINATION ${LMVX_INSTALL_CMAKEDIR})

if(NOT WIN32)
  # The prefix is known only at install time: the file is written then, into
  # the build tree, and installed from there.
  set(_lmvx_pc ${PROJECT_BINARY_DIR}/lmvx.pc)
  install(CODE "
    set(_lmvx_pc_in [[${PROJECT_SOURCE_DIR}/cmake/lmvx.pc.in]])
    set(_lmvx_pc_out [[${_lmvx_pc}]])
    set(LMVX_PC_VERSION [[${PROJECT_VERSION}]])
    set(_lmvx_libdir [[${CMAKE_INSTALL_LIBDIR}]])
    set(_lmvx_includedir [[${CMAKE_INSTALL_INCLUDEDIR}]])")
  install(CODE [[
    get_filename_component(LMVX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    foreach(_lmvx_dir libdir includedir)
      string(TOUPPER "${_lmvx_dir}" _lmvx_upper)
      if(IS_ABSOLUTE "${_lmvx_${_lmvx_dir}}")
        set(LMVX_PC_${_lmvx_upper} "${_lmvx_${_lmvx_dir}}")
      else()
        set(LMVX_PC_${_lmvx_upper} "\${prefix}/${_lmvx_${_lmvx_dir}}")
      endif()
    endforeach()
    configure_file("${_lmvx_pc_in}" "${_lmvx_pc_out}" @ONLY)]])
  install(FILES ${_lmvx_pc} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The tools, when built. lmvxctl finds the installed library beside it.
foreach(_lmvx_tool lumivex-sim lmvxctl)
  if(TARGET ${_lmvx_tool})
    install(TARGETS ${_lmvx_tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET lmvxctl AND NOT WIN32)
  file(RELATIVE_PATH _lmvx_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(lmvxctl PROPERTIES INSTALL_RPATH "$ORIGIN/${_lmvx_bin_to_lib}")
endif()
