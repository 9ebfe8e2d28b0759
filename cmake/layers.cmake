# The dependency rule between the source folders, checked when configuring:
# a module links exactly the libraries it is declared to link, and its
# sources include project headers only from the folders it may use.
# A violation stops the configuration with the file and the include.

# qv_check_layer(<target> <folder> LINKS <libraries...> INCLUDES <folders...>)
function(qv_check_layer target folder)
  cmake_parse_arguments(PARSE_ARGV 2 layer "" "" "LINKS;INCLUDES")
  get_target_property(links ${target} LINK_LIBRARIES)
  if(NOT links)
    set(links "")
  endif()
  set(expected ${layer_LINKS})
  list(SORT links)
  list(SORT expected)
  if(NOT "${links}" STREQUAL "${expected}")
    message(FATAL_ERROR "${target} links '${links}'; the layers allow '${expected}'")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^#include \"[a-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" used "${line}")
      if(NOT used IN_LIST layer_INCLUDES)
        message(FATAL_ERROR "${source}: '${line}' reaches into src/${used}, "
                            "which src/${folder} may not use")
      endif()
    endforeach()
  endforeach()
endfunction()
