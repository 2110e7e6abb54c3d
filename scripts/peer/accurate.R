# Kriges the same nodes and cross-validates the same samples with gstat
# (same spherical model, isotropic, 16 nearest neighbours) and prints how
# far Mosaro's two arithmetics lie from it: the median and the largest
# relative difference of estimates and variances.
#
# usage: Rscript accurate.R CSV COLUMN_NAME NUGGET PARTIAL_SILL RANGE DUMP_FILE
suppressMessages({library(gstat); library(sp)})
args <- commandArgs(trailingOnly = TRUE)
data <- read.csv(args[1])
names(data)[1:2] <- c("x", "y")
data$z <- data[[args[2]]]
model <- vgm(as.numeric(args[4]), "Sph", as.numeric(args[5]), as.numeric(args[3]))
dump <- read.table(args[6], fill = TRUE, col.names = paste0("V", 1:7))
forms <- list("1" = z ~ 1, "7" = z ~ x + I(x^2) + y + I(y^2) + I(x * y))
relative <- function(ours, peer) abs(ours - peer) / pmax(abs(peer), 1e-12)
row <- function(what, arithmetic, method, ours, peer) {
  d <- relative(ours, peer)
  cat(sprintf("| %s | %s | %s | %.2e | %.2e | %d of %d |\n", what, arithmetic, method, median(d), max(d),
              sum(d > 1e-5), length(d)))
}
cat("| quantity | arithmetic | method | median relative difference | largest | above 1e-5 |\n|---|---|---|---|---|---|\n")
for (method in c("1", "7")) {
  nodes <- dump[dump$V1 == "node" & dump$V2 == "accurate" & dump$V3 == as.integer(method), ]
  newdata <- data.frame(x = nodes$V4, y = nodes$V5)
  peer <- krige(forms[[method]], ~x + y, data, newdata, model, nmax = 16, debug.level = 0)
  cv <- krige.cv(forms[[method]], ~x + y, data, model, nmax = 16, debug.level = 0, verbose = FALSE)
  for (arithmetic in c("accurate", "legacy")) {
    nodes <- dump[dump$V1 == "node" & dump$V2 == arithmetic & dump$V3 == as.integer(method), ]
    row("node estimate", arithmetic, method, nodes$V6, peer$var1.pred)
    row("node variance", arithmetic, method, nodes$V7, peer$var1.var)
    ours <- dump[dump$V1 == "cv" & dump$V2 == arithmetic & dump$V3 == as.integer(method), ]
    row("cv estimate", arithmetic, method, as.numeric(ours$V5), cv$var1.pred)
    row("cv variance", arithmetic, method, as.numeric(ours$V6), cv$var1.var)
  }
}

# Where the two disagree beyond rounding, is the 16th neighbour tied with
# the 17th? Then either choice is right and the two tools simply break the
# tie differently.
ties <- 0
for (i in seq_len(nrow(data))) {
  d <- sort(sqrt((data$x[-i] - data$x[i])^2 + (data$y[-i] - data$y[i])^2))
  if (isTRUE(all.equal(d[16], d[17]))) ties <- ties + 1
}
cat(sprintf("\nsamples whose 16th and 17th other samples lie at the same distance: %d of %d\n", ties, nrow(data)))
