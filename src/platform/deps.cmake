# TLS for the connection layer (platform/net).
find_package(OpenSSL 3 REQUIRED)
target_link_libraries(qv_platform PUBLIC OpenSSL::SSL OpenSSL::Crypto)
# ALSA playback of the drop sound (platform/wavesound).
find_package(PkgConfig REQUIRED)
pkg_check_modules(QV_ALSA REQUIRED IMPORTED_TARGET alsa)
target_link_libraries(qv_platform PUBLIC PkgConfig::QV_ALSA)
