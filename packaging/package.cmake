# What `cmake --install` puts beside the programs, and the Debian package
# that `cpack -G DEB` makes of it: compressed manual pages, the copyright
# file and a compressed changelog, as Debian's policy asks of every package.

set(KNOTTER_MAINTAINER "KNOTTER developers <knotter@example.org>" CACHE STRING
    "Maintainer of the Debian package, as Name <address>")

# gzip -9n: best compression and no name or time stamp, so that the same
# sources always give the same package.
set(knotter_doc_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${knotter_doc_dir}/changelog @ONLY)
set(knotter_gz_files)
foreach(source man/knotter.1 man/knotter-dump.1 ${knotter_doc_dir}/changelog)
  get_filename_component(name ${source} NAME)
  get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
  set(gz ${knotter_doc_dir}/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${knotter_doc_dir}/${name}.copy
    COMMAND gzip -9nf ${knotter_doc_dir}/${name}.copy
    COMMAND ${CMAKE_COMMAND} -E rename ${knotter_doc_dir}/${name}.copy.gz ${gz}
    DEPENDS ${source} VERBATIM)
  list(APPEND knotter_gz_files ${gz})
endforeach()
add_custom_target(knotter_docs ALL DEPENDS ${knotter_gz_files})

install(FILES ${knotter_doc_dir}/knotter.1.gz ${knotter_doc_dir}/knotter-dump.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${knotter_doc_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME knotter)
set(CPACK_PACKAGE_VENDOR "KNOTTER developers")
set(CPACK_PACKAGE_CONTACT "${KNOTTER_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KNOTTER_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reply linker for FidoNet-style mail in Squish message bases")
set(CPACK_PACKAGE_DESCRIPTION "knotter rewrites the reply-chain fields of the messages in Squish message
bases, linking replies by their MSGID and REPLY kludges or by subject, so
that mail readers can show threads. It runs from a mail-processing script
after the tosser and takes its areas from a Squish or HPT configuration.
knotter-dump shows a base as the linker sees it and checks it for damage.")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Directories in the package are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
