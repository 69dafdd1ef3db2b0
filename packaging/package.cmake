# The Debian package: cmake --build build --target package makes
# build/mivra_VERSION_ARCH.deb. Depends is computed from the binaries by
# dpkg-shlibdeps; the doc folder holds what Debian's policy asks for.

# The changelog's newest entry names the version the package is built as.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^mivra \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${newest}', not version ${PROJECT_VERSION}")
endif()

find_program(GZIP gzip REQUIRED)
set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND ${GZIP} -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${changelog_gz}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
add_custom_target(changelog ALL DEPENDS ${changelog_gz})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mivra)
set(CPACK_PACKAGE_VENDOR Mivra)
set(CPACK_PACKAGE_CONTACT "Mivra maintainers <maintainers@mivra.fr>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "window and audio extractor of Mivra's local web application")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "mivra-window shows Mivra's local web application, which analyses
video-editing projects and delivers AAF files, in a desktop window, with
native panels, volume grants, file drops and a menu; it opens .fcpxml
files and .fcpxmld bundles from the file manager.

mivra-extract decodes the first audio track of a media file into a
24-bit PCM WAV file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
