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

# Absolute or relative install dirs both give absolute paths in the file.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(MOSARO_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(MOSARO_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(cmake/mosaro.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mosaro.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mosaro.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
