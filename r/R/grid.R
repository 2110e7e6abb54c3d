# mosaro_grid and mosaro_predict: mosaro_predict of the C API at the cell
# centres of a raster or at points.

# The options of a prediction as the binding reads them, each checked here.
prediction_options <- function(method, model, fit, fit_weights, cutoff, width, nmax, nmin, maxdist, beta, block,
                               shift, threads, progress) {
  if (!is.character(method) || length(method) != 1L) stop("method must be a method name", call. = FALSE)
  code <- .prediction_method(method)
  text <- model_text(model)
  if (nzchar(text) && (!is.null(fit) || !is.null(cutoff) || !is.null(width))) {
    stop("fit, cutoff and width are read when the model is fitted, but model is given", call. = FALSE)
  }
  if (method == "lognormal3" && is.null(shift)) stop("method \"lognormal3\" needs shift", call. = FALSE)
  if (method != "lognormal3" && !is.null(shift)) stop("shift is read by method \"lognormal3\" only", call. = FALSE)
  if (!is.null(beta) && (!is.numeric(beta) || length(beta) != 1L || !is.finite(beta))) {
    stop("beta (the known mean of simple kriging) must be one finite number", call. = FALSE)
  }
  if (!is.null(block) && (!is.numeric(block) || !length(block) %in% 1:2 || any(!is.finite(block)) ||
                          any(block <= 0))) {
    stop("block must be one or two positive sizes (x, then y)", call. = FALSE)
  }
  list(method = code, shift = if (is.null(shift)) 0 else as.double(shift),
       beta = if (is.null(beta)) NaN else as.double(beta), model = text, fit = fit_template(fit),
       fit_weights = whole(fit_weights, "fit_weights", 1), cutoff = positive_or_default(cutoff, "cutoff"),
       width = positive_or_default(width, "width"), nmax = whole(nmax, "nmax", 1, infinite = -1L),
       nmin = whole(nmin, "nmin", 0), maxdist = positive_or_default(maxdist, "maxdist"),
       block = if (is.null(block)) c(0, 0) else rep_len(as.double(block), 2), threads = whole(threads, "threads", 0),
       progress = isTRUE(progress), frame = numeric(0))
}

#' Krige samples onto the cells of a raster
#'
#' Ordinary, simple, universal or lognormal kriging of the samples at the
#' cell centres of `template`, or of a grid over the samples' bounding box
#' with cells of `cell`, in double precision.
#'
#' @param data the samples: an sf object of POINTs or a data frame with
#'   columns x and y.
#' @param value the name of the column to krige.
#' @param cell the cell size (one, or x then y) of a grid whose first cell
#'   centre is the samples' south-western corner; `NULL` (and no template):
#'   100 cells along the longer side.
#' @param template a terra SpatRaster whose cell centres are the targets.
#' @param model the variogram model: a gstat::vgm() table, Mosaro's notation
#'   (`"0.05 Nug + 0.59 Sph(897)"`), or `NULL` to fit one to the
#'   experimental variogram (of the logarithms for lognormal kriging, of the
#'   residuals with a drift).
#' @param method `"ordinary"`; `"universal-x"`, `"universal-y"`,
#'   `"universal-xy"`, `"universal-xx"`, `"universal-yy"`, `"universal-xxyy"`
#'   (polynomial drifts); `"lognormal"` (of log(value)) or `"lognormal3"` (of
#'   log(value + shift)). Indicator kriging and co-kriging: see
#'   [mosaro_legacy_grid()].
#' @param nmax the nearest samples each target is kriged from; `Inf`: all.
#' @param nmin fewer samples than this within `maxdist`: no estimate (NA).
#' @param maxdist samples farther away are not used; `Inf`: no limit.
#' @param beta the known mean of simple kriging (of the logarithms for
#'   lognormal kriging); `NULL`: ordinary kriging.
#' @param block block kriging: the block size (one, or x then y) around each
#'   target, discretised by 4 x 4 points.
#' @param shift the shift of `"lognormal3"`.
#' @param fit,fit_weights,cutoff,width when the model is fitted: a template
#'   (`"Nug + Sph"` by default; `"Nug + Exp"`, `"0.1 Nug + Sph(~900)"`, or a
#'   vgm table of starting values), gstat's fit.method (7 by default), and
#'   the experimental variogram's cutoff and class width (gstat's defaults:
#'   a third of the bounding box's diagonal and a fifteenth of that).
#' @param threads the threads to run on; 0: every core. The results never
#'   depend on it.
#' @param progress `TRUE`: a progress bar on the console.
#' @return a SpatRaster with layers `estimate` and `variance` (NA where a
#'   target has no estimate), in the template's CRS or else the samples';
#'   its attribute `"model"` is the model the run used, in the notation.
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' meuse$log_zinc <- log(meuse$zinc)
#' r <- mosaro_grid(meuse, "log_zinc", cell = 100, model = "0.05 Nug + 0.59 Sph(897)")
#' r
#' @export
mosaro_grid <- function(data, value, cell = NULL, template = NULL, model = NULL, method = "ordinary", nmax = 16,
                        nmin = 0, maxdist = Inf, beta = NULL, block = NULL, shift = NULL, fit = NULL,
                        fit_weights = 7, cutoff = NULL, width = NULL, threads = 0, progress = FALSE) {
  s <- samples_of(data, value)
  options <- prediction_options(method, model, fit, fit_weights, cutoff, width, nmax, nmin, maxdist, beta, block,
                                shift, threads, progress)
  targets <- grid_targets(s, cell, template)
  out <- .predict(s$x, s$y, s$value, targets$grid, numeric(0), numeric(0), options)
  r <- raster_of(list(estimate = out$estimate, variance = out$variance), targets)
  attr(r, "model") <- out$report$model
  r
}

#' Krige samples at points
#'
#' @inheritParams mosaro_grid
#' @param newdata the targets: sf POINTs or a data frame with x and y.
#' @return `newdata` with the columns `estimate` and `variance` added (NA
#'   where a target has no estimate); attribute `"model"` as in
#'   [mosaro_grid()].
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' mosaro_predict(meuse, "zinc", data.frame(x = 180000, y = 331000), model = "0.05 Nug + 0.59 Sph(897)",
#'                method = "lognormal")
#' @export
mosaro_predict <- function(data, value, newdata, model = NULL, method = "ordinary", nmax = 16, nmin = 0,
                           maxdist = Inf, beta = NULL, block = NULL, shift = NULL, fit = NULL, fit_weights = 7,
                           cutoff = NULL, width = NULL, threads = 0, progress = FALSE) {
  s <- samples_of(data, value)
  targets <- coordinates_of(newdata, "newdata")
  options <- prediction_options(method, model, fit, fit_weights, cutoff, width, nmax, nmin, maxdist, beta, block,
                                shift, threads, progress)
  out <- .predict(s$x, s$y, s$value, numeric(0), targets$x, targets$y, options)
  newdata$estimate <- out$estimate
  newdata$variance <- out$variance
  attr(newdata, "model") <- out$report$model
  newdata
}
