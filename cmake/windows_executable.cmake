# oskelon_windows_executable(<target>): what every Windows executable of the product carries:
# the application manifest (supported Windows versions, so that the version data is the real
# one; per-monitor DPI awareness; common controls 6) and no symbols in release builds.
function(oskelon_windows_executable target)
    if(NOT WIN32)
        return()
    endif()
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows/manifest.rc)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/cmake/windows/manifest.rc APPEND PROPERTY
                 OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/windows/app.manifest)
    target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endfunction()
