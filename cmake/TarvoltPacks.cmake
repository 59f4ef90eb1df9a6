# tarvolt_add_packs(<target> SOURCES <file.ase>...
#                   [OUTPUT_DIRECTORY <dir>] [OPTIMIZE] [LIGHTMAP_SUFFIX <s>] [VALIDATE])
#
# Adds <target>, built by default, with one build step per ASE file: each
# writes <OUTPUT_DIRECTORY>/<name>.qrv (default: the current build folder), so
# Make and Ninja convert in parallel and again only the files that changed,
# or every file when tarvolt itself changed. OPTIMIZE passes -o,
# LIGHTMAP_SUFFIX passes -l, VALIDATE checks each pack with qrvinfo in the
# same step. Each step runs in a folder of its own under
# tarvolt/<target>/<name> in the build tree, where its app.log stays.
function(tarvolt_add_packs target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "OPTIMIZE;VALIDATE" "OUTPUT_DIRECTORY;LIGHTMAP_SUFFIX" "SOURCES")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tarvolt_add_packs: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tarvolt_add_packs: no SOURCES given")
  endif()
  set(out "${CMAKE_CURRENT_BINARY_DIR}")
  if(ARG_OUTPUT_DIRECTORY)
    get_filename_component(out "${ARG_OUTPUT_DIRECTORY}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  set(options)
  if(ARG_OPTIMIZE)
    list(APPEND options -o)
  endif()
  if(DEFINED ARG_LIGHTMAP_SUFFIX)
    list(APPEND options -l "${ARG_LIGHTMAP_SUFFIX}")
  endif()
  set(packs)
  foreach(source IN LISTS ARG_SOURCES)
    get_filename_component(input "${source}" ABSOLUTE)
    get_filename_component(name "${source}" NAME_WE)
    set(pack "${out}/${name}.qrv")
    if(pack IN_LIST packs)
      message(FATAL_ERROR "tarvolt_add_packs: two sources make ${pack}")
    endif()
    set(logs "${CMAKE_CURRENT_BINARY_DIR}/tarvolt/${target}/${name}")
    file(MAKE_DIRECTORY "${logs}" "${out}")
    set(check)
    set(programs "$<TARGET_FILE:tarvolt::tarvolt>")
    if(ARG_VALIDATE)
      set(check COMMAND tarvolt::qrvinfo "${pack}")
      list(APPEND programs "$<TARGET_FILE:tarvolt::qrvinfo>")
    endif()
    add_custom_command(OUTPUT "${pack}"
      COMMAND tarvolt::tarvolt ${options} --output "${pack}" "${input}"
      ${check}
      DEPENDS "${input}" ${programs}
      WORKING_DIRECTORY "${logs}"
      COMMENT "Converting ${source}"
      VERBATIM)
    list(APPEND packs "${pack}")
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${packs})
endfunction()
