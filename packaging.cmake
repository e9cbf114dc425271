# Installation and the Debian package (`make install`, `make package`).
#
#   <libdir>/libquomodhcp.so.<major>          the library
#   <libdir>/orvath/                          the platform libraries it needs
#   lib/cgi-bin/orvath                        the CGI program
#   <libexecdir>/orvath/orvath-lease-hook     dnsmasq's lease script
#   share/orvath/web/                         the administration page
#   share/doc/orvath/README.md
#
# Every binary finds its libraries relative to itself ($ORIGIN), so an
# installed tree also runs where it was unpacked (dpkg -x, DESTDIR).

function(orvath_origin_rpath target from)
  set(rpath "")
  foreach(dir ${ARGN})
    file(RELATIVE_PATH rel /${from} /${dir})
    if(rel STREQUAL "")
      list(APPEND rpath "$ORIGIN")
    else()
      list(APPEND rpath "$ORIGIN/${rel}")
    endif()
  endforeach()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${rpath}")
endfunction()

orvath_origin_rpath(orvcommon ${ORVATH_PRIVATE_LIBDIR} ${ORVATH_PRIVATE_LIBDIR})
orvath_origin_rpath(vorl ${ORVATH_PRIVATE_LIBDIR} ${ORVATH_PRIVATE_LIBDIR})
orvath_origin_rpath(webvard ${ORVATH_PRIVATE_LIBDIR} ${ORVATH_PRIVATE_LIBDIR})
orvath_origin_rpath(quomodhcp ${CMAKE_INSTALL_LIBDIR} ${ORVATH_PRIVATE_LIBDIR})
orvath_origin_rpath(orvath ${ORVATH_CGIDIR} ${CMAKE_INSTALL_LIBDIR} ${ORVATH_PRIVATE_LIBDIR})

install(TARGETS quomodhcp LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
install(TARGETS orvcommon vorl webvard LIBRARY DESTINATION ${ORVATH_PRIVATE_LIBDIR})
install(TARGETS orvath RUNTIME DESTINATION ${ORVATH_CGIDIR})
install(TARGETS orvath-lease-hook RUNTIME DESTINATION ${ORVATH_HOOKDIR})
install(DIRECTORY web/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvath/web
        PATTERN "*.test.*" EXCLUDE PATTERN "package.json" EXCLUDE)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The targets an installation needs, for building nothing else before cpack.
add_custom_target(installable DEPENDS quomodhcp orvcommon vorl webvard orvath orvath-lease-hook)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvath)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DHCP service management of the storage appliance")
set(CPACK_PACKAGE_CONTACT "orvath developers <orvath@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
if(ORVATH_M32)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
endif()
# Dependencies from the binaries (dpkg-shlibdeps); the private libraries are
# the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
# The registry of MAC address blocks names the clients' makers; without it
# every "vendor" is empty.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dnsmasq-base, ieee-data")
include(CPack)
