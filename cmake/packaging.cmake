# Packages, made by CPack with `cmake --build --preset linux --target package` (two .debs:
# glimmerix and glimmerix-server) or `cmake --build --preset windows --target package` (an NSIS
# installer and a portable .zip), written to the build folder's packages/.
set(CPACK_PACKAGE_NAME glimmerix)
set(CPACK_PACKAGE_VENDOR Glimmerix)
set(CPACK_PACKAGE_CONTACT "Glimmerix maintainers <maintainers@glimmerix.example>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# Values reach the generators exactly as written here (NSIS script lines keep their quotes).
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_COMPONENT_PROGRAM_DISPLAY_NAME "Glimmerix")
set(CPACK_COMPONENT_PROGRAM_REQUIRED ON)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging_windows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/packaging_debian.cmake)
endif()

include(CPack)
