# Checks of the Windows DLL that need no Windows: its export table, the
# calling convention of the C entry point and, for 32-bit x86, that the
# engine's code does no x87 arithmetic. They read the binaries with the
# cross objdump on the build machine.
set(MOSARO_WINDOWS_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/windows)

add_test(NAME WindowsExports
  COMMAND ${MOSARO_WINDOWS_TESTS}/check_dll_exports.sh ${CMAKE_OBJDUMP}
          $<TARGET_FILE:mosaro> ${MOSARO_WINDOWS_TESTS}/exported_symbols.txt)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_test(NAME WindowsNoX87Arithmetic
    COMMAND ${MOSARO_WINDOWS_TESTS}/check_no_x87.sh ${CMAKE_OBJDUMP}
            $<TARGET_FILE:mosaro> "$<TARGET_OBJECTS:mosaro_objects>")
endif()

if(MOSARO_RUN_TARGET_TESTS)
  # The two trace lines: on the debugger channel always, on standard error
  # only with MOSARO_TRACE; run under the emulator by the script itself.
  add_executable(load_unload_probe ${CMAKE_CURRENT_SOURCE_DIR}/load_unload_probe.c)
  mosaro_tool_options(load_unload_probe)
  add_dependencies(load_unload_probe mosaro)
  add_test(NAME WindowsLoadUnloadTrace
    COMMAND ${MOSARO_WINDOWS_TESTS}/check_load_unload_trace.sh "${CMAKE_CROSSCOMPILING_EMULATOR}"
            $<TARGET_FILE:load_unload_probe> $<TARGET_FILE_NAME:mosaro>)
endif()
