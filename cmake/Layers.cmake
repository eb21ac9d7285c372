# Each layer is one static library made of every source in its folder, so
# adding a unit is adding its .h/.cpp pair; no list to keep in step.
function(qv_layer name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  foreach(extra IN LISTS ARGN)
    file(GLOB more CONFIGURE_DEPENDS ${dir}/${extra}/*.cpp ${dir}/${extra}/*.h)
    list(APPEND srcs ${more})
  endforeach()
  add_library(${name} STATIC ${srcs} ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE qv_warnings)
endfunction()
