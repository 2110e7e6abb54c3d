# mosaro_grid against gstat::krige in one R session: 10^4 samples kriged
# onto 300 x 300 nodes, ordinary kriging, the same model, nmax = 16.
# Prints each time, the ratio and the largest relative difference.
#
#   Rscript bench/r_vs_gstat.R        (needs the mosaro and gstat packages)
#
# gstat runs on one thread; mosaro is timed on one thread and on every core.
suppressPackageStartupMessages({
  library(mosaro)
  library(gstat)
})

set.seed(20261207)
n <- 1e4
side <- 10000
samples <- data.frame(x = runif(n, 0, side), y = runif(n, 0, side))
# A smooth field plus noise, so that the model below suits it.
samples$z <- sin(samples$x / 1500) + cos(samples$y / 2100) + rnorm(n, sd = 0.3)
samples_sf <- sf::st_as_sf(samples, coords = c("x", "y"), remove = FALSE)
model <- vgm(0.9, "Sph", 3000, nugget = 0.09)

template <- terra::rast(xmin = 0, xmax = side, ymin = 0, ymax = side, nrows = 300, ncols = 300)
nodes <- sf::st_as_sf(as.data.frame(terra::xyFromCell(template, seq_len(terra::ncell(template)))),
                      coords = c("x", "y"))

time <- function(expr) {
  started <- proc.time()[["elapsed"]]
  value <- force(expr)
  list(value = value, seconds = proc.time()[["elapsed"]] - started)
}

one <- time(mosaro_grid(samples_sf, "z", template = template, model = model, nmax = 16, threads = 1))
all <- time(mosaro_grid(samples_sf, "z", template = template, model = model, nmax = 16, threads = 0))
peer <- time(krige(z ~ 1, samples_sf, nodes, model = model, nmax = 16, debug.level = 0))

relative <- function(a, b) max(abs(a - b) / pmax(abs(b), 1e-9 * max(abs(b))))
ours <- terra::values(one$value)
stopifnot(identical(ours, terra::values(all$value)))
cat(sprintf("%d samples onto %d x %d nodes, nmax 16, model %s\n", n, 300, 300, mosaro_model_from_vgm(model)))
cat(sprintf("gstat::krige                 %7.2f s\n", peer$seconds))
cat(sprintf("mosaro_grid, 1 thread        %7.2f s  (gstat / mosaro: %.1f)\n", one$seconds, peer$seconds / one$seconds))
cat(sprintf("mosaro_grid, %d threads       %7.2f s  (gstat / mosaro: %.1f)\n", parallel::detectCores(),
            all$seconds, peer$seconds / all$seconds))
cat(sprintf("largest relative difference: estimate %.2g, variance %.2g\n",
            relative(ours[, "estimate"], peer$value$var1.pred), relative(ours[, "variance"], peer$value$var1.var)))
