# What `cmake --install` puts under the prefix:
#   bin/                     intro-window, intro-fullscreen, intro-capture and
#                            tandrix (the launcher, new and check)
#   share/tandrix/           the data files the intros read
#   lib/                     the libraries img, font, textscreen and common
#                            (libtandrix-<name>.a), exported as Tandrix::<name>
#   include/tandrix/         their headers: #include <tandrix/img/img.h>
#   lib/cmake/Tandrix/       the CMake package (find_package(Tandrix 1.0))
#   lib/pkgconfig/           tandrix-img.pc
# and the Debian package made from the same rules (scripts/package.sh).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TANDRIX_LIBRARIES common img font textscreen)
set(TANDRIX_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR})

foreach(lib ${TANDRIX_LIBRARIES})
  # In the build tree the libraries include each other's headers from the
  # source tree; installed, from the prefix's include folder.
  set_target_properties(${lib} PROPERTIES
    OUTPUT_NAME tandrix-${lib}
    EXPORT_NAME ${lib}
    INTERFACE_INCLUDE_DIRECTORIES
      "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>;$<INSTALL_INTERFACE:${TANDRIX_INCLUDE_DIR}>")
  add_library(Tandrix::${lib} ALIAS ${lib})

  # The public headers, their includes of each other turned into
  # "tandrix/<library>/..." so that they resolve from the prefix alone.
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${lib}/*.h)
  list(FILTER headers EXCLUDE REGEX "_internal\\.h$")
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    file(READ ${header} text)
    string(REGEX REPLACE "#include \"(common|img|font|textscreen)/"
                         "#include \"tandrix/\\1/" text "${text}")
    set(staged ${PROJECT_BINARY_DIR}/include/tandrix/${lib}/${name})
    intro_write_if_changed(${staged} "${text}")
    install(FILES ${staged} DESTINATION ${TANDRIX_INCLUDE_DIR}/tandrix/${lib}
            COMPONENT development)
  endforeach()
endforeach()

install(TARGETS ${TANDRIX_LIBRARIES} EXPORT TandrixTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(EXPORT TandrixTargets NAMESPACE Tandrix::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tandrix COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TandrixConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TandrixConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tandrix)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TandrixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TandrixConfig.cmake
              ${PROJECT_BINARY_DIR}/TandrixConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tandrix COMPONENT development)

# pkg-config: the image library and what it links (common), nothing of SDL.
# The prefix is found from the file's own place, as the installed tree may be
# put elsewhere than CMAKE_INSTALL_PREFIX (cmake --install --prefix, a package).
file(RELATIVE_PATH TANDRIX_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TANDRIX_PC_TO_PREFIX "${TANDRIX_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tandrix-img.pc.in
  ${PROJECT_BINARY_DIR}/tandrix-img.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tandrix-img.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The programs, their data and the launcher, which finds both relative to
# itself, so that the installed tree can be moved (or unpacked anywhere).
if(TARGET intro-window)  # not in a build without SDL
  install(TARGETS intro-window intro-fullscreen intro-capture
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  # The data files of data/files.txt (cmake/data_files.cmake).
  list(TRANSFORM INTRO_DATA_FILES PREPEND ${PROJECT_SOURCE_DIR}/data/
       OUTPUT_VARIABLE data_paths)
  install(FILES ${data_paths}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/tandrix COMPONENT programs)
  # The launcher and the maker's commands (programs/tandrix), which find
  # the data relative to themselves.
  install(TARGETS tandrix
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)

  # One manual page for the four programs, the other three names pointing to
  # it; compressed without name or time stamp, as Debian wants them.
  find_program(GZIP gzip)
  if(GZIP)
    set(man ${PROJECT_BINARY_DIR}/man)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/tandrix.1 ${man}/tandrix.1 @ONLY)
    set(pages ${man}/tandrix.1)
    set(names intro-window intro-fullscreen intro-capture)
    if(TARGET intro-term)
      list(APPEND names intro-term)
    endif()
    foreach(name ${names})
      file(WRITE ${man}/${name}.1 ".so man1/tandrix.1\n")
      list(APPEND pages ${man}/${name}.1)
    endforeach()
    execute_process(COMMAND ${GZIP} -9nf ${pages})
    list(TRANSFORM pages APPEND .gz)
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT programs)
  endif()
endif()
# The terminal intro, in builds that have it.
if(TARGET intro-term)
  install(TARGETS intro-term
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
