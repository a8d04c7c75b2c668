# Finds FreeImage: Debian's libfreeimage-dev on Linux, or the static build that
# scripts/build-windows-deps.sh leaves under FREEIMAGE_ROOT for Windows.
find_path(FreeImage_INCLUDE_DIR FreeImage.h HINTS ${FREEIMAGE_ROOT}/include)
find_library(FreeImage_LIBRARY NAMES freeimage FreeImage HINTS ${FREEIMAGE_ROOT}/lib)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(FreeImage REQUIRED_VARS FreeImage_LIBRARY FreeImage_INCLUDE_DIR)

if(FreeImage_FOUND AND NOT TARGET FreeImage::FreeImage)
  add_library(FreeImage::FreeImage UNKNOWN IMPORTED)
  set_target_properties(FreeImage::FreeImage PROPERTIES
    IMPORTED_LOCATION ${FreeImage_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${FreeImage_INCLUDE_DIR})
  if(FreeImage_EXTRA_LIBRARIES)
    set_property(TARGET FreeImage::FreeImage PROPERTY
      INTERFACE_LINK_LIBRARIES ${FreeImage_EXTRA_LIBRARIES})
  endif()
endif()
