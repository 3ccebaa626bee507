# The Debian package, made by `cpack -G DEB` in a build folder (see
# scripts/package.sh): every installed file, its dependencies found by
# dpkg-shlibdeps from the programs' own links.
set(CPACK_PACKAGE_NAME tandrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The TANDRIX developers")
set(TANDRIX_MAINTAINER "TANDRIX developers <tandrix@example.org>" CACHE STRING
    "The Debian package's maintainer, as Name <address>")
set(CPACK_PACKAGE_CONTACT ${TANDRIX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "text-mode intro on SDL 1.2, with its image library")
set(CPACK_PACKAGE_DESCRIPTION
  "A small real-time intro drawn entirely as characters on an emulated
console: a drifting world map, a running man, a star field, a swinging logo
and a scroller, rendered with an 8x8 bitmap font and presented through SDL
1.2. The command tandrix plays it in a window; intro-capture records it
headless to image files.
.
The package also carries the intro's libraries for use in other programs:
an image library (PNM files, a textual image form, blitting, scaling,
rotation), a bitmap font and text-screen primitives, with their headers, a
CMake package (Tandrix) and a pkg-config file (tandrix-img).")
# Debian wants every package to carry its copyright and changelog (compressed
# with gzip -9n: no name or time stamp in the file).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tandrix COMPONENT programs)
find_program(GZIP gzip)
if(GZIP)
  string(TIMESTAMP TANDRIX_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in
    ${PROJECT_BINARY_DIR}/changelog @ONLY)
  execute_process(COMMAND ${GZIP} -9nf ${PROJECT_BINARY_DIR}/changelog)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tandrix COMPONENT programs)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
include(CPack)
