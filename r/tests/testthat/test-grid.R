test_that("a grid's nodes are the points predict estimates, in the samples' CRS", {
  meuse <- meuse_sf()
  r <- mosaro_grid(meuse, "log_zinc", cell = 200, model = zinc_model)
  expect_equal(names(r), c("estimate", "variance"))
  expect_true(sf::st_crs(terra::crs(r)) == sf::st_crs(28992))
  # Cell centres run from the samples' south-western corner.
  expect_equal(terra::xmin(r) + 100, min(meuse$x))
  expect_equal(terra::ymin(r) + 100, min(meuse$y))
  nodes <- as.data.frame(terra::xyFromCell(r, seq_len(terra::ncell(r))))
  p <- mosaro_predict(meuse, "log_zinc", nodes, model = zinc_model)
  expect_equal(p$estimate, terra::values(r)[, "estimate"], tolerance = 1e-12)
  expect_equal(p$variance, terra::values(r)[, "variance"], tolerance = 1e-12)
  expect_equal(attr(r, "model"), zinc_model)
})

test_that("a template's cell centres are the targets", {
  meuse <- meuse_sf()
  template <- terra::rast(xmin = 178500, xmax = 181500, ymin = 329500, ymax = 334000, resolution = 500, crs = "EPSG:28992")
  r <- mosaro_grid(meuse, "log_zinc", template = template, model = zinc_model)
  expect_equal(dim(r)[1:2], dim(template)[1:2])
  # The north-western cell is the first a raster holds.
  corner <- mosaro_predict(meuse, "log_zinc", data.frame(x = 178750, y = 333750), model = zinc_model)
  expect_equal(unname(terra::values(r)[1, "estimate"]), corner$estimate, tolerance = 1e-12)
})

test_that("bad input is an R error naming the argument", {
  meuse <- meuse_sf()
  cases <- list(
    list(quote(mosaro_grid(meuse, "nickel", cell = 100)), "value.*nickel"),
    list(quote(mosaro_grid(meuse, "zinc", cell = -5)), "cell"),
    list(quote(mosaro_grid(meuse, "zinc", cell = 100, nmax = 0)), "nmax"),
    list(quote(mosaro_grid(meuse, "zinc", cell = 100, model = "0.5 Foo(3)")), "model.*Foo"),
    list(quote(mosaro_grid(meuse, "zinc", cell = 100, method = "indicator")), "mosaro_legacy_grid"),
    list(quote(mosaro_grid(meuse, "zinc", cell = 100, method = "lognormal3")), "shift"),
    list(quote(mosaro_predict(meuse, "zinc", list(1, 2))), "newdata"),
    list(quote(mosaro_model_from_vgm(data.frame(model = "Per", psill = 1, range = 2))), "Per")
  )
  for (case in cases) expect_error(eval(case[[1]]), case[[2]], info = deparse(case[[1]]))
})

test_that("vgm tables and the notation convert both ways", {
  skip_if_not_installed("gstat")
  # Fitted numbers need all 17 digits to come back.
  for (text in c("0.050660441806065465 Nug + 0.5906058362344286 Sph(897.0064349066342)", "1.2 Mat(300, kappa=1.5)",
                 "0.1 Nug + 0.6 Exp(500, azimuth=45, ratio=0.4)",
                 "0.3 Pow(1.5)")) {
    v <- mosaro_model_to_vgm(text)
    expect_s3_class(v, "variogramModel")
    expect_equal(mosaro_model_from_vgm(v), text)
  }
  v <- gstat::vgm(0.59, "Sph", 897, nugget = 0.05, anis = c(30, 0.5))
  expect_equal(mosaro_model_from_vgm(v), "0.05 Nug + 0.59 Sph(897, azimuth=30, ratio=0.5)")
})

test_that("simulations are the seed's, one layer per realisation", {
  meuse <- meuse_sf()
  a <- mosaro_simulate(meuse, "log_zinc", cell = 400, nsim = 2, seed = 7, model = "0.1 Nug + 0.9 Sph(800)")
  b <- mosaro_simulate(meuse, "log_zinc", cell = 400, nsim = 2, seed = 7, model = "0.1 Nug + 0.9 Sph(800)", threads = 1)
  expect_equal(names(a), c("sim1", "sim2"))
  expect_identical(terra::values(a), terra::values(b))
  expect_false(identical(terra::values(a)[, 1], terra::values(a)[, 2]))
})

test_that("the legacy request's accurate arithmetic agrees with the prediction to float precision", {
  meuse <- meuse_sf()
  legacy <- mosaro_legacy_grid(meuse, "log_zinc", cell = 200, model = c(0.05, 0.59, 897), arithmetic = "accurate")
  prediction <- mosaro_grid(meuse, "log_zinc", cell = 200, model = zinc_model)
  expect_equal(as.vector(terra::ext(legacy)), as.vector(terra::ext(prediction)))
  expect_lte(relative_difference(terra::values(legacy), terra::values(prediction)), 1e-5)
  expect_equal(unname(attr(legacy, "models")[[1]]["x", ]), c(0.05, 0.59, 897), tolerance = 1e-6)
})
