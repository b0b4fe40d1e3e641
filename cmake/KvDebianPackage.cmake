# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged installation before the Debian package is
# made: adds what a Debian package carries besides the installation (the copyright file, a
# changelog, the lintian overrides) and compresses the manual pages, as Debian policy asks.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.1")
list(FILTER pages INCLUDE REGEX "/man/man1/[^/]*\\.1$")
foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# The copyright file and the changelog of one package, in its staged usr/share/doc/<package>.
function(kv_package_doc usr package)
    set(doc "${usr}/share/doc/${package}")
    file(MAKE_DIRECTORY "${doc}")
    file(COPY_FILE "${CPACK_KV32_SOURCE_DIR}/debian/copyright" "${doc}/copyright")
    string(TIMESTAMP now "%a, %d %b %Y %H:%M:%S +0000" UTC)
    file(WRITE "${doc}/changelog"
         "${package} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
         "  * Release ${CPACK_PACKAGE_VERSION}.\n\n"
         " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${now}\n")
    execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The program's package (kv32) is staged where bin/kv32 is, the library's development files
# (libkv32-dev) where include/kv32 is.
file(GLOB_RECURSE binaries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*kv32")
list(FILTER binaries INCLUDE REGEX "/bin/kv32$")
list(GET binaries 0 kv32_binary)
get_filename_component(usr "${kv32_binary}" DIRECTORY)
get_filename_component(usr "${usr}" DIRECTORY)
kv_package_doc("${usr}" kv32)
if(EXISTS "${usr}/share/doc/kv32/README.md")
    execute_process(COMMAND gzip -9nf "${usr}/share/doc/kv32/README.md" COMMAND_ERROR_IS_FATAL ANY)
endif()
file(GLOB_RECURSE headers "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*startup.h")
list(FILTER headers INCLUDE REGEX "/include/kv32/util/startup\\.h$")
if(headers)
    list(GET headers 0 header)
    string(REGEX REPLACE "/include/kv32/util/startup\\.h$" "" dev_usr "${header}")
    kv_package_doc("${dev_usr}" libkv32-dev)
endif()

# The programs keep their line tables: the run-time error handler names the function and line
# of a failure from them.
set(overrides "${usr}/share/lintian/overrides")
file(MAKE_DIRECTORY "${overrides}")
file(WRITE "${overrides}/kv32" "")
foreach(program kv32 kvdb kvdev kvfile kvserver kvusers)
    file(APPEND "${overrides}/kv32" "kv32: unstripped-binary-or-object [usr/bin/${program}]\n")
endforeach()
