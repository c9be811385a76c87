# The Debian package, made by scripts/package.sh from the release build (configured with the
# prefix /usr, which the programs compile in). One package holds the client, bxadmin, the data
# files, the delivered plug-ins and the server-side scripts.

# What lintian asks of every package and CPack leaves to us.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindlepax)
set(BX_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog ${BX_CHANGELOG} COPYONLY)
add_custom_command(OUTPUT ${BX_CHANGELOG}.gz COMMAND gzip -9nkf ${BX_CHANGELOG}
                   DEPENDS ${BX_CHANGELOG} COMMENT "Compressing the changelog" VERBATIM)
add_custom_target(bx_changelog ALL DEPENDS ${BX_CHANGELOG}.gz)
install(FILES ${BX_CHANGELOG}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindlepax)

set(BX_PACKAGE_MAINTAINER "Brindlepax maintainers <maintainers@brindlepax.example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlepax)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brindlepax")
set(CPACK_PACKAGE_CONTACT ${BX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "team task tracking client")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${BX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description; CPack puts the summary above it.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Brindlepax keeps a team's tasks, their routes through lifecycles and\n"
       "everything attached to them in one shared database, an embedded file\n"
       "or a PostgreSQL server. It brings internal mail, e-mail, contacts,\n"
       "time sheets and custom forms, and the bxadmin command to create,\n"
       "upgrade and describe databases.")
# The libraries the programs link are found by dpkg-shlibdeps; Qt's X11 platform plug-in is
# loaded at run time, and Qt's own packages only recommend it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)
