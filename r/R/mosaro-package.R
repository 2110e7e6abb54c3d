#' mosaro: kriging through the Mosaro library
#'
#' Gridding onto the cells of a 'terra' raster ([mosaro_grid()]), prediction
#' at points ([mosaro_predict()]), experimental variograms and their fits
#' ([mosaro_variogram()], [mosaro_fit_variogram()]), cross-validation
#' ([mosaro_cv()]), sequential Gaussian simulation ([mosaro_simulate()]) and
#' the legacy float32 request ([mosaro_legacy_grid()]). Models are written in
#' gstat's notation ("0.05 Nug + 0.59 Sph(897)") or given as gstat::vgm()
#' tables. Everything but the legacy request runs in double precision and
#' gives the same bits at any thread count.
#'
#' Errors are R errors carrying the library's message, which names the
#' argument at fault; an interrupt (Ctrl-C, Esc) stops a run within about a
#' hundredth of it.
#' @keywords internal
#' @useDynLib mosaro, .registration = TRUE
#' @importFrom Rcpp evalCpp
"_PACKAGE"

#' The version of the Mosaro library the package runs
#' @return "major.minor.patch"
#' @export
mosaro_version <- function() .library_version()
