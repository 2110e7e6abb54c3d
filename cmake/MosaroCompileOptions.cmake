# Compiler settings shared by every Mosaro target.
#
# The library's results are bit-exact by contract: the compiler must keep
# every rounding where the source puts it. So: no contraction of a*b+c into
# a fused multiply-add, no fast-math, no tuning for the build machine.

set(MOSARO_WARNINGS -Wall -Wextra -Wshadow)
# Implicit float<->double conversions would hide a rounding the source does
# not show; the library spells each one out.
set(MOSARO_STRICT_WARNINGS -Wdouble-promotion -Wfloat-conversion)
if(MOSARO_WERROR)
  list(APPEND MOSARO_WARNINGS -Werror)
endif()

set(MOSARO_SANITIZER_FLAGS
  -fsanitize=address,undefined,float-cast-overflow
  -fno-sanitize-recover=all
  -fno-omit-frame-pointer)

# ThreadSanitizer cannot be combined with AddressSanitizer: a build of its
# own (scripts/tsan.sh).
option(MOSARO_TSAN "Build with ThreadSanitizer instead of ASan and UBSan" OFF)
if(MOSARO_TSAN)
  if(MOSARO_SANITIZE)
    message(FATAL_ERROR "MOSARO_TSAN cannot be combined with MOSARO_SANITIZE")
  endif()
  set(MOSARO_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()

function(mosaro_sanitize target)
  if(MOSARO_SANITIZE OR MOSARO_TSAN)
    target_compile_options(${target} PRIVATE ${MOSARO_SANITIZER_FLAGS})
    target_link_options(${target} PUBLIC ${MOSARO_SANITIZER_FLAGS})
  endif()
endfunction()

# Options for code that computes results.
function(mosaro_library_options target)
  target_compile_options(${target} PRIVATE
    -ffp-contract=off -fno-fast-math ${MOSARO_WARNINGS} ${MOSARO_STRICT_WARNINGS})
  mosaro_sanitize(${target})
endfunction()

# Options for tests, tools and examples.
function(mosaro_tool_options target)
  target_compile_options(${target} PRIVATE -ffp-contract=off ${MOSARO_WARNINGS})
  mosaro_sanitize(${target})
endfunction()
