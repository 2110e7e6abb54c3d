# The same kriging as gstat's, on the same model and neighbourhood.
test_that("grid, variogram and cross-validation agree with gstat", {
  skip_if_not_installed("gstat")
  meuse <- meuse_sf()
  model <- gstat::vgm(0.59, "Sph", 897, nugget = 0.05)
  r <- mosaro_grid(meuse, "log_zinc", cell = 100, model = model, nmax = 16)
  nodes <- sf::st_as_sf(as.data.frame(terra::xyFromCell(r, seq_len(terra::ncell(r)))), coords = c("x", "y"),
                        crs = 28992)
  k <- gstat::krige(log_zinc ~ 1, meuse, nodes, model = model, nmax = 16, debug.level = 0)
  expect_lte(relative_difference(terra::values(r)[, "estimate"], k$var1.pred), 1e-6)
  expect_lte(relative_difference(terra::values(r)[, "variance"], k$var1.var), 1e-6)

  v <- mosaro_variogram(meuse, "log_zinc", alpha = c(0, 45, 90, 135))
  g <- gstat::variogram(log_zinc ~ 1, meuse, alpha = c(0, 45, 90, 135))
  expect_equal(v$np, g$np)
  expect_lte(relative_difference(v$gamma, g$gamma), 1e-12)

  cv <- mosaro_cv(meuse, "log_zinc", model = model, nmax = 16)
  gcv <- gstat::krige.cv(log_zinc ~ 1, meuse, model = model, nmax = 16, debug.level = 0)
  expect_lte(relative_difference(cv$var1.pred, gcv$var1.pred), 1e-6)
  expect_lte(relative_difference(cv$zscore, gcv$zscore), 1e-5)
})
