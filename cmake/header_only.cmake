# The header-only dependencies (CLI11, nlohmann-json, xxHash) as interface targets of the same
# names on every platform. A cross build must not put the build machine's /usr/include on its
# include path (its system headers are the wrong platform's), so the headers are found there and
# staged under the build tree, and only that folder is added.
if(CMAKE_CROSSCOMPILING)
    set(oskelon_staged ${PROJECT_BINARY_DIR}/third_party/include)
    file(MAKE_DIRECTORY ${oskelon_staged})
    foreach(entry CLI nlohmann xxhash.h)
        find_file(oskelon_header_${entry} ${entry} PATHS /usr/include NO_DEFAULT_PATH
                  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
        if(NOT EXISTS ${oskelon_staged}/${entry})
            file(CREATE_LINK ${oskelon_header_${entry}} ${oskelon_staged}/${entry} SYMBOLIC)
        endif()
    endforeach()
    add_library(oskelon_header_only INTERFACE)
    target_include_directories(oskelon_header_only SYSTEM INTERFACE ${oskelon_staged})
    add_library(CLI11::CLI11 ALIAS oskelon_header_only)
    add_library(nlohmann_json::nlohmann_json ALIAS oskelon_header_only)
    add_library(oskelon_xxhash ALIAS oskelon_header_only)
else()
    find_package(CLI11 CONFIG REQUIRED)
    find_package(nlohmann_json CONFIG REQUIRED)
    find_path(XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
    add_library(oskelon_xxhash INTERFACE)
    target_include_directories(oskelon_xxhash INTERFACE ${XXHASH_INCLUDE_DIR})
endif()
