# The Debian package (cpack -G DEB in the build folder, or the target
# `debian-package`): quorbin-sync_<version>_amd64.deb with the agent in
# /opt/quorbin (owned by the system user quorbin, made by postinst), the
# headless service, its environment file and the desktop autostart entry.
set(QUORBIN_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/debian)
install(TARGETS quorbin_sync RUNTIME DESTINATION opt/quorbin COMPONENT agent)
install(FILES ${QUORBIN_PACKAGING}/quorbin-sync.service DESTINATION lib/systemd/system
        COMPONENT agent)
install(FILES ${QUORBIN_PACKAGING}/quorbin-sync.default DESTINATION etc/default
        RENAME quorbin-sync COMPONENT agent)
install(FILES ${QUORBIN_PACKAGING}/quorbin-sync.desktop DESTINATION etc/xdg/autostart
        COMPONENT agent)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorbin-sync)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "quorbin_sync maintainers <quorbin-sync@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Point-of-sale agent uploading cash-register closings and NFC-e invoices")
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_COMPONENTS_ALL agent)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
# Loaded at run time when the terminal's database needs them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libodbc2, libfbclient2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${QUORBIN_PACKAGING}/conffiles ${QUORBIN_PACKAGING}/postinst ${QUORBIN_PACKAGING}/prerm
    ${QUORBIN_PACKAGING}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
