# The view benchmark drives the main window's list: it needs the UI library.
if(TARGET qv_ui)
  target_link_libraries(url_view_bench PRIVATE qv_ui)
else()
  set_target_properties(url_view_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
