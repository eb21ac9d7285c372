find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBPSL REQUIRED IMPORTED_TARGET libpsl)
target_link_libraries(qv_engine PUBLIC PkgConfig::LIBPSL)
# Content codings of HTTP bodies (gzip, deflate): engine/contentcoding.
find_package(ZLIB REQUIRED)
target_link_libraries(qv_engine PUBLIC ZLIB::ZLIB)
