# Experimental variograms shaped as gstat's gstatVariogram, and their fits.

variogram_options <- function(cutoff, width, alpha, tol.hor, cressie, threads) {
  if (!is.null(alpha) && (!is.numeric(alpha) || length(alpha) == 0 || any(!is.finite(alpha)))) {
    stop("alpha must be azimuths in degrees (clockwise from north) or NULL", call. = FALSE)
  }
  list(cutoff = positive_or_default(cutoff, "cutoff"), width = positive_or_default(width, "width"),
       alpha = if (is.null(alpha)) numeric(0) else as.double(alpha),
       tolerance = positive_or_default(tol.hor, "tol.hor"), cressie = isTRUE(cressie),
       threads = whole(threads, "threads", 0))
}

run_variogram <- function(s, o, fit, fit_weights) {
  .variogram(s$x, s$y, s$value, o$cutoff, o$width, o$alpha, o$tolerance, o$cressie, o$threads, fit,
             whole(fit_weights, "fit_weights", 1))
}

#' Experimental variogram
#'
#' The classes of gstat's `variogram()`: pairs at distance d with
#' k width < d <= (k + 1) width up to the cutoff.
#'
#' @inheritParams mosaro_grid
#' @param cutoff,width the largest distance and the class width; `NULL`:
#'   a third of the bounding box's diagonal and a fifteenth of the cutoff.
#' @param alpha directions: azimuths in degrees clockwise from north;
#'   `NULL`: omnidirectional.
#' @param tol.hor the angular tolerance either side of a direction; `NULL`:
#'   90 / the number of directions.
#' @param cressie `TRUE`: Cressie and Hawkins' robust estimator.
#' @return a data frame of class `gstatVariogram` as gstat's: np, dist,
#'   gamma, dir.hor, dir.ver and id, one row per class with pairs; gstat's
#'   `plot()` and `fit.variogram()` take it. Its attribute `"mosaro"` keeps
#'   the samples and options for [mosaro_fit_variogram()].
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' meuse$log_zinc <- log(meuse$zinc)
#' mosaro_variogram(meuse, "log_zinc")
#' @export
mosaro_variogram <- function(data, value, cutoff = NULL, width = NULL, alpha = NULL, tol.hor = NULL,
                             cressie = FALSE, threads = 0) {
  s <- samples_of(data, value)
  o <- variogram_options(cutoff, width, alpha, tol.hor, cressie, threads)
  v <- run_variogram(s, o, "", 7)
  out <- data.frame(np = v$np, dist = v$dist, gamma = v$gamma, dir.hor = v[["dir.hor"]],
                    dir.ver = rep(0, length(v$np)), id = factor(rep("var1", length(v$np))))
  class(out) <- c("gstatVariogram", "data.frame")
  attr(out, "boundaries") <- seq(0, by = v$width, length.out = floor(v$cutoff / v$width + 1e-9) + 2)
  attr(out, "direct") <- data.frame(id = "var1", is.direct = TRUE)
  attr(out, "mosaro") <- list(samples = s[c("x", "y", "value")], options = o, cutoff = v$cutoff, width = v$width)
  out
}

#' Fit a variogram model to an experimental variogram
#'
#' Weighted least squares as gstat's fit.variogram(): the nugget and partial
#' sills by non-negative least squares, ranges and shapes searched from
#' several starts.
#'
#' @param v the result of [mosaro_variogram()].
#' @param model the template: Mosaro's notation with the values to fit left
#'   out (`"Nug + Sph"`, `"Nug + Sph + Exp"`; `"0.1 Nug + Sph(~900)"` fixes
#'   the nugget and starts the range at 900), or a gstat::vgm() table whose
#'   partial sills and ranges are starting values.
#' @param fit_weights gstat's fit.method: 1, 2, 6 or 7 (N_j / h_j^2, the
#'   default).
#' @return the fitted model in the notation, one per direction of `v`
#'   (convert with [mosaro_model_to_vgm()]); attribute `"sse"`: each
#'   direction's weighted squared error.
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' meuse$log_zinc <- log(meuse$zinc)
#' mosaro_fit_variogram(mosaro_variogram(meuse, "log_zinc"), "Nug + Sph")
#' @export
mosaro_fit_variogram <- function(v, model = "Nug + Sph", fit_weights = 7) {
  m <- attr(v, "mosaro")
  if (is.null(m)) stop("v must be a variogram of mosaro_variogram()", call. = FALSE)
  # The classes again, from the samples, so that the fit sees the classes
  # without pairs as the library keeps them.
  o <- m$options
  o$cutoff <- m$cutoff
  o$width <- m$width
  template <- fit_template(model)
  if (!nzchar(template)) template <- "Nug + Sph"
  fitted <- run_variogram(m$samples, o, template, fit_weights)
  models <- fitted$models
  attr(models, "sse") <- fitted$sse
  models
}
