# The Velvix.app bundle around an executable: a menu-bar utility without a Dock icon
# (LSUIElement), identified as app.velvix.Velvix, for macOS from the deployment target on.
#
#   velvix_make_bundle(velvix VERSION 0.1.0)
function(velvix_make_bundle target)
  cmake_parse_arguments(BUNDLE "" "VERSION" "" ${ARGN})
  set_target_properties(${target} PROPERTIES
    MACOSX_BUNDLE TRUE
    OUTPUT_NAME Velvix
    MACOSX_BUNDLE_INFO_PLIST ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Info.plist.in
    MACOSX_BUNDLE_BUNDLE_NAME Velvix
    MACOSX_BUNDLE_GUI_IDENTIFIER app.velvix.Velvix
    MACOSX_BUNDLE_BUNDLE_VERSION ${BUNDLE_VERSION}
    MACOSX_BUNDLE_SHORT_VERSION_STRING ${BUNDLE_VERSION}
    MACOSX_BUNDLE_COPYRIGHT "Velvix")
endfunction()
