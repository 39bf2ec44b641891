# One install tree for the tarball and the Debian package (scripts/package.sh builds both):
#   bin/zerub-host
#   lib/zerub/libzerub_platform.so          the host's and the component's platform library
#   lib/audio-components/Zerub.component    found by the platform library beside itself
#   lib/lv2/Zerub.lv2                       where every LV2 host searches (/usr/lib/lv2)
#   share/doc/zerub/{README.md, copyright, changelog.gz}
# The rules belong to the "package" component and stay out of a plain `cmake --install`, which
# copies the bundles to the user's folders as before.
if(NOT (TARGET ZerubLV2 AND TARGET ZerubLV2UI AND TARGET ZerubComponent AND TARGET zerub-host))
  return()
endif()

set(pkg COMPONENT package EXCLUDE_FROM_ALL)
set(lv2_dest lib/lv2/Zerub.lv2)
set(component_dest lib/audio-components/Zerub.component)
set(doc_dest share/doc/zerub)

install(TARGETS ZerubLV2 ZerubLV2UI LIBRARY DESTINATION ${lv2_dest} ${pkg})
install(FILES ${ZERUB_LV2_BUNDLE_DIR}/manifest.ttl ${ZERUB_LV2_BUNDLE_DIR}/Zerub.ttl
              ${ZERUB_LV2_BUNDLE_DIR}/presets.ttl DESTINATION ${lv2_dest} ${pkg})
install(DIRECTORY ${ZERUB_LV2_BUNDLE_DIR}/resources DESTINATION ${lv2_dest} ${pkg})

# The component and the host find the platform library relative to themselves, so the tree works
# wherever it is unpacked.
set_target_properties(ZerubComponent PROPERTIES INSTALL_RPATH "$ORIGIN/../../../../zerub")
set_target_properties(zerub-host PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/zerub")
install(TARGETS ZerubComponent LIBRARY DESTINATION ${component_dest}/Contents/MacOS ${pkg})
install(FILES ${ZERUB_BUNDLE_DIR}/Contents/Info.plist DESTINATION ${component_dest}/Contents
        ${pkg})
install(DIRECTORY ${ZERUB_BUNDLE_DIR}/Contents/Resources DESTINATION ${component_dest}/Contents
        ${pkg})
install(TARGETS zerub_platform LIBRARY DESTINATION lib/zerub ${pkg})
install(TARGETS zerub-host RUNTIME DESTINATION bin ${pkg})

set(packaging ${PROJECT_SOURCE_DIR}/cmake/packaging)
execute_process(COMMAND gzip -9nc ${packaging}/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${packaging}/changelog)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${packaging}/copyright
              ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${doc_dest} ${pkg})

# The Debian package: only the "package" component, under /usr, with the dependencies
# dpkg-shlibdeps reads from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zerub)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillmoor <plugins@quillmoor.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};package;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quillmoor.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "overdrive effect: LV2 plug-in, Audio Unit component and host")
# CPack puts the summary first; these lines follow it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zerub models an analogue drive stage per channel: input coupling, a
third-order gain network, a diode clipper and a second-order output stage.
.
This package holds the LV2 bundle Zerub.lv2 (mono and stereo plug-ins with
an X11 editor) for LV2 hosts, the Audio Unit component and zerub-host, the
command that renders audio files through the component, validates it and
shows its editor.")
include(CPack)
