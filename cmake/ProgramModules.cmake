# The program links only the installation; the wizard and the downloader are modules it loads
# when it needs them, from one folder fixed relative to the program. The build tree is laid out
# like the installed tree (bin/ and lib/.../tockit-installer/) so that one lookup rule serves both.

file(RELATIVE_PATH tockit_module_folder ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/tockit-installer)
cmake_path(ABSOLUTE_PATH tockit_module_folder BASE_DIRECTORY ${PROJECT_BINARY_DIR}/${CMAKE_INSTALL_BINDIR}
           NORMALIZE OUTPUT_VARIABLE tockit_module_build_folder)

# `tockit_add_module(<name> <source> <library>)`: the module `<name>.so` built from one source
# that holds its entry point. It exports that entry point and nothing else: its own copy of the
# layers it links stays private to it.
function(tockit_add_module name source library)
    add_library(tockit_${name}_module MODULE ${source})
    target_link_libraries(tockit_${name}_module PRIVATE ${library})
    set_target_properties(tockit_${name}_module PROPERTIES
        OUTPUT_NAME ${name}
        PREFIX ""
        LIBRARY_OUTPUT_DIRECTORY ${tockit_module_build_folder}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_link_options(tockit_${name}_module PRIVATE LINKER:--exclude-libs,ALL)
    install(TARGETS tockit_${name}_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tockit-installer)
endfunction()
