# Every outside dependency, found once for the whole tree: a folder links the
# imported targets and never looks for a package itself. All come from
# Debian packages (scripts/install-deps installs them).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(MICROHTTPD REQUIRED IMPORTED_TARGET libmicrohttpd)
pkg_check_modules(LIBNL REQUIRED IMPORTED_TARGET libnl-3.0 libnl-route-3.0)
find_package(pugixml REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(CURL REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
if(VEXA_BUILD_TESTS)
    find_package(GTest REQUIRED)
endif()
if(VEXA_BUILD_GUI)
    find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network Svg Test LinguistTools)
endif()
