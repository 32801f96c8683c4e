# Debian packages built by CPack from the install rules:
#
#   wexedit          the program (wexedit, wexview), its manual, German
#                    catalogue and bash completion
#   libdevname1      libdevname.so.1, its SONAME link and the unversioned
#                    libdevname.so, plus the pcinames lister
#   libdevname-dev   the header, the pkg-config file and libdevname(3)
#
# The unversioned libdevname.so belongs to the run-time package, not to -dev
# alone: the imaging programs load the library with dlopen("libdevname.so"),
# so a machine that only runs them needs that name.
#
#   cpack -G DEB --config <build>/CPackConfig.cmake   (see scripts/package_check.sh)

# Install components and the package each one goes to. The program's own
# install rules name no component, so CMake's default one joins the program.
set(CPACK_COMPONENTS_ALL Unspecified program library development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)

set(CPACK_PACKAGE_NAME wexedit)
set(CPACK_PACKAGE_VENDOR "wexedit maintainers")
set(CPACK_PACKAGE_CONTACT "wexedit maintainers <root@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Image-safe data editor and device naming library")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# Run-time dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME wexedit)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
"edit and view the image-safe data on a workstation's raw disks
 wexedit reads, shows, edits, clears and removes the image-safe data: one
 small record kept at byte 2560 of each raw IDE or SCSI disk, outside any
 file, so that it survives when a disk image is restored. Started as wexview
 it only shows the record, in a full-screen page, as single fields or as a
 shell script of environment variables.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libdevname1)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
"descriptive names for PCI and Plug and Play devices
 libdevname turns PCI vendor and device IDs, Plug and Play device numbers and
 PCI class codes into descriptive text, from tables compiled into it. The
 package also holds pcinames, which lists the PCI devices of the running
 machine by name.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libdevname-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libdevname1 (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"descriptive names for PCI and Plug and Play devices - development files
 The header devname.h, the pkg-config file and the libdevname(3) manual for
 programs that link against libdevname.")

include(CPack)

cpack_add_component_group(program)
cpack_add_component_group(library)
cpack_add_component_group(development)
cpack_add_component(Unspecified GROUP program)
cpack_add_component(program GROUP program)
cpack_add_component(library GROUP library)
cpack_add_component(development GROUP development DEPENDS library)
