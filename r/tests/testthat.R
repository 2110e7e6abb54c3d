library(testthat)
library(mosaro)

test_check("mosaro")
