# The Debian dependencies on the libraries Tsumugi opens with dlopen when it
# first needs them (FFmpeg for sound and movies, FluidSynth for MIDI,
# SDL_image for cursors). dpkg-shlibdeps sees only what the program links,
# so these are found here instead of being written down by hand: each
# library the build compiled against is followed to its soname, which is
# the file the program opens at run time (the FFmpeg major versions come
# from the same headers), dpkg names the package that holds that file, and
# the package's shlibs file gives the version to ask for, as dpkg-shlibdeps
# would for a linked library. A new soname (libavcodec59 to libavcodec60)
# thus changes the package names with no one editing them.
#
#   tsumugi_runtime_depends(OUT LIBRARY_FILE...)
# sets OUT to the dependencies, comma-separated, in the order given; it is
# empty where dpkg is not the package manager.
function(tsumugi_runtime_depends out)
  set(${out} "" PARENT_SCOPE)
  find_program(TSUMUGI_DPKG_QUERY dpkg-query)
  if(NOT TSUMUGI_DPKG_QUERY OR NOT CMAKE_READELF)
    return()
  endif()
  set(runtime_files "")
  foreach(library IN LISTS ARGN)
    execute_process(COMMAND ${CMAKE_READELF} -d ${library} OUTPUT_VARIABLE dynamic
                    RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0 OR NOT dynamic MATCHES "Library soname: \\[([^]]+)\\]")
      message(WARNING "No soname in ${library}: the package will not depend on it")
      continue()
    endif()
    get_filename_component(directory ${library} DIRECTORY)
    list(APPEND runtime_files ${directory}/${CMAKE_MATCH_1})
  endforeach()
  if(NOT runtime_files)
    return()
  endif()

  # One query for all files: dpkg reads its whole file list each time. Its
  # lines read "libavcodec59:amd64: /usr/lib/x86_64-linux-gnu/libavcodec.so.59".
  execute_process(COMMAND ${TSUMUGI_DPKG_QUERY} -S ${runtime_files}
                  OUTPUT_VARIABLE owners ERROR_QUIET)
  string(REPLACE "\n" ";" owners "${owners}")
  set(depends "")
  foreach(file IN LISTS runtime_files)
    set(qualified "")
    foreach(line IN LISTS owners)
      string(FIND "${line}" ": " colon REVERSE)
      if(colon GREATER 0)
        math(EXPR path_start "${colon} + 2")
        string(SUBSTRING "${line}" ${path_start} -1 path)
        if(path STREQUAL file)
          string(SUBSTRING "${line}" 0 ${colon} qualified)
        endif()
      endif()
    endforeach()
    if(NOT qualified OR qualified MATCHES ",")
      message(WARNING "No one package holds ${file}: the package will not depend on it")
      continue()
    endif()
    string(REGEX REPLACE ":.*" "" package "${qualified}")
    set(dependency ${package})
    # The shlibs line of the soname "libavcodec.so.59" reads
    # "libavcodec 59 libavcodec59 (>= 7:5.1)".
    get_filename_component(soname ${file} NAME)
    string(REGEX MATCH "^(.+)\\.so\\.(.+)$" versioned "${soname}")
    set(shlibs_key "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
    execute_process(COMMAND ${TSUMUGI_DPKG_QUERY} --control-path ${qualified} shlibs
                    OUTPUT_VARIABLE shlibs_file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(versioned AND shlibs_file AND EXISTS "${shlibs_file}")
      file(STRINGS ${shlibs_file} lines)
      foreach(line IN LISTS lines)
        string(LENGTH "${shlibs_key} " key_length)
        string(SUBSTRING "${line}" 0 ${key_length} key)
        if(key STREQUAL "${shlibs_key} ")
          string(SUBSTRING "${line}" ${key_length} -1 dependency)
          break()
        endif()
      endforeach()
    endif()
    if(NOT dependency IN_LIST depends)
      list(APPEND depends "${dependency}")
    endif()
  endforeach()
  list(JOIN depends ", " depends)
  set(${out} "${depends}" PARENT_SCOPE)
endfunction()
