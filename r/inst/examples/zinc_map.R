# Meuse zinc, kriged as log(zinc) onto 40 m cells by mosaro, drawn to a PNG
# and compared with gstat's krige on the same model and neighbourhood.
#
#   Rscript r/inst/examples/zinc_map.R [output.png]
#
# Prints the largest relative difference of the estimates and variances
# from gstat's; stops when it exceeds 1e-6.
library(mosaro)

output <- commandArgs(trailingOnly = TRUE)[1]
if (is.na(output)) output <- "zinc_map.png"

meuse <- read.csv(system.file("extdata", "meuse.csv", package = "mosaro"))
meuse$log_zinc <- log(meuse$zinc)
meuse <- sf::st_as_sf(meuse, coords = c("x", "y"), crs = 28992, remove = FALSE)

# The model gstat users fit to these data: fit.variogram's on our classes.
v <- mosaro_variogram(meuse, "log_zinc")
model <- mosaro_fit_variogram(v, "Nug + Sph")
cat("model:", model, "\n")

r <- mosaro_grid(meuse, "log_zinc", cell = 40, model = model, nmax = 16)

grDevices::png(output, width = 800, height = 900)
terra::plot(exp(r[["estimate"]]), main = paste("Meuse zinc (ppm), ordinary kriging of log(zinc)\n", model),
            col = grDevices::hcl.colors(64, "YlOrRd", rev = TRUE))
graphics::points(meuse$x, meuse$y, pch = 20, cex = 0.5)
grDevices::dev.off()
cat("map:", output, "\n")

if (requireNamespace("gstat", quietly = TRUE)) {
  nodes <- sf::st_as_sf(as.data.frame(terra::xyFromCell(r, seq_len(terra::ncell(r)))), coords = c("x", "y"),
                        crs = 28992)
  k <- gstat::krige(log_zinc ~ 1, meuse, nodes, model = mosaro_model_to_vgm(model), nmax = 16, debug.level = 0)
  ours <- terra::values(r)
  # Relative to each value, but not below a billionth of the largest: at a
  # node on a sample the variance is 0 here and 2e-33 in gstat.
  relative <- function(a, b) max(abs(a - b) / pmax(abs(b), 1e-9 * max(abs(b))))
  difference <- max(relative(ours[, "estimate"], k$var1.pred), relative(ours[, "variance"], k$var1.var))
  cat(sprintf("largest relative difference from gstat::krige: %.3g (%d nodes)\n", difference, nrow(ours)))
  stopifnot(difference <= 1e-6)
} else {
  cat("gstat is not installed: no comparison\n")
}
