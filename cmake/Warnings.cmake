# Warnings for our own targets come from this interface target; third-party code is never built with it.
add_library(selva_warnings INTERFACE)
target_compile_options(selva_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(SELVA_WERROR)
    target_compile_options(selva_warnings INTERFACE -Werror)
endif()
# GCC 12 at -O3 warns of overlapping copies inside std::string's own operator+ ("literal" + string&&), a
# known false alarm of that release; it says nothing about our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(selva_warnings INTERFACE -Wno-restrict)
endif()

# Options every target of ours shares (sanitizers add to it).
add_library(selva_options INTERFACE)
