# The library's reference (Doxygen): cmake --build build --target docs writes it to
# build/docs/reference/html, one page per room, from the installed headers' comments
# (cmake/KvInstall.cmake lists them). It fails while a public function has no comment.
set(KV32_REFERENCE_OUTPUT ${PROJECT_BINARY_DIR}/docs/reference)
set(KV32_REFERENCE_HEADERS "")
foreach(room IN LISTS KV32_ROOMS)
    foreach(header IN LISTS kv32_headers_${room})
        string(APPEND KV32_REFERENCE_HEADERS " ${PROJECT_SOURCE_DIR}/${room}/${header}")
    endforeach()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/docs/reference/Doxyfile.in ${KV32_REFERENCE_OUTPUT}/Doxyfile
               @ONLY)
find_program(KV32_DOXYGEN doxygen)
if(KV32_DOXYGEN)
    add_custom_target(docs
        COMMAND sh ${PROJECT_SOURCE_DIR}/docs/reference/make_reference.sh ${KV32_DOXYGEN}
                ${KV32_REFERENCE_OUTPUT}
        COMMENT "The library's reference in ${KV32_REFERENCE_OUTPUT}/html" VERBATIM)
else()
    add_custom_target(docs
        COMMAND ${CMAKE_COMMAND} -E echo "docs: doxygen is missing (Debian package doxygen)"
        COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
endif()
