if(SELVA_SANITIZE STREQUAL "address")
    target_compile_options(selva_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=undefined)
    target_link_options(selva_options INTERFACE -fsanitize=address,undefined)
elseif(SELVA_SANITIZE STREQUAL "thread")
    target_compile_options(selva_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(selva_options INTERFACE -fsanitize=thread)
elseif(NOT SELVA_SANITIZE STREQUAL "none" AND NOT SELVA_SANITIZE STREQUAL "OFF")
    message(FATAL_ERROR "SELVA_SANITIZE must be none, address or thread")
endif()

# Fuzz builds instrument the whole core for coverage, so the fuzzers are steered through the parsers.
if(SELVA_BUILD_FUZZ)
    target_compile_options(selva_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
    target_link_options(selva_options INTERFACE -fsanitize=address,undefined)
endif()
