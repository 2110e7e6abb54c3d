# Times R's gstat krige(nsim = ...) against mosaro_simulate (the driver
# simulate_time) on the same normal scores, model, grid and neighbourhood
# (the 16 nearest of samples and simulated nodes together), and prints a
# markdown table. Both run sequential Gaussian simulation; gstat on one
# core, Mosaro on one and on every core, each the best of a few calls made
# in turns (gstat's 10^4-sample case, minutes a call, runs once, Mosaro's
# five times after it). Single-thread runs are compared by processor time,
# which a busy machine does not inflate; the run on every core by wall time,
# against gstat's wall time: on a host that takes its cores away now and
# then both lose time alike, where gstat's processor time would not.
# usage: Rscript simulation.R DRIVER WORKDIR
suppressMessages(library(gstat))
args <- commandArgs(trailingOnly = TRUE)
driver <- args[1]
work <- args[2]

normal_scores <- function(v) qnorm((rank(v, ties.method = "first") - 0.5) / length(v))

run_case <- function(name, samples, model_text, model, x0, y0, cell, nx, ny, nsim, repeats, mosaro_calls) {
  samples$ns <- normal_scores(samples$v)
  path <- file.path(work, paste0(gsub("[^a-z0-9]", "", name), ".csv"))
  write.csv(samples[, c("x", "y", "ns")], path, row.names = FALSE)
  grid <- expand.grid(x = x0 + cell * (0:(nx - 1)), y = y0 + cell * (0:(ny - 1)))
  # The calls take turns (gstat, Mosaro on one thread, Mosaro on every
  # core), so that a shared machine's slow minutes fall on all three alike;
  # each keeps its best of `repeats`.
  mosaro <- function(threads, field) {
    out <- system2(driver, c(path, 2, shQuote(model_text), x0, y0, cell, nx, ny, nsim, 16, threads, 1), stdout = TRUE)
    as.numeric(strsplit(out, " ")[[1]][field])
  }
  peer <- Inf
  peer_wall <- Inf
  one <- Inf
  every <- Inf
  for (r in seq_len(repeats)) {
    set.seed(1)
    time <- system.time(suppressMessages(
      krige(ns ~ 1, locations = ~x + y, data = samples, newdata = grid, model = model, nmax = 16, nsim = nsim,
            debug.level = 0)))
    peer <- min(peer, time[["user.self"]] + time[["sys.self"]])
    peer_wall <- min(peer_wall, time[["elapsed"]])
    for (m in seq_len(mosaro_calls)) {
      one <- min(one, mosaro(1, 2))
      every <- min(every, mosaro(0, 1))
    }
  }
  nodes <- nx * ny * nsim
  cat(sprintf("| %s | %d | %d x %d x %d | %.2f | %.2f | %.3f | %.3f | %.1f | %.1f | %.2f |\n", name, nrow(samples), nx,
              ny, nsim, peer, peer_wall, one, every, peer / one, peer_wall / every, nodes / every / 1e6))
}

cat("| case | samples | nodes x realisations | gstat (CPU s) | gstat (wall s) | Mosaro 1 thread (CPU s) |",
    "Mosaro 2 threads (wall s) | x faster (1 thread, CPU) | x faster (2 threads, wall) | Mosaro M node/s |\n")
cat("| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |\n")
meuse <- read.csv("data/meuse.csv")
meuse$v <- log(meuse$zinc)
run_case("meuse log(zinc), 40 m grid", meuse, "0.05 Nug + 0.95 Sph(900)", vgm(0.95, "Sph", 900, 0.05),
         178605, 329714, 40, 70, 98, 100, 5, 1)
set.seed(42)
n <- 10000
field <- data.frame(x = runif(n, 0, 3000), y = runif(n, 0, 3000))
field$v <- sin(field$x / 300) + cos(field$y / 400) + rnorm(n, sd = 0.3)
run_case("10^4 generated samples", field, "0.1 Nug + 0.9 Sph(600)", vgm(0.9, "Sph", 600, 0.1), 5, 5, 10, 300, 300, 10,
         1, 5)
