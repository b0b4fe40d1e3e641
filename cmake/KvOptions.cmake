# Compiler options shared by every target of the project. The library's installed targets link
# it too (cmake/KvInstall.cmake): what is the build's own stays in the build interface, and a
# program built on a sanitized installation links the sanitizers' run time.
add_library(kv_options INTERFACE)
target_compile_options(kv_options INTERFACE
    $<BUILD_INTERFACE:-Wall -Wextra -Wpedantic -Wno-unused-parameter>)
# GCC 12's libstdc++ gives false -Wrestrict warnings for ordinary string assignments and
# concatenations in optimised builds (GCC bug 105329); later compilers do not.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(kv_options INTERFACE $<BUILD_INTERFACE:-Wno-restrict>)
endif()
# The run-time error report names the function and line of the failing code from the program's
# debug information: optimised builds keep at least the line tables and function names.
target_compile_options(kv_options INTERFACE $<BUILD_INTERFACE:$<$<CONFIG:Release,MinSizeRel>:-g1>>)
target_include_directories(kv_options INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
target_compile_definitions(kv_options INTERFACE $<BUILD_INTERFACE:KV32_VERSION="${PROJECT_VERSION}">)
if(KV32_SANITIZE)
    target_compile_options(kv_options INTERFACE
        $<BUILD_INTERFACE:-fsanitize=address,undefined -fno-omit-frame-pointer
                          -fno-sanitize-recover=undefined>)
    target_link_options(kv_options INTERFACE -fsanitize=address,undefined)
endif()

if(KV32_FUZZ)
    target_compile_options(kv_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                -fno-omit-frame-pointer)
    target_link_options(kv_options INTERFACE -fsanitize=address,undefined)
endif()

# kv_library(<name> <deps...>): one static library from every source file of the calling folder,
# installed as libkv32_<folder>.a.
function(kv_library name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC kv_options ${ARGN})
    string(REGEX REPLACE "^kv_" "kv32_" output ${name})
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${output})
endfunction()
