# Where the nodes go and how they become a raster. The library's nodes run
# row after row from the south-west corner, x fastest; a raster's cells run
# from the north-west, so the rows are turned over.

# list(grid = c(x0, y0, cell_x, cell_y, nodes_x, nodes_y), raster):
# the cell centres of `template`, or the library's layout over the samples'
# bounding box with `cell` (NULL: 100 cells along the longer side).
grid_targets <- function(s, cell, template) {
  if (!is.null(template)) {
    if (!is.null(cell)) stop("give cell or template, not both", call. = FALSE)
    if (!inherits(template, "SpatRaster")) stop("template must be a terra SpatRaster", call. = FALSE)
    e <- as.vector(terra::ext(template))
    r <- terra::res(template)
    grid <- c(e[["xmin"]] + r[1] / 2, e[["ymin"]] + r[2] / 2, r[1], r[2], terra::ncol(template),
              terra::nrow(template))
    raster <- terra::rast(template, nlyrs = 1)
    if (terra::crs(raster) == "" && nzchar(s$crs)) terra::crs(raster) <- s$crs
    return(list(grid = grid, raster = raster))
  }
  cells <- if (is.null(cell)) c(0, 0) else {
    if (!is.numeric(cell) || !length(cell) %in% 1:2 || any(!is.finite(cell)) || any(cell <= 0)) {
      stop("cell must be one or two positive numbers (x, then y) (got ", deparse(cell), ")", call. = FALSE)
    }
    rep_len(as.double(cell), 2)
  }
  layout_targets(.grid_layout(s$x, s$y, numeric(0), cells[1], cells[2]), s$crs)
}

# The targets of a layout of .grid_layout(): its nodes as cell centres.
layout_targets <- function(layout, crs) {
  grid <- layout[1:6]
  half <- grid[3:4] / 2
  raster <- terra::rast(nrows = grid[6], ncols = grid[5],
                        xmin = grid[1] - half[1], xmax = grid[1] + (grid[5] - 1) * grid[3] + half[1],
                        ymin = grid[2] - half[2], ymax = grid[2] + (grid[6] - 1) * grid[4] + half[2],
                        crs = crs)
  list(grid = grid, raster = raster)
}

# A raster of the layers given as node vectors in the library's order.
raster_of <- function(layers, targets) {
  nx <- targets$grid[5]
  ny <- targets$grid[6]
  north_first <- function(v) as.vector(matrix(v, nrow = nx, ncol = ny)[, ny:1])
  r <- terra::rast(targets$raster, nlyrs = length(layers))
  terra::values(r) <- vapply(layers, north_first, numeric(nx * ny))
  names(r) <- names(layers)
  r
}
