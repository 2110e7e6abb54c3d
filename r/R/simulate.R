#' Sequential Gaussian simulation
#'
#' Equally likely maps that honour the samples and the variogram of their
#' normal scores, at the cell centres of `template` or of a grid with cells
#' of `cell`. Each realisation has its own random path and stream, so a
#' seed gives the same maps at any thread count.
#'
#' @inheritParams mosaro_grid
#' @param model the model of the normal scores (not of the values); `NULL`:
#'   fitted to the normal scores' experimental variogram.
#' @param nsim the number of realisations.
#' @param seed the seed (a whole number) of the library's own generator.
#' @param nmax the nearest samples of each node.
#' @param nmax_simulated the nearest nodes simulated before it; -1: the nmax
#'   nearest of samples and simulated nodes together (gstat's count).
#' @param maxdist the search radius; `Inf`: three times the model's largest
#'   range.
#' @param fit,fit_weights when the model is fitted: the template and gstat's
#'   fit.method, as in [mosaro_grid()].
#' @return a SpatRaster of nsim layers sim1, sim2, ...; attribute `"model"`:
#'   the normal scores' model used.
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' s <- mosaro_simulate(meuse, "zinc", cell = 200, nsim = 2, seed = 1)
#' @export
mosaro_simulate <- function(data, value, cell = NULL, template = NULL, model = NULL, nsim = 1, seed = 1,
                            nmax = 16, nmax_simulated = -1, maxdist = Inf, fit = NULL, fit_weights = 7,
                            threads = 0, progress = FALSE) {
  s <- samples_of(data, value)
  targets <- grid_targets(s, cell, template)
  text <- model_text(model)
  if (nzchar(text) && !is.null(fit)) stop("fit is read when the model is fitted, but model is given", call. = FALSE)
  simulated <- if (identical(nmax_simulated, -1) || identical(nmax_simulated, -1L)) -1L else
    whole(nmax_simulated, "nmax_simulated", 1)
  seed <- whole(seed, "seed", 0)
  out <- .simulate(s$x, s$y, s$value, targets$grid, text, fit_template(fit), whole(fit_weights, "fit_weights", 1),
                   whole(nmax, "nmax", 1), simulated, positive_or_default(maxdist, "maxdist"),
                   whole(nsim, "nsim", 1), seed, whole(threads, "threads", 0), isTRUE(progress))
  layers <- lapply(seq_len(ncol(out$values)), function(k) out$values[, k])
  names(layers) <- paste0("sim", seq_along(layers))
  r <- raster_of(layers, targets)
  attr(r, "model") <- out$model
  r
}
