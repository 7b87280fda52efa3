# Third-party libraries. On Linux they come from Debian's -dev packages; the Windows
# build finds static cross-built copies (and header-only {fmt}) in the prefix made by
# tools/build-win-deps.sh. The same targets serve both builds.

find_package(Threads REQUIRED)
find_package(fmt 9 REQUIRED)                 # fmt::fmt
find_package(pugixml REQUIRED)               # pugixml::pugixml
find_package(nlohmann_json 3 REQUIRED)       # nlohmann_json::nlohmann_json
find_package(CURL REQUIRED)                  # CURL::libcurl
find_package(libzip REQUIRED)                # libzip::zip

if(RAMPTIDE_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()
if(RAMPTIDE_BENCHMARKS AND NOT WIN32)
    find_package(benchmark REQUIRED)
endif()
