# The peer the scanners are measured against: libwget (Debian's wget2-dev),
# linked into this benchmark only. Found directly: its pkg-config file names
# include folders the package does not ship.
find_path(LIBWGET_INCLUDE_DIR wget.h)
find_library(LIBWGET_LIBRARY wget)
if(LIBWGET_INCLUDE_DIR AND LIBWGET_LIBRARY)
  target_include_directories(scanner_bench SYSTEM PRIVATE ${LIBWGET_INCLUDE_DIR})
  target_link_libraries(scanner_bench PRIVATE ${LIBWGET_LIBRARY})
  target_compile_definitions(scanner_bench PRIVATE QV_HAVE_LIBWGET=1)
else()
  message(STATUS "scanner_bench: libwget not found (scripts/setup installs wget2-dev); peer figures left out")
endif()
