# SPDX-License-Identifier: Apache-2.0
# The manual page, `cmake --install` and the Debian
# package. Included at the end of tests/CMakeLists.txt.

# The checks of tests/packaging_check.sh, one test each.
set(packaging_environment
  PPDREGION_BUILD=${PROJECT_BINARY_DIR}
  PPDREGION_VERSION=${PROJECT_VERSION}
  PPDREGION_SOURCE=${PROJECT_SOURCE_DIR}
  PPDREGION_MAN=${PROJECT_SOURCE_DIR}/man/ppdregion.1
  PPDREGION_SERVERBIN=${PPDREGION_CUPS_SERVERBIN}
  PPDREGION_SERVERROOT=${PPDREGION_CUPS_SERVERROOT}
  CMAKE=${CMAKE_COMMAND}
  CPACK=${CMAKE_CPACK_COMMAND})
foreach(check man install deb lint)
  add_test(NAME packaging.${check}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging_check.sh ${check})
  set_tests_properties(packaging.${check} PROPERTIES
    ENVIRONMENT "${packaging_environment}"
    LABELS packaging
    TIMEOUT 300)
endforeach()
# Each builds the Debian package with CPack, and lintian is slow on a busy
# machine: room for that.
set_tests_properties(packaging.deb packaging.lint PROPERTIES TIMEOUT 600)
# All three install from the build folder, where `cmake --install` writes its
# install_manifest.txt: never at the same time.
set_tests_properties(packaging.install packaging.deb packaging.lint PROPERTIES
  RESOURCE_LOCK ppdregion_install)
