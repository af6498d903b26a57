# Fuzz build: library sources compiled without comparison tracing. Their comparisons are between
# values no input byte decides directly (sizes, indexes, handles, flags, times of keys already
# read), so the fuzzer gains nothing from the traces and every reader target pays for them on each
# input. Their edges stay instrumented. Parsing code keeps its tracing: the readers under formats/,
# the field-file reading in oxa_codec/ and the curve reading in animation/*_store.cpp, and the
# text, number and string handling in base/ that readers use.
set(OXA_FUZZ_UNTRACED_GLOBS
    animation/*.cpp
    base/platform.cpp base/varray.cpp base/vcallback_list.cpp base/verror.cpp base/vge_*.cpp
    base/vmemory_pool.cpp base/vname_table.cpp base/vpair_array.cpp base/vpath.cpp
    base/vprogress.cpp base/vsafe_output_file.cpp
    oxa_codec/voxa_exporter.cpp oxa_codec/voxa_io_formats.cpp oxa_codec/voxa_output.cpp
    oxa_codec/voxa_writer.cpp oxa_codec/vstream_options.cpp
    formats/*/voxa_geometry_write.cpp formats/*/voxa_writer_*.cpp)
set(OXA_FUZZ_TRACED_GLOBS animation/*_store.cpp)

function(oxa_fuzz_untrace_sources)
  set(untraced)
  foreach(pattern IN LISTS OXA_FUZZ_UNTRACED_GLOBS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    list(APPEND untraced ${found})
  endforeach()
  foreach(pattern IN LISTS OXA_FUZZ_TRACED_GLOBS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    if(found)
      list(REMOVE_ITEM untraced ${found})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES untraced)
  set_property(SOURCE ${untraced} APPEND PROPERTY COMPILE_OPTIONS -fno-sanitize-coverage=trace-cmp)
endfunction()
