# tsumugi_layer(NAME [LOWER...]): the library tsumugi_NAME of the code under
# src/NAME/, linking the layers LOWER below it. Its code includes headers by
# their path under src/ ("platform/host.h"), from a folder of its own that
# holds links to src/NAME and to src/LOWER only: a header of a higher layer
# is not found, and the build says so at the include that names it.
function(tsumugi_layer name)
  set(lower ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  # main() is the program's, not the library's.
  list(FILTER sources EXCLUDE REGEX "/src/app/main\\.cpp$")
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${name} ${lower})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  add_library(tsumugi_${name} STATIC ${sources})
  target_include_directories(tsumugi_${name} PUBLIC ${root})
  target_compile_options(tsumugi_${name} PRIVATE ${TSUMUGI_WARNINGS})
  foreach(folder ${lower})
    target_link_libraries(tsumugi_${name} PUBLIC tsumugi_${folder})
  endforeach()
endfunction()
