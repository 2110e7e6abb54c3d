# Fits the spherical model to each experimental variogram that fit_dump
# printed, with gstat's fit.variogram and its default weights (fit.method 7:
# pairs / lag^2), and prints both fits side by side, "ours / gstat".
#
# gstat's fit has no bounds; where its free optimum leaves the box the
# robust fit keeps to (nugget >= 0, range up to the largest lag), the peer
# is fitted again with that parameter held at its bound, as a gstat user
# would, and the note says so. The last column is the ratio of the two
# weighted residuals (ours over gstat's): at most 1 means our fit is as
# close to the points as gstat's under the same weights.
#
# usage: Rscript compare.R CASE_NAME DUMP_FILE
suppressMessages(library(gstat))
args <- commandArgs(trailingOnly = TRUE)
name <- args[1]
lines <- readLines(args[2])
tables <- read.table(text = grep("^table", lines, value = TRUE))
models <- read.table(text = grep("^model", lines, value = TRUE))
names(tables) <- c("kind", "dir", "dist", "np", "gamma")
names(models) <- c("kind", "dir", "nugget", "psill", "range", "branch")
pct <- function(a, b) if (abs(b) < 1e-12) NA else 100 * (a - b) / b
spherical <- function(h, nugget, psill, range) {
  r <- pmin(h / range, 1)
  nugget + psill * (1.5 * r - 0.5 * r^3)
}
residual <- function(t, nugget, psill, range) {
  sum(t$np / t$dist^2 * (t$gamma - spherical(t$dist, nugget, psill, range))^2)
}
label <- c("x", "y", "omni")
for (d in 0:2) {
  t <- tables[tables$dir == d & tables$np > 0, ]
  m <- models[models$dir == d, ]
  if (nrow(t) < 3) next
  v <- data.frame(np = as.numeric(t$np), dist = as.numeric(t$dist), gamma = as.numeric(t$gamma),
                  dir.hor = 0, dir.ver = 0, id = factor("var1"))
  class(v) <- c("gstatVariogram", "data.frame")
  largest <- max(t$dist)
  # gstat's usual starting values: sill from the upper lags, a third of the largest lag.
  start <- vgm(psill = mean(tail(t$gamma, 5)), model = "Sph", range = largest / 3,
               nugget = min(t$gamma))
  fit <- function(model, ...) suppressWarnings(fit.variogram(v, model, fit.method = 7, ...))
  f <- fit(start)
  notes <- c()
  if (f$psill[1] < 0) {
    f <- fit(vgm(psill = f$psill[2], model = "Sph", range = f$range[2], nugget = 0),
             fit.sills = c(FALSE, TRUE))
    notes <- c(notes, "nugget held at 0")
  }
  if (f$range[2] > largest) {
    f <- fit(vgm(psill = f$psill[2], model = "Sph", range = largest, nugget = f$psill[1]),
             fit.ranges = c(FALSE, FALSE), fit.sills = c(f$psill[1] > 0, TRUE))
    notes <- c(notes, "range held at the largest lag")
  }
  if (f$psill[2] <= 0) notes <- c(notes, "gstat: partial sill not positive")
  if (isTRUE(attr(f, "singular"))) notes <- c(notes, "gstat: singular")
  g <- c(f$psill[1], f$psill[2], f$range[2])
  ours <- c(m$nugget, m$psill, m$range)
  ratio <- residual(t, ours[1], ours[2], ours[3]) / residual(t, g[1], g[2], g[3])
  cat(sprintf("| %s | %s | %d | %.4g / %.4g | %.4g / %.4g (%+.1f %%) | %.4g / %.4g (%+.1f %%) | %.4f | %s |\n",
              name, label[d + 1], nrow(t), ours[1], g[1], ours[2], g[2], pct(ours[2], g[2]),
              ours[3], g[3], pct(ours[3], g[3]), ratio, paste(notes, collapse = "; ")))
}
