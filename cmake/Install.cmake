# Install rules and the Debian packages, one per component:
#  - tool (quillmark): the tool, its manual and completion, and the README,
#    copyright and changelog;
#  - dev (libquillmark-dev): the identity and dictionary libraries, their
#    headers and a CMake package for find_package(Quillmark), with a
#    copyright and changelog of their own.

set(QUILLMARK_DEV_PACKAGE libquillmark-dev)

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

if(QUILLMARK_BUILD_TOOL)
  install(TARGETS quillmark_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT tool)
  install(FILES completion/quillmark.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME quillmark COMPONENT tool)
  install(FILES ${PROJECT_BINARY_DIR}/quillmark.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
  install(FILES README.md ${PROJECT_BINARY_DIR}/copyright
    ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillmark COMPONENT tool)
endif()

install(FILES dictionary/Dictionary.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillmark/dictionary COMPONENT dev)
install(FILES identity/DeviceIdGenerator.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillmark/identity COMPONENT dev)
install(TARGETS quillmark_dictionary quillmark_identity
  EXPORT QuillmarkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
set(QUILLMARK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillmark)
install(EXPORT QuillmarkTargets NAMESPACE Quillmark::
  DESTINATION ${QUILLMARK_CMAKE_DIR} COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/QuillmarkConfig.cmake
  ${PROJECT_BINARY_DIR}/QuillmarkConfigVersion.cmake
  DESTINATION ${QUILLMARK_CMAKE_DIR} COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${QUILLMARK_DEV_PACKAGE}
  COMPONENT dev)

# The Debian packages: make package, which configures its own build folder
# with the prefix /usr, so that the libraries go to the multiarch folder.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_CONTACT
  "Quillmark maintainers <maintainers@quillmark.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME quillmark)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
"turn a list of device extensions into an INI file of device records
Quillmark reads a plain list of device extensions, one per line, and writes
an INI file with one record for every distinct extension. Each record is
named by a device ID that anyone can recompute: a version-5 UUID (RFC 4122,
SHA-1) over a fixed namespace, the tenant ID, a salt and the extension.
.
A run replaces its output whole, or leaves it as it was.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${QUILLMARK_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# What a consumer's build needs besides build-essential: the headers include
# Boost's, and the identity library links Nettle, which the CMake package
# finds through pkg-config.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libboost-dev (>= 1.74), nettle-dev (>= 3.8), pkgconf")
# Up to 0.2.0 the quillmark package held these files.
set(CPACK_DEBIAN_DEV_PACKAGE_BREAKS "quillmark (<< 0.2.0)")
set(CPACK_DEBIAN_DEV_PACKAGE_REPLACES "quillmark (<< 0.2.0)")
set(CPACK_DEBIAN_DEV_DESCRIPTION
"compute Quillmark's device IDs and read its attribute texts
The identity library derives Quillmark's device IDs: version-5 UUIDs
(RFC 4122, SHA-1) over a fixed namespace, a tenant ID, a salt and a
device's attributes. The dictionary library writes and reads the attribute
texts of Quillmark's INI records and a NUL-separated block form.
.
This package holds the static libraries, their headers and a CMake package:
find_package(Quillmark) gives Quillmark::identity and Quillmark::dictionary.")
include(CPack)
