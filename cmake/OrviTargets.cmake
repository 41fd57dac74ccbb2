# Every layer is one library whose sources are the files of its folder, so adding a file
# needs no edit here; the link lines below are what keeps the layering honest.
function(orvi_glob_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*.cpp")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# A layer whose folder has no sources yet is still a target, so link lines stay the same.
function(orvi_add_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC" ${ARGN})
  if(L_SOURCES)
    add_library(${name} STATIC ${L_SOURCES})
    target_link_libraries(${name} PUBLIC ${L_PUBLIC})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_PUBLIC})
  endif()
endfunction()
