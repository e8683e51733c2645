# Build settings shared by every Corvane target: link corvane_common.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_library(corvane_common INTERFACE)
target_compile_features(corvane_common INTERFACE cxx_std_20)
target_compile_options(corvane_common INTERFACE
    -Wall -Wextra -pedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Wunused -Woverloaded-virtual -Wconversion
    -Wformat=2 -Wimplicit-fallthrough)
target_compile_definitions(corvane_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_CAST_FROM_BYTEARRAY
    QT_USE_QSTRINGBUILDER
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_FOREACH
    QT_STRICT_ITERATORS
    CORVANE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    CORVANE_VERSION_MINOR=${PROJECT_VERSION_MINOR})

option(CORVANE_WERROR "Treat warnings as errors" OFF)
if(CORVANE_WERROR)
    target_compile_options(corvane_common INTERFACE -Werror)
endif()

# The libraries compile as a few combined units: each source alone spends most of
# its time reading the same Qt headers; combined, src/ compiles in a third of the time.
# -DCORVANE_UNITY_BUILD=OFF compiles each file alone, for quicker rebuilds of one.
option(CORVANE_UNITY_BUILD "Compile the libraries' sources in combined units" ON)

# corvane_add_library(<name> <STATIC sources...> [LINK <libs...>])
# One static library per subsystem layer; every one links corvane_common.
function(corvane_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES UNITY_BUILD ${CORVANE_UNITY_BUILD})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC corvane_common ${ARG_LINK})
endfunction()
