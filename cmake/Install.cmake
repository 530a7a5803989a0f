# Install rules and the Debian package: the tool with its manual and
# completion, and the two libraries with their headers and a CMake package
# for find_package(Quillmark).

set(QUILLMARK_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillmark)

if(QUILLMARK_BUILD_TOOL)
  install(TARGETS quillmark_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES completion/quillmark.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME quillmark)

  # The manual and the changelog go compressed as Debian has them: gzip -9n,
  # with no name or time in the header, so that the bytes are reproducible.
  find_program(QUILLMARK_GZIP gzip REQUIRED)
  set(compressed "")
  foreach(document IN ITEMS doc/quillmark.1 doc/changelog)
    get_filename_component(name ${document} NAME)
    set(output ${PROJECT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${QUILLMARK_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/${document}
              > ${output}
      DEPENDS ${PROJECT_SOURCE_DIR}/${document} VERBATIM)
    list(APPEND compressed ${output})
  endforeach()
  add_custom_target(quillmark_compressed_documents ALL DEPENDS ${compressed})
  install(FILES ${PROJECT_BINARY_DIR}/quillmark.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The copyright file in Debian's machine-readable format, carrying LICENSE:
  # each of its lines indented by one space, an empty one written as " .".
  file(STRINGS LICENSE license_lines)
  set(license_text "")
  foreach(line IN LISTS license_lines)
    if(line STREQUAL "")
      string(APPEND license_text " .\n")
    else()
      string(APPEND license_text " ${line}\n")
    endif()
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
  Upstream-Name: Quillmark
  Upstream-Contact: Quillmark maintainers <maintainers@quillmark.invalid>

  Files: *
  Copyright: 2026 Quillmark maintainers
  License: Expat
  ${license_text}")
  install(FILES README.md ${PROJECT_BINARY_DIR}/copyright
    ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${QUILLMARK_DOCDIR})
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
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/QuillmarkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuillmarkConfig.cmake
  INSTALL_DESTINATION ${QUILLMARK_CMAKE_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/QuillmarkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillmarkConfig.cmake
  ${PROJECT_BINARY_DIR}/QuillmarkConfigVersion.cmake
  DESTINATION ${QUILLMARK_CMAKE_DIR})

# The Debian package of the above: make package, which configures its own
# build folder with the prefix /usr, so that the libraries go to the
# multiarch folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_CONTACT
  "Quillmark maintainers <maintainers@quillmark.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "turn a list of device extensions into an INI file of device records")
set(CPACK_PACKAGE_DESCRIPTION
"Quillmark reads a plain list of device extensions, one per line, and writes
an INI file with one record for every distinct extension. Each record is
named by a device ID that anyone can recompute: a version-5 UUID (RFC 4122,
SHA-1) over a fixed namespace, the tenant ID, a salt and the extension.
.
The package also holds the identity and dictionary libraries, with their
headers and a CMake package, for programs that compute the same device IDs
or read the same attribute texts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The headers need Boost's and OpenSSL's to build against.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libboost-dev (>= 1.74), libssl-dev")
include(CPack)
