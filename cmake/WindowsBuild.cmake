# Settings of every Windows build (MinGW), and what the cross build takes
# from the Debian machine it is made on.

# gmtime_r and localtime_r, which MinGW declares on request.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)

# CLI11 and nlohmann-json are header-only: the cross build puts their folders
# of /usr/include on the include path alone (the rest of /usr/include is
# Linux's).
if(CMAKE_CROSSCOMPILING)
    set(_host_headers ${CMAKE_BINARY_DIR}/host-headers)
    file(MAKE_DIRECTORY ${_host_headers})
    foreach(_dir CLI nlohmann)
        if(NOT EXISTS /usr/include/${_dir})
            message(FATAL_ERROR "/usr/include/${_dir} is missing (scripts/deps.sh installs it)")
        endif()
        file(CREATE_LINK /usr/include/${_dir} ${_host_headers}/${_dir} SYMBOLIC)
    endforeach()
    include_directories(SYSTEM ${_host_headers})
    add_library(CLI11::CLI11 INTERFACE IMPORTED)
endif()
