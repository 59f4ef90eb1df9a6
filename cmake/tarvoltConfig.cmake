# find_package(tarvolt): the imported programs tarvolt::tarvolt and
# tarvolt::qrvinfo, and tarvolt_add_packs() to convert ASE files in a build.
include("${CMAKE_CURRENT_LIST_DIR}/tarvoltTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/TarvoltPacks.cmake")
