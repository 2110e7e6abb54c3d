# The pictures of the mosaro tool: raster maps and variogram plots, drawn
# with cairo (Debian libcairo2-dev) as PNG or SVG. A library of its own so
# the tests can draw and read back pictures without the tool's main.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
# Only to free its caches at exit, for the leak checker (cairo uses it anyway).
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)

add_library(mosaro_pictures STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AxisTicks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColourRamp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CrossValidationPicture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureCanvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VariogramPicture.cpp)
target_include_directories(mosaro_pictures PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(mosaro_pictures PRIVATE PkgConfig::CAIRO PkgConfig::FONTCONFIG m)
mosaro_tool_options(mosaro_pictures)
