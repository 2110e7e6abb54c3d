# The Windows DLL: named as the legacy's (mosaro.dll, no "lib" prefix), with
# its import library for MinGW hosts (libmosaro.dll.a).
#
# Its exports are exactly those of cmake/mosaro.def. GCC marks the type
# information of every polymorphic class it emits for export (the engine's
# estimators, even std::exception's), through "-export:" directives in each
# object's .drectve section; the linker cannot be told to ignore them. So
# the DLL is linked from objects whose .drectve is removed (a C++ object of
# the engine holds nothing else there) and takes its export list from the
# module definition file alone. The static archive of the tests does not
# care about exports.
set_target_properties(mosaro PROPERTIES PREFIX "")
target_sources(mosaro PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/mosaro.def)
target_link_options(mosaro PRIVATE "LINKER:--no-undefined")
add_custom_command(TARGET mosaro PRE_LINK
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cmake/strip_export_directives.sh
          ${CMAKE_OBJCOPY} $<TARGET_OBJECTS:mosaro_objects>
  COMMAND_EXPAND_LISTS
  VERBATIM)
