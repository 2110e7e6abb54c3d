#' Grid through the legacy request
#'
#' The library's legacy request in float32: directional variograms along x
#' and y, the legacy (or robust) spherical fit, and the legacy arithmetic
#' whose grids equal the legacy library's bit for bit (or the accurate
#' arithmetic). It runs every method, including indicator kriging and
#' co-kriging, which the double-precision prediction does not.
#'
#' @inheritParams mosaro_grid
#' @param extent `c(xmin, ymin, xmax, ymax)`: the first node is at (xmin,
#'   ymin); the extent bounds the lag classes. `NULL`: the samples' bounding
#'   box.
#' @param method a method name: `"ordinary"`, `"universal-x"`, ...,
#'   `"lognormal"`, `"lognormal3"`, `"indicator"`, `"cokriging"` (or its
#'   code, 1 to 11).
#' @param nmax the neighbours of each node (per variable for co-kriging).
#' @param model `NULL` (fitted), `c(nugget, psill, range)` of an isotropic
#'   spherical model, or a 2 x 3 matrix of the models along x, then y.
#' @param shift the shift of `"lognormal3"`.
#' @param thresholds the thresholds of `"indicator"`.
#' @param extra the names of the further columns of `"cokriging"`.
#' @param fit `"legacy"` or `"robust"`.
#' @param arithmetic `"legacy"` or `"accurate"`.
#' @return a SpatRaster with layers estimate and variance (nodes are the
#'   cell centres); attribute `"models"`: per pass, the models of x and y.
#'   When the fit gives no finite model every node is 0, with a warning.
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' r <- mosaro_legacy_grid(meuse, "zinc", cell = 100)
#' @export
mosaro_legacy_grid <- function(data, value, cell = NULL, extent = NULL, method = "ordinary", nmax = 16,
                               model = NULL, shift = NULL, thresholds = NULL, extra = NULL,
                               fit = c("legacy", "robust"), arithmetic = c("legacy", "accurate"), threads = 0,
                               progress = FALSE) {
  s <- samples_of(data, value)
  fit <- match.arg(fit)
  arithmetic <- match.arg(arithmetic)
  code <- if (is.numeric(method)) whole(method, "method", 1) else .method_code(method)
  if (code == 9L && is.null(shift)) stop("method \"lognormal3\" needs shift", call. = FALSE)
  if (!is.null(extent) && (!is.numeric(extent) || length(extent) != 4L)) {
    stop("extent must be c(xmin, ymin, xmax, ymax)", call. = FALSE)
  }
  cells <- if (is.null(cell)) c(0, 0) else rep_len(as.double(cell), 2)
  layout <- .grid_layout(s$x, s$y, if (is.null(extent)) numeric(0) else as.double(extent), cells[1], cells[2])
  if (!is.null(model)) {
    if (!is.numeric(model) || !length(model) %in% c(3L, 6L)) {
      stop("model must be c(nugget, psill, range) or a 2 x 3 matrix (x, then y)", call. = FALSE)
    }
    if (is.matrix(model)) model <- as.vector(t(model))
  }
  columns <- if (inherits(data, "sf")) sf::st_drop_geometry(data) else data
  extra_values <- lapply(extra, function(name) {
    if (!name %in% names(columns)) stop("extra: data has no column \"", name, "\"", call. = FALSE)
    as.double(columns[[name]])
  })
  out <- .legacy_grid(s$x, s$y, s$value, extra_values, c(layout[1:2], layout[7:8]), layout[3:4],
                      as.integer(layout[5:6]), whole(nmax, "nmax", 1), code, if (is.null(shift)) 0 else shift,
                      if (is.null(thresholds)) numeric(0) else as.double(thresholds),
                      if (is.null(model)) numeric(0) else as.double(model), if (fit == "robust") 1L else 0L,
                      if (arithmetic == "accurate") 1L else 0L, whole(threads, "threads", 0), isTRUE(progress))
  if (out$status > 0) warning(out$message, call. = FALSE)
  r <- raster_of(list(estimate = out$estimate, variance = out$variance), layout_targets(layout, s$crs))
  attr(r, "models") <- out$models
  r
}
