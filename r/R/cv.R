#' Cross-validation
#'
#' As gstat's krige.cv(): the samples of each fold kriged from the samples
#' of the other folds (leave-one-out by default), by [mosaro_predict()] with
#' the same options. The model is fitted once, from every sample, when none
#' is given.
#'
#' @inheritParams mosaro_grid
#' @param nfold the number of folds; the number of samples: leave-one-out.
#' @param fold the fold of each sample (whole numbers from 1); `NULL`:
#'   drawn with `sample(nfold, n, replace = TRUE)` as krige.cv() does, unless
#'   leave-one-out.
#' @return `data` with krige.cv()'s columns var1.pred, var1.var, observed,
#'   residual (observed - var1.pred), zscore (residual / sqrt(var1.var)) and
#'   fold; attribute `"model"`: the model used.
#' @examples
#' meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
#' meuse$log_zinc <- log(meuse$zinc)
#' cv <- mosaro_cv(meuse, "log_zinc", model = "0.05 Nug + 0.59 Sph(897)")
#' sqrt(mean(cv$residual^2))
#' @export
mosaro_cv <- function(data, value, model = NULL, nfold = NULL, fold = NULL, method = "ordinary", nmax = 16,
                      nmin = 0, maxdist = Inf, beta = NULL, block = NULL, shift = NULL, fit = NULL, fit_weights = 7,
                      cutoff = NULL, width = NULL, threads = 0) {
  s <- samples_of(data, value)
  n <- length(s$x)
  if (is.null(fold)) {
    nfold <- if (is.null(nfold)) n else whole(nfold, "nfold", 2)
    fold <- if (nfold >= n) seq_len(n) else sample(nfold, n, replace = TRUE)
  } else if (!is.numeric(fold) || length(fold) != n || any(is.na(fold)) || any(fold < 1) || any(fold != round(fold))) {
    stop("fold must give each sample's fold as a whole number from 1", call. = FALSE)
  }
  options <- prediction_options(method, model, fit, fit_weights, cutoff, width, nmax, nmin, maxdist, beta, block,
                                shift, threads, FALSE)
  out <- .cross_validate(s$x, s$y, s$value, as.integer(fold), options)
  data$var1.pred <- out$estimate
  data$var1.var <- out$variance
  data$observed <- s$value
  data$residual <- s$value - out$estimate
  data$zscore <- data$residual / sqrt(out$variance)
  data$fold <- as.integer(fold)
  attr(data, "model") <- out$model
  data
}
