# SPDX-License-Identifier: Apache-2.0
# Installing ppdregion and packaging it as a Debian package.
#
#   cmake --install build --prefix /usr/local    # bin/ppdregion, its manuals,
#                                                # copyright and changelog, and
#                                                # the CUPS driver program and
#                                                # its configuration where CUPS
#                                                # looks for them
#   cpack -G DEB --config build/CPackConfig.cmake  # ppdregion_<version>_<arch>.deb
#
# Included from the top-level CMakeLists.txt once the program target exists.
include(GNUInstallDirs)

install(TARGETS ppdregion RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# CUPS runs only the driver programs in its own folder, and reads its
# configuration from its own folder, whatever the prefix: both destinations
# are absolute (under DESTDIR when one is given).
set(PPDREGION_DRIVER_DIR ${PPDREGION_CUPS_SERVERBIN}/driver)
install(PROGRAMS $<TARGET_FILE:ppdregion-driver> DESTINATION ${PPDREGION_DRIVER_DIR}
        RENAME ppdregion)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ppdregion.conf
        DESTINATION ${PPDREGION_CUPS_SERVERROOT})
# A stripped install (`cmake --install --strip`, and the package) also drops
# the compiler's version notes, as Debian's packaging tools do: strip alone
# keeps the .comment section, which lintian flags.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(
        COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ppdregion\"
                \"\$ENV{DESTDIR}${PPDREGION_DRIVER_DIR}/ppdregion\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()

# The manual page is installed compressed, as Debian's policy wants it:
# gzip -9n leaves out the name and time stamp, so the file is the same in
# every build. gzip is part of every Debian system.
find_program(PPDREGION_GZIP gzip REQUIRED)

# ppdregion_gzip(TARGET SOURCE OUTPUT): builds OUTPUT, SOURCE compressed with
# gzip -9n, as part of every build.
function(ppdregion_gzip target source output)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${PPDREGION_GZIP} ${source} ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

set(PPDREGION_MAN_GZ ${PROJECT_BINARY_DIR}/man/ppdregion.1.gz)
ppdregion_gzip(ppdregion_man ${PROJECT_SOURCE_DIR}/man/ppdregion.1 ${PPDREGION_MAN_GZ})
install(FILES ${PPDREGION_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(PPDREGION_CONF_MAN_GZ ${PROJECT_BINARY_DIR}/man/ppdregion.conf.5.gz)
ppdregion_gzip(ppdregion_conf_man ${PROJECT_SOURCE_DIR}/man/ppdregion.conf.5
               ${PPDREGION_CONF_MAN_GZ})
install(FILES ${PPDREGION_CONF_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)

# The copyright and license of the program, in Debian's machine-readable
# format, and its changelog, one entry per released version in Debian's
# changelog format: share/doc/ppdregion/copyright and changelog.gz, 0644.
# A package whose version has no Debian revision (1.0.0, not 1.0.0-1) is a
# native one, whose changelog is changelog.gz, compressed like the manual.
set(PPDREGION_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
ppdregion_gzip(ppdregion_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog
               ${PPDREGION_CHANGELOG_GZ})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PPDREGION_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ppdregion)
set(CPACK_PACKAGE_VENDOR "ppdregion developers")
set(PPDREGION_MAINTAINER
    "Seed 9aa0c956 maintainers <maintainers@users.noreply.c-seed-9aa0c956.example>"
    CACHE STRING "The Maintainer field of the Debian package: name <address>")
set(CPACK_PACKAGE_CONTACT "${PPDREGION_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packaged programs are stripped; the build keeps its debugging information.
set(CPACK_STRIP_FILES ON)
# Directories made for the package are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

# ppdregion_1.0.0_amd64.deb: the name Debian's tools give a package.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends (libcups2, libc6, the C++ runtime) with the versions the binary
# needs, as dpkg-shlibdeps (from dpkg-dev) reads them from the linked
# libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The driver program serves CUPS' scheduler; the command works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS cups-daemon)
# The configuration is the administrator's: dpkg keeps their changes.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles
     "${PPDREGION_CUPS_SERVERROOT}/ppdregion.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis, in Debian's style, and the extended description under it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "adapt a printer's PPD file to the user's country")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"ppdregion reads a printer's PPD file and writes it to standard output,
adapted to the country of the user's locale (LC_ALL, LC_PAPER or LANG):
it removes the paper sizes that the printer does not offer in that country,
makes long-edge duplex the default for some printers and countries, and
writes the country into the *ISOCountryCode line. Everything else in the
file is written out byte for byte.

It is meant for driver installers and administrators, to pipe a PPD file
into a print queue's setup with lpadmin. Its CUPS driver program offers
the PPDs named in /etc/cups/ppdregion.conf adapted to a country, as
ppdregion:CC/NAME, to lpadmin -m and to every tool that sets up queues.")

include(CPack)
