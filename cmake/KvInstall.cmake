# The library as other programs take it: every install rule of the library in one place.
#
# Each room (folder) a program may use is a static archive, lib/libkv32_<room>.a, and the CMake
# target KV32::<room>, which brings the rooms and the Qt modules it uses. The public headers go to
# include/kv32/<room>/; headers that a public header includes for the compiler's sake go there too
# (they are marked so in docs/library.md). Static archives because the library's builds with the
# sanitizers instrument every object, and because a program and the library must agree on the
# library's inner structures, which are not a stable binary interface (docs/library.md).
include(CMakePackageConfigHelpers)

set(KV32_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/kv32)
set(KV32_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/KV32)

# The rooms in the order of their dependencies, each with its public headers.
set(KV32_ROOMS cli platform gui util fs xbase db tables errors printing server)
set(kv32_headers_cli command_line.h)
set(kv32_headers_platform clock.h codepages.h files.h keystate.h profile_file.h)
set(kv32_headers_gui browse.h controls.h dialog.h event_exceptions.h message_box.h messages.h
    picture.h pump.h run_mode.h text.h window_ref.h)
set(kv32_headers_util abandon.h calendar.h dates.h dialogs.h disk_checks.h error_record.h
    file_names.h identifiers.h msgbox.h paths.h scoped_slot.h settings.h startup.h
    status_popup.h text.h wall_clock.h)
set(kv32_headers_fs directory.h find.h profile.h)
set(kv32_headers_xbase expression.h record.h value.h)
# dbf_layout.h, memo_file.h, order_list.h and the index bag's headers (cdx_*.h, node_cache.h)
# come with dbf_table.h and index_orders.h, which include them.
set(kv32_headers_db db_errors.h dbf_table.h index_orders.h language.h work_areas.h
    dbf_layout.h memo_file.h order_list.h cdx_bag.h cdx_keys.h cdx_node.h node_cache.h)
set(kv32_headers_tables login.h memvars.h tables.h)
set(kv32_headers_errors errors.h)
set(kv32_headers_printing font.h page_output.h preview.h print_text.h printer.h printers.h
    progress_dialog.h)
set(kv32_headers_server server.h command_files.h)

set(kv32_targets kv_options)
foreach(room IN LISTS KV32_ROOMS)
    set_target_properties(kv_${room} PROPERTIES EXPORT_NAME ${room} OUTPUT_NAME kv32_${room})
    list(APPEND kv32_targets kv_${room})
    list(TRANSFORM kv32_headers_${room} PREPEND ${PROJECT_SOURCE_DIR}/${room}/
         OUTPUT_VARIABLE files)
    install(FILES ${files} DESTINATION ${KV32_INSTALL_INCLUDEDIR}/${room} COMPONENT dev)
endforeach()
set_target_properties(kv_options PROPERTIES EXPORT_NAME options)
get_property(kv32_gui_resources GLOBAL PROPERTY KV32_GUI_RESOURCES)
install(TARGETS ${kv32_targets} ${kv32_gui_resources} EXPORT KV32Targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        OBJECTS DESTINATION ${CMAKE_INSTALL_LIBDIR}/kv32 COMPONENT dev
        INCLUDES DESTINATION ${KV32_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT KV32Targets NAMESPACE KV32:: DESTINATION ${KV32_INSTALL_CMAKEDIR} COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KV32Config.cmake.in
    ${PROJECT_BINARY_DIR}/KV32Config.cmake INSTALL_DESTINATION ${KV32_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KV32ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KV32Config.cmake ${PROJECT_BINARY_DIR}/KV32ConfigVersion.cmake
        DESTINATION ${KV32_INSTALL_CMAKEDIR} COMPONENT dev)

# kv32.pc: every room at once, for builds without CMake. Its prefix is found from the file's own
# place, so the installation may be moved (cmake --install --prefix DIR).
set(kv32_pc_libs "")
foreach(room IN LISTS KV32_ROOMS)
    string(PREPEND kv32_pc_libs "-lkv32_${room} ")
endforeach()
set(kv32_pc_sanitize "")
if(KV32_SANITIZE)
    set(kv32_pc_sanitize " -fsanitize=address,undefined")
endif()
file(RELATIVE_PATH kv32_pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" kv32_pc_up "${kv32_pc_up}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kv32.pc.in ${PROJECT_BINARY_DIR}/kv32.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kv32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)
