# kv_manual(<program target> <manual source>): the program's --help text and its manual page
# <target>.1, both made from one source (docs/manual-pages.md). The program includes
# "<target>_help.h" for the text kv::help::<target>; the page is installed in share/man/man1.
function(kv_manual target source)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_manual)
    set(header ${dir}/${target}_help.h)
    set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
    add_custom_command(OUTPUT ${header} ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} ${PROJECT_BINARY_DIR}/man
        COMMAND kv_manpage ${source} ${PROJECT_VERSION} ${header} ${page}
        DEPENDS ${source} kv_manpage
        COMMENT "Help text and manual page of ${target}")
    target_sources(${target} PRIVATE ${header})
    target_include_directories(${target} PRIVATE ${dir})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
