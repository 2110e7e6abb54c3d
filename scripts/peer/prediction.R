# Compares mosaro_predict (through scripts/peer/predict_dump.c) with gstat's
# krige on the same model and neighbourhood, and prints a markdown table:
# per case, the median and largest relative difference of the estimate and
# the variance, and the share of targets within 1e-6.
# usage: Rscript prediction.R DRIVER WORK
suppressMessages({library(sp); library(gstat)})
args <- commandArgs(TRUE)
driver <- args[1]; work <- args[2]

data(meuse); data(meuse.grid); data(jura)
# Centred coordinates in km for gstat's polynomial drift: with raw
# coordinates (x^2 near 3e10) its own system is ill-conditioned.
centre <- function(d) { d$xs <- (d$x - 180000) / 1000; d$ys <- (d$y - 331000) / 1000; d }
meuse <- centre(meuse); meuse.grid <- centre(meuse.grid)
write.csv(data.frame(x = meuse$x, y = meuse$y, lzn = log(meuse$zinc), dist = meuse$dist),
          file.path(work, "meuse.csv"), row.names = FALSE, quote = FALSE)
write.csv(data.frame(x = meuse.grid$x, y = meuse.grid$y, dist = meuse.grid$dist),
          file.path(work, "grid.csv"), row.names = FALSE, quote = FALSE)
write.csv(data.frame(x = jura.pred$Xloc, y = jura.pred$Yloc, ni = jura.pred$Ni),
          file.path(work, "jura.csv"), row.names = FALSE, quote = FALSE)
write.csv(data.frame(x = jura.val$Xloc, y = jura.val$Yloc),
          file.path(work, "jura-val.csv"), row.names = FALSE, quote = FALSE)
coordinates(meuse) <- ~x + y; coordinates(meuse.grid) <- ~x + y
jp <- jura.pred; jv <- jura.val; coordinates(jp) <- ~Xloc + Yloc; coordinates(jv) <- ~Xloc + Yloc

zinc <- vgm(0.591, "Sph", 897, 0.0507)
ni <- fit.variogram(variogram(Ni ~ 1, jp), vgm(NA, "Sph", NA, NA))
text <- function(m) paste0(m$psill[1], " Nug + ", m$psill[2], " ", as.character(m$model[2]), "(", m$range[2], ")")

cat("| case | targets | estimate: median | largest | variance: median | largest | within 1e-6 | the others: a tie at the nmax-th neighbour |\n")
cat("| --- | --- | --- | --- | --- | --- | --- | --- |\n")
# Whether the nmax-th and the next nearest sample of a target lie at the
# same distance (up to rounding: mirrored offsets give distances a unit in
# the last place apart): then any choice between them is right, and
# gstat's and Mosaro's may differ.
tied <- function(s, t, nmax) {
  sapply(seq_len(nrow(t)), function(i) {
    d <- sort(sqrt((s[, 1] - t[i, 1])^2 + (s[, 2] - t[i, 2])^2))
    nmax < length(d) && abs(d[nmax + 1] - d[nmax]) <= 1e-12 * d[nmax]
  })
}
row <- function(name, k, samples, column, targets, options) {
  cmd <- paste(driver, file.path(work, samples), column, file.path(work, targets),
               paste(shQuote(options), collapse = " "))
  o <- read.table(pipe(cmd))
  re <- abs(o$V1 - k$var1.pred) / abs(k$var1.pred)
  rv <- abs(o$V2 - k$var1.var) / abs(k$var1.var)
  ok <- is.finite(k$var1.pred) & is.finite(o$V1)
  stopifnot(identical(is.finite(k$var1.pred), is.finite(o$V1)))
  within <- re < 1e-6 & rv < 1e-6
  nmax <- as.integer(sub("nmax=", "", grep("^nmax=", options, value = TRUE)))
  others <- which(ok & !within)
  explained <- if (length(others) == 0 || nmax < 1) "none" else {
    s <- read.csv(file.path(work, samples)); t <- read.csv(file.path(work, targets))
    sprintf("%d of %d", sum(tied(s, t[others, , drop = FALSE], nmax)), length(others))
  }
  cat(sprintf("| %s | %d | %.1e | %.1e | %.1e | %.1e | %.2f %% | %s |\n", name, sum(ok), median(re[ok]), max(re[ok]),
              median(rv[ok]), max(rv[ok]), 100 * mean(within[ok]), explained))
}
Z <- paste0("model=", text(zinc)); N <- paste0("model=", text(ni))
row("meuse log(zinc), ordinary, nmax 16", krige(log(zinc) ~ 1, meuse, meuse.grid, zinc, nmax = 16, debug.level = 0),
    "meuse.csv", 2, "grid.csv", c(Z, "nmax=16"))
row("simple, mean 5.9", krige(log(zinc) ~ 1, meuse, meuse.grid, zinc, nmax = 16, beta = 5.9, debug.level = 0),
    "meuse.csv", 2, "grid.csv", c(Z, "nmax=16", "kind=simple", "mean=5.9"))
row("universal, x + y", krige(log(zinc) ~ x + y, meuse, meuse.grid, zinc, nmax = 16, debug.level = 0),
    "meuse.csv", 2, "grid.csv", c(Z, "nmax=16", "drift=5"))
row("universal, quadratic", krige(log(zinc) ~ xs + ys + I(xs^2) + I(ys^2) + I(xs * ys), meuse, meuse.grid, zinc,
                                  nmax = 30, debug.level = 0), "meuse.csv", 2, "grid.csv", c(Z, "nmax=30", "drift=31"))
row("external drift, dist", krige(log(zinc) ~ dist, meuse, meuse.grid, zinc, nmax = 16, debug.level = 0),
    "meuse.csv", 2, "grid.csv", c(Z, "nmax=16", "covariates=1"))
row("block 40 m x 40 m", krige(log(zinc) ~ 1, meuse, meuse.grid, zinc, nmax = 16, block = c(40, 40), debug.level = 0),
    "meuse.csv", 2, "grid.csv", c(Z, "nmax=16", "block=40"))
row("nmax 20, nmin 5, maxdist 600", krige(log(zinc) ~ 1, meuse, meuse.grid, zinc, nmax = 20, nmin = 5, maxdist = 600,
                                          debug.level = 0), "meuse.csv", 2, "grid.csv",
    c(Z, "nmax=20", "nmin=5", "maxdist=600"))
row("global neighbourhood", krige(log(zinc) ~ 1, meuse, meuse.grid, zinc, debug.level = 0),
    "meuse.csv", 2, "grid.csv", c(Z, "nmax=-1"))
row(paste0("Jura Ni at the 100 validation points, ", text(ni)), krige(Ni ~ 1, jp, jv, ni, nmax = 16, debug.level = 0),
    "jura.csv", 2, "jura-val.csv", c(N, "nmax=16"))
