# The OXA scene toolkit's CMake package: find_package(oxa CONFIG REQUIRED) gives the target
# oxa::oxa with its include folder.
include("${CMAKE_CURRENT_LIST_DIR}/oxaTargets.cmake")
