find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(TBB REQUIRED)
find_package(OpenMP REQUIRED COMPONENTS CXX)
find_package(CLI11 CONFIG REQUIRED)

# FreeImage ships neither a CMake config nor a pkg-config file on Debian.
find_path(FREEIMAGE_INCLUDE_DIR FreeImage.h REQUIRED)
find_library(FREEIMAGE_LIBRARY NAMES freeimage REQUIRED)
add_library(FreeImage::FreeImage UNKNOWN IMPORTED)
set_target_properties(FreeImage::FreeImage PROPERTIES
  IMPORTED_LOCATION "${FREEIMAGE_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${FREEIMAGE_INCLUDE_DIR}")

# The image writer completes FreeImage's TIFF files with their EXIF directory.
find_package(TIFF REQUIRED)

# SimpleIni is header-only.
find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h REQUIRED)
add_library(SimpleIni::SimpleIni INTERFACE IMPORTED)
set_target_properties(SimpleIni::SimpleIni PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${SIMPLEINI_INCLUDE_DIR}")

if(MELVARO_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(MELVARO_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
if(MELVARO_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
endif()
