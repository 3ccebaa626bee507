# The intros in a browser, built with Emscripten (scripts/web.sh) into one
# static folder, site/: a page, its script and its WebAssembly module for each
# configuration, and one data file that both pages share.
#
# Included from programs/intro/CMakeLists.txt in an Emscripten
# build only.
set(INTRO_SITE_DIR ${CMAKE_BINARY_DIR}/site)
set(web_dir ${PROJECT_SOURCE_DIR}/web)

# The data files the intro opens (data/files.txt, read by
# cmake/data_files.cmake), taken from the folder INTRO_WEB_DATA (the shipped
# data/ unless scripts/web.sh --data names a maker's folder) and packed once
# into site/intro.data, with each optional file (message.txt, logo.txt) that
# the folder has; the loader script that goes with it is built into both
# pages.
set(INTRO_WEB_DATA ${PROJECT_SOURCE_DIR}/data CACHE PATH
    "The data folder the web pages pack (scripts/web.sh --data DIR)")
set(intro_data_args "")
set(intro_data_paths "")
foreach(f ${INTRO_DATA_FILES} ${INTRO_DATA_OPTIONAL_FILES})
  if(f IN_LIST INTRO_DATA_OPTIONAL_FILES AND NOT EXISTS ${INTRO_WEB_DATA}/${f})
    continue()
  endif()
  list(APPEND intro_data_args ${f}@/${f})
  list(APPEND intro_data_paths ${INTRO_WEB_DATA}/${f})
endforeach()
set(intro_data_loader ${CMAKE_BINARY_DIR}/intro-data.js)
add_custom_command(
  OUTPUT ${INTRO_SITE_DIR}/intro.data ${intro_data_loader}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${INTRO_SITE_DIR}
  COMMAND ${EMSCRIPTEN_ROOT_PATH}/tools/file_packager ${INTRO_SITE_DIR}/intro.data
          --preload ${intro_data_args} --js-output=${intro_data_loader}
  WORKING_DIRECTORY ${INTRO_WEB_DATA}
  DEPENDS ${intro_data_paths}
  COMMENT "Packing the intro's data files"
  VERBATIM)
add_custom_target(intro-web-data DEPENDS ${INTRO_SITE_DIR}/intro.data)

set(web_link_inputs ${web_dir}/shell.html ${web_dir}/intro.js ${intro_data_loader})

# One intro in a browser: the native intro's sources with the web
# configuration unit, paced and stopped by web/intro.js.
function(add_web_intro name width height fullscreen)
  add_executable(${name} main.cpp ${web_dir}/web_config.cpp)
  target_compile_definitions(${name} PRIVATE
    INTRO_WIDTH=${width} INTRO_HEIGHT=${height} INTRO_FULLSCREEN=${fullscreen})
  target_link_libraries(${name} PRIVATE demo intro_options)
  target_link_options(${name} PRIVATE
    -sASYNCIFY -sINVOKE_RUN=0 -sEXPORTED_RUNTIME_METHODS=ccall
    -sFORCE_FILESYSTEM=1 -sENVIRONMENT=web
    -sMINIFY_HTML=0
    "SHELL:--shell-file ${web_dir}/shell.html"
    "SHELL:--pre-js ${web_dir}/intro.js"
    "SHELL:--pre-js ${intro_data_loader}")
  set_target_properties(${name} PROPERTIES
    SUFFIX ".html"
    RUNTIME_OUTPUT_DIRECTORY ${INTRO_SITE_DIR}
    LINK_DEPENDS "${web_link_inputs}")
  add_dependencies(${name} intro-web-data)
endfunction()

# The same two configurations as the native intros.
add_web_intro(intro-web 640 480 0)
add_web_intro(intro-web-fullscreen 320 200 1)
