# Read by cpack before it builds a package. The program looks for its README and license in the
# documents' folder of the prefix it was configured for, so a package of a build configured for
# another prefix would install them where the about panel never looks.
if(NOT CPACK_LARKHAVEN_CONFIGURED_PREFIX STREQUAL CPACK_PACKAGING_INSTALL_PREFIX)
  message(FATAL_ERROR "This build is configured for ${CPACK_LARKHAVEN_CONFIGURED_PREFIX}, the package "
    "installs into ${CPACK_PACKAGING_INSTALL_PREFIX}: build the package with `scripts/dev package`.")
endif()
