# TLS for the connection layer (platform/net).
find_package(OpenSSL 3 REQUIRED)
target_link_libraries(qv_platform PUBLIC OpenSSL::SSL OpenSSL::Crypto)
