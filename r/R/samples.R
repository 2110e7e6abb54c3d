# The samples and targets of every function: sf points or a data frame with
# x and y columns, a value column, and the coordinate reference system to
# hand on to the result.

samples_of <- function(data, value, argument = "data") {
  if (!is.character(value) || length(value) != 1L) {
    stop("value must be the name of one column of ", argument, call. = FALSE)
  }
  xy <- coordinates_of(data, argument)
  columns <- if (inherits(data, "sf")) sf::st_drop_geometry(data) else data
  if (!value %in% names(columns)) {
    stop("value: ", argument, " has no column \"", value, "\"", call. = FALSE)
  }
  v <- columns[[value]]
  if (!is.numeric(v)) stop("value: column \"", value, "\" is not numeric", call. = FALSE)
  list(x = xy$x, y = xy$y, value = as.double(v), crs = xy$crs)
}

coordinates_of <- function(data, argument) {
  if (inherits(data, "sf")) {
    geometry <- sf::st_geometry(data)
    if (!all(sf::st_geometry_type(geometry) == "POINT")) {
      stop(argument, ": the geometries must be POINTs", call. = FALSE)
    }
    m <- sf::st_coordinates(geometry)
    crs <- sf::st_crs(data)
    return(list(x = unname(m[, 1]), y = unname(m[, 2]), crs = if (is.na(crs)) "" else crs$wkt))
  }
  if (is.data.frame(data)) {
    if (!all(c("x", "y") %in% names(data))) {
      stop(argument, ": a data frame needs columns x and y", call. = FALSE)
    }
    return(list(x = as.double(data$x), y = as.double(data$y), crs = ""))
  }
  stop(argument, " must be an sf object of POINTs or a data frame with x and y (got ",
       class(data)[1], ")", call. = FALSE)
}

# A whole number of at least `minimum`; Inf (where `infinite` is given) is
# every sample.
whole <- function(value, name, minimum, infinite = NULL) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value)) {
    stop(name, " must be one number (got ", deparse(value), ")", call. = FALSE)
  }
  if (is.infinite(value) && value > 0 && !is.null(infinite)) return(as.integer(infinite))
  if (value != round(value) || value < minimum || value > .Machine$integer.max) {
    stop(name, " must be a whole number of at least ", minimum, " (got ", value, ")", call. = FALSE)
  }
  as.integer(value)
}

# A positive finite number, or NULL (the library's default, passed as 0).
positive_or_default <- function(value, name) {
  if (is.null(value) || (is.numeric(value) && length(value) == 1L && is.infinite(value) && value > 0)) {
    return(0)
  }
  if (!is.numeric(value) || length(value) != 1L || !is.finite(value) || value <= 0) {
    stop(name, " must be a positive number (got ", deparse(value), ")", call. = FALSE)
  }
  as.double(value)
}
