# Writes text to file unless it holds exactly that already, so that nothing
# that depends on the file rebuilds for nothing.
function(intro_write_if_changed file text)
  set(old "")
  if(EXISTS ${file})
    file(READ ${file} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${file} "${text}")
  endif()
endfunction()

# The intro's data files, read once from data/files.txt: INTRO_DATA_FILES
# (the names of the files every data folder holds, for the install rules and
# the browser's data pack), INTRO_DATA_OPTIONAL_FILES (those a folder may
# leave out; data/ has none of them) and INTRO_DATA_TABLE, the C++ table the
# driver compiles in (demo/data_files.h). A kind is any lower-case word; the
# table names it as DemoDataKind::<Word>.
set(INTRO_DATA_LIST ${PROJECT_SOURCE_DIR}/data/files.txt)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY
  CMAKE_CONFIGURE_DEPENDS ${INTRO_DATA_LIST})
file(STRINGS ${INTRO_DATA_LIST} intro_data_lines REGEX "^[^#]")
set(INTRO_DATA_FILES "")
set(INTRO_DATA_OPTIONAL_FILES "")
set(table "// Made by cmake/data_files.cmake from data/files.txt.\n")
foreach(line ${intro_data_lines})
  string(REGEX MATCH "^([A-Za-z0-9._-]+)[ \t]+([a-z]+)([ \t]+optional)?[ \t]*$" ok "${line}")
  if(NOT ok)
    message(FATAL_ERROR "data/files.txt: cannot read the line \"${line}\"")
  endif()
  set(name ${CMAKE_MATCH_1})
  set(kind ${CMAKE_MATCH_2})
  string(SUBSTRING ${kind} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${kind} 1 -1 rest)
  if(CMAKE_MATCH_3)
    list(APPEND INTRO_DATA_OPTIONAL_FILES ${name})
    set(optional true)
  else()
    list(APPEND INTRO_DATA_FILES ${name})
    set(optional false)
  endif()
  string(APPEND table "{\"${name}\", DemoDataKind::${first}${rest}, ${optional}},\n")
endforeach()
set(INTRO_DATA_TABLE ${PROJECT_BINARY_DIR}/generated/demo/data_files.inc)
intro_write_if_changed(${INTRO_DATA_TABLE} "${table}")
