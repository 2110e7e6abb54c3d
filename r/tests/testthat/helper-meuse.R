# meuse as sf points in the Dutch national grid, with log(zinc).
meuse_sf <- function() {
  meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
  meuse$log_zinc <- log(meuse$zinc)
  sf::st_as_sf(meuse, coords = c("x", "y"), crs = 28992, remove = FALSE)
}

zinc_model <- "0.05 Nug + 0.59 Sph(897)"

# Relative to each value, but not below a billionth of the largest (a
# variance at a sample is 0, or 1e-33 in gstat).
relative_difference <- function(a, b) max(abs(a - b) / pmax(abs(b), 1e-9 * max(abs(b))))
