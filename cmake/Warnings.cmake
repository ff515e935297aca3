# Warnings for our own targets come from this interface target; third-party code is never built with it.
add_library(selva_warnings INTERFACE)
target_compile_options(selva_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(SELVA_WERROR)
    target_compile_options(selva_warnings INTERFACE -Werror)
endif()

# Options every target of ours shares (sanitizers add to it).
add_library(selva_options INTERFACE)
