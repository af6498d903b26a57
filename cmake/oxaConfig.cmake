# The OXA scene toolkit's CMake package: find_package(oxa CONFIG REQUIRED) gives the target
# oxa::oxa with its include folders.
include("${CMAKE_CURRENT_LIST_DIR}/oxaTargets.cmake")

# Classes and file formats register themselves from static initialisers in objects that nothing
# else references; a linker taking only the objects it needs from the archive would drop them. So
# a program that links the static library takes all of it. (One linker option rather than
# $<LINK_LIBRARY:WHOLE_ARCHIVE>, which needs CMake 3.24.)
get_target_property(_oxa_type oxa::oxa TYPE)
if(_oxa_type STREQUAL "STATIC_LIBRARY")
  set_property(TARGET oxa::oxa APPEND PROPERTY INTERFACE_LINK_OPTIONS
               "LINKER:--whole-archive,$<TARGET_FILE:oxa::oxa>,--no-whole-archive")
endif()
unset(_oxa_type)
