# The install tree and the example asset build, end to end:
#   cmake -DBUILD=<tarvolt build> -DSOURCE=<tarvolt sources> -DWORK=<scratch> -P asset_pipeline_test.cmake
# Installs BUILD into WORK, checks what is there and that it runs, then builds
# examples/asset_pipeline against the install and against the sources, with
# Make and with Ninja: its packs must equal tarvolt's own, a touched file must
# rebuild its pack alone, and a broken file must fail the build with
# tarvolt's PATH:LINE: error: line.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(code ${code} PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
endfunction()
function(must)
  run(${ARGN})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "failed (${code}): ${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
must(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(file bin/tarvolt bin/qrvinfo share/man/man1/tarvolt.1 share/man/man1/qrvinfo.1
        share/doc/tarvolt/copyright lib/cmake/tarvolt/tarvoltConfig.cmake lib/cmake/tarvolt/TarvoltPacks.cmake
        lib/cmake/tarvolt/tarvoltTargets.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
must(${prefix}/bin/tarvolt --version)

# The packs as tarvolt writes them by hand, with the example's options.
file(COPY ${SOURCE}/examples/asset_pipeline/assets DESTINATION ${WORK}/expected)
file(GLOB assets RELATIVE ${WORK}/expected/assets ${WORK}/expected/assets/*.ase)
foreach(asset ${assets})
  execute_process(COMMAND ${prefix}/bin/tarvolt -o -l _LM ${asset} WORKING_DIRECTORY ${WORK}/expected/assets
                  INPUT_FILE ${SOURCE}/README.md OUTPUT_QUIET)
endforeach()
must(${prefix}/bin/qrvinfo ${WORK}/expected/assets/signpost.qrv)

find_program(NINJA ninja)
set(generators "Unix Makefiles")
if(NINJA)
  list(APPEND generators Ninja)
else()
  message(STATUS "ninja not found: the example is built with Make only")
endif()
set(i 0)
foreach(generator ${generators})
  foreach(from installed sources)
    math(EXPR i "${i} + 1")
    set(project ${WORK}/project${i})
    set(build ${WORK}/build${i})
    file(COPY ${SOURCE}/examples/asset_pipeline/ DESTINATION ${project})
    if(from STREQUAL installed)
      set(where -DCMAKE_PREFIX_PATH=${prefix})
    else()
      set(where -DTARVOLT_SOURCE_DIR=${SOURCE})
    endif()
    must(${CMAKE_COMMAND} -S ${project} -B ${build} -G ${generator} ${where})
    must(${CMAKE_COMMAND} --build ${build} -j 2)
    foreach(asset ${assets})
      string(REPLACE ".ase" ".qrv" pack ${asset})
      file(SHA256 ${WORK}/expected/assets/${pack} expected)
      file(SHA256 ${build}/packs/${pack} got)
      if(NOT expected STREQUAL got)
        message(FATAL_ERROR "${generator}, ${from}: ${pack} differs from tarvolt's own")
      endif()
    endforeach()

    # Touch one file: its pack alone is written again.
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1.1)
    file(TOUCH ${project}/assets/signpost.ase)
    must(${CMAKE_COMMAND} --build ${build})
    string(REGEX MATCHALL "Converting [^\n]*" converted "${out}")
    if(NOT converted MATCHES "^Converting [^;]*signpost.ase$")
      message(FATAL_ERROR "${generator}, ${from}: touching signpost.ase converted: ${converted}\n${out}")
    endif()

    # A broken file fails the build and says where.
    file(READ ${project}/assets/signpost.ase text)
    string(REPLACE "*MESH_VERTEX 2" "*MESH_VERTEX 7" text "${text}")
    file(WRITE ${project}/assets/signpost.ase "${text}")
    run(${CMAKE_COMMAND} --build ${build})
    if(code EQUAL 0 OR NOT out MATCHES "signpost.ase:[0-9]+: error: ")
      message(FATAL_ERROR "${generator}, ${from}: a broken file did not fail the build with its line:\n${out}")
    endif()
  endforeach()
endforeach()
message(STATUS "install tree and example builds: all as expected")
