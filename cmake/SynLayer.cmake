# The sources' root, whichever project includes this file; normalised so that the include
# path, and with it the compiler cache, stays the same.
get_filename_component(syn_source_root "${CMAKE_CURRENT_LIST_DIR}/../src" ABSOLUTE)

# One static library per layer, built from every source file in its folder.
function(syn_add_layer name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    return()
  endif()
  add_library(syn_${name} STATIC ${sources})
  target_include_directories(syn_${name} PUBLIC ${syn_source_root})
  target_link_libraries(syn_${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# One Qt Test program per *Test.cpp in the calling folder, run by CTest.
function(syn_add_tests layer)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(source ${tests})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE syn_${layer} syn_testsupport Qt6::Test ${ARG_DEPENDS})
    add_test(NAME ${layer}.${name} COMMAND ${name})
    set_tests_properties(${layer}.${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
      TIMEOUT 300)
  endforeach()
endfunction()
