# The scale benchmark runs the program's own windows: it needs the UI library,
# and seeds its program folder from the source tree's shipped files.
if(TARGET qv_ui)
  target_link_libraries(project_scale_bench PRIVATE qv_ui)
  target_compile_definitions(project_scale_bench PRIVATE QV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
else()
  set_target_properties(project_scale_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
