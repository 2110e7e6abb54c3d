# What `cmake --install` puts in place: the shared library and its one
# header, the tool, a CMake package (find_package(Mosaro) ->
# Mosaro::mosaro) and a pkg-config file. The version is the header's.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS mosaro EXPORT MosaroTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/mosaro.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET mosaro_tool)
  # The installed tool finds the library beside it in any prefix.
  set_target_properties(mosaro_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS mosaro_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(MOSARO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Mosaro)
install(EXPORT MosaroTargets NAMESPACE Mosaro:: DESTINATION ${MOSARO_CMAKE_DIR})
configure_package_config_file(cmake/MosaroConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/MosaroConfig.cmake INSTALL_DESTINATION ${MOSARO_CMAKE_DIR})
# The SOVERSION is the major version, so only the same major is compatible.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/MosaroConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/MosaroConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/MosaroConfigVersion.cmake
        DESTINATION ${MOSARO_CMAKE_DIR})

# The pkg-config file finds its prefix from its own place, so an installed
# tree can be moved (or installed with --prefix) and still be found right.
file(RELATIVE_PATH MOSARO_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" MOSARO_PC_TO_PREFIX "${MOSARO_PC_TO_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(MOSARO_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(MOSARO_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(cmake/mosaro.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mosaro.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mosaro.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
