# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged installation before the Debian package is
# made: adds what a Debian package carries besides the installation (the copyright file, a
# changelog, the lintian overrides) and compresses the manual pages, as Debian policy asks.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.1")
list(FILTER pages INCLUDE REGEX "/man/man1/[^/]*\\.1$")
foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(GLOB_RECURSE binaries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/kv32")
list(GET binaries 0 kv32_binary)
get_filename_component(usr "${kv32_binary}" DIRECTORY)
get_filename_component(usr "${usr}" DIRECTORY)
set(doc "${usr}/share/doc/kv32")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_KV32_SOURCE_DIR}/debian/copyright" "${doc}/copyright")

string(TIMESTAMP now "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
     "kv32 (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${CPACK_PACKAGE_VERSION}.\n\n"
     " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${now}\n")
execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)

# The programs keep their line tables: the run-time error handler names the function and line
# of a failure from them.
set(overrides "${usr}/share/lintian/overrides")
file(MAKE_DIRECTORY "${overrides}")
file(WRITE "${overrides}/kv32" "")
foreach(program kv32 kvdb kvdev kvfile kvserver kvusers)
    file(APPEND "${overrides}/kv32" "kv32: unstripped-binary-or-object [usr/bin/${program}]\n")
endforeach()
