# Variogram models: gstat's vgm() tables and the library's notation. The
# notation is what crosses to the library, which reads and checks it.

# gstat's short names that the library has; the others (Per, Log, Spl, Leg,
# Err, Int) have no counterpart.
mosaro_families <- c("Sph", "Exp", "Gau", "Exc", "Mat", "Ste", "Bes", "Cir", "Pen", "Lin", "Wav", "Hol",
                     "Pow")
shaped_families <- c("Exc", "Mat", "Ste")

# Every digit a double needs to read back to the same bits.
exact <- function(x) sprintf("%.17g", x)

#' Convert a gstat variogram model to Mosaro's notation
#'
#' @param model a gstat::vgm() table (class variogramModel, or a data frame
#'   with its columns model, psill, range and optionally kappa, ang1, anis1).
#' @param start `TRUE`: every partial sill and range becomes a starting value
#'   of a fit template (`~value`), as gstat::fit.variogram() treats its
#'   model; kappa and the anisotropy stay fixed.
#' @return the model in the notation, e.g. `"0.05 Nug + 0.59 Sph(897)"`, as
#'   the library writes it (shortest exact numbers).
#' @details gstat's families keep their names and parameters: the range of
#'   Pow is its exponent, kappa is the shape of Mat, Ste and Exc, and the
#'   two-dimensional anisotropy `anis = c(ang1, anis1)` is the azimuth of the
#'   major axis (degrees clockwise from north) and the ratio of the minor to
#'   the major range.
#' @examples
#' mosaro_model_from_vgm(data.frame(model = c("Nug", "Sph"), psill = c(0.05, 0.59),
#'                                  range = c(0, 897)))
#' @export
mosaro_model_from_vgm <- function(model, start = FALSE) {
  if (!is.data.frame(model) || !all(c("model", "psill", "range") %in% names(model)) || nrow(model) == 0) {
    stop("model must be a gstat::vgm() table with columns model, psill and range", call. = FALSE)
  }
  family <- as.character(model$model)
  tilde <- if (isTRUE(start)) "~" else ""
  column <- function(name, default) if (name %in% names(model)) model[[name]] else rep(default, nrow(model))
  kappa <- column("kappa", 0.5)
  ang1 <- column("ang1", 0)
  anis1 <- column("anis1", 1)
  for (name in c("ang2", "ang3")) {
    if (any(column(name, 0) != 0)) stop("model: ", name, " is three-dimensional; Mosaro works in the plane", call. = FALSE)
  }
  terms <- character(nrow(model))
  for (i in seq_len(nrow(model))) {
    if (family[i] == "Nug") {
      if (model$range[i] != 0) stop("model: row ", i, ": Nug takes a range of 0 (got ", model$range[i], ")", call. = FALSE)
      terms[i] <- paste0(tilde, exact(model$psill[i]), " Nug")
      next
    }
    if (!family[i] %in% mosaro_families) {
      stop("model: row ", i, ": gstat's \"", family[i], "\" has no counterpart in Mosaro; known: Nug, ",
           paste(mosaro_families, collapse = ", "), call. = FALSE)
    }
    arguments <- paste0(tilde, exact(model$range[i]))
    if (family[i] %in% shaped_families) arguments <- c(arguments, paste0("kappa=", exact(kappa[i])))
    if (anis1[i] != 1) {
      arguments <- c(arguments, paste0("azimuth=", exact(ang1[i])), paste0("ratio=", exact(anis1[i])))
    }
    terms[i] <- paste0(tilde, exact(model$psill[i]), " ", family[i], "(", paste(arguments, collapse = ", "), ")")
  }
  text <- paste(terms, collapse = " + ")
  if (isTRUE(start)) text else .model_normalise(text)
}

#' Convert a model in Mosaro's notation to a gstat variogram model
#'
#' @param model the notation, e.g. `"0.05 Nug + 0.59 Sph(897)"`.
#' @return a gstat::vgm() table: a Nug row when the model has a nugget, then
#'   one row per structure. Needs the gstat package.
#' @examples
#' if (requireNamespace("gstat", quietly = TRUE)) mosaro_model_to_vgm("0.05 Nug + 0.59 Sph(897)")
#' @export
mosaro_model_to_vgm <- function(model) {
  if (!requireNamespace("gstat", quietly = TRUE)) stop("mosaro_model_to_vgm needs the gstat package", call. = FALSE)
  parts <- .model_parts(model_text(model, fit_allowed = FALSE))
  s <- parts$structures
  v <- NULL
  if (parts$nugget != 0 || nrow(s) == 0) v <- gstat::vgm(parts$nugget, "Nug", 0)
  for (i in seq_len(nrow(s))) {
    # Pow's exponent is gstat's range; the library keeps it as the shape.
    range <- if (s$family[i] == "Pow") s$kappa[i] else s$range[i]
    kappa <- if (is.nan(s$kappa[i]) || s$family[i] == "Pow") 0.5 else s$kappa[i]
    v <- gstat::vgm(s$psill[i], s$family[i], range, kappa = kappa, anis = c(s$azimuth[i], s$ratio[i]), add.to = v)
  }
  v
}

# The notation of any model argument: NULL ("" for a fitted model when
# fit_allowed), the notation, or a vgm table.
model_text <- function(model, fit_allowed = TRUE) {
  if (is.null(model)) {
    if (fit_allowed) return("")
    stop("model must be given", call. = FALSE)
  }
  if (is.data.frame(model)) return(mosaro_model_from_vgm(model))
  if (is.character(model) && length(model) == 1L) return(.model_normalise(model))
  stop("model must be gstat::vgm() table, a string such as \"0.05 Nug + 0.59 Sph(897)\" or NULL (fitted)",
       call. = FALSE)
}

# A fit template: NULL (the library's "Nug + Sph"), the notation with values
# left out, or a vgm table whose values are starting values.
fit_template <- function(fit) {
  if (is.null(fit)) return("")
  if (is.data.frame(fit)) return(mosaro_model_from_vgm(fit, start = TRUE))
  if (is.character(fit) && length(fit) == 1L) return(fit)
  stop("fit must be a template such as \"Nug + Sph\" or a gstat::vgm() table", call. = FALSE)
}
