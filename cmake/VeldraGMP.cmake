# The imported target veldra_gmp, or a configure error naming the package
# to install: find_package(GMP REQUIRED) through cmake/FindGMP.cmake.
find_package(GMP REQUIRED)
