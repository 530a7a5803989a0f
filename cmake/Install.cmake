# Install rules, for make install and for the Debian packages (debian/):
#  - the tool, its manual and completion, and the README, copyright and
#    changelog in share/doc/quillmark;
#  - the identity and dictionary libraries, their headers and a CMake
#    package for find_package(Quillmark), with a copyright and changelog in
#    share/doc/libquillmark-dev.
# The Debian build installs the documents itself (QUILLMARK_INSTALL_DOCS).

# The manual, with the version and date of debian/changelog, and the
# changelog, compressed as Debian has them: gzip -9n, with no name or time in
# the header, so that the bytes are reproducible.
configure_file(doc/quillmark.1 ${PROJECT_BINARY_DIR}/quillmark.1 @ONLY)
find_program(QUILLMARK_GZIP gzip REQUIRED)
set(compressed "")
foreach(document IN ITEMS ${PROJECT_BINARY_DIR}/quillmark.1
                          ${PROJECT_SOURCE_DIR}/debian/changelog)
  get_filename_component(name ${document} NAME)
  set(output ${PROJECT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${QUILLMARK_GZIP} -9n -c ${document} > ${output}
    DEPENDS ${document} VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(quillmark_compressed_documents ALL DEPENDS ${compressed})

if(QUILLMARK_BUILD_TOOL)
  install(TARGETS quillmark_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES completion/quillmark.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME quillmark)
  install(FILES ${PROJECT_BINARY_DIR}/quillmark.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES dictionary/Dictionary.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillmark/dictionary)
install(FILES identity/DeviceIdGenerator.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillmark/identity)
install(TARGETS quillmark_dictionary quillmark_identity
  EXPORT QuillmarkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(QUILLMARK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillmark)
install(EXPORT QuillmarkTargets NAMESPACE Quillmark::
  DESTINATION ${QUILLMARK_CMAKE_DIR})
install(FILES ${PROJECT_BINARY_DIR}/QuillmarkConfig.cmake
  ${PROJECT_BINARY_DIR}/QuillmarkConfigVersion.cmake
  DESTINATION ${QUILLMARK_CMAKE_DIR})

if(QUILLMARK_INSTALL_DOCS)
  set(documents debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz)
  if(QUILLMARK_BUILD_TOOL)
    install(FILES README.md ${documents}
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillmark)
  endif()
  install(FILES ${documents}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libquillmark-dev)
endif()
