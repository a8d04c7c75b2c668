# An NSIS installer (makensis from Debian's nsis package drives it from Linux) and a portable
# .zip. Included by packaging.cmake.
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Glimmerix: screenshot to link")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Glimmerix)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Glimmerix)
set(CPACK_NSIS_PACKAGE_NAME Glimmerix)
set(CPACK_NSIS_DISPLAY_NAME Glimmerix)
set(CPACK_NSIS_INSTALLED_ICON_NAME glimmerix.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit installer for a 64-bit program: it installs under the 64-bit Program Files, and runs
# where only 64-bit Windows programs do (Wine without its 32-bit half).
set(CPACK_NSIS_EXECUTABLE ${PROJECT_SOURCE_DIR}/packaging/makensis-amd64.sh)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The portable archive: unpack anywhere and start glimmerix.exe there, beside logo.png.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_options.cmake)

install(TARGETS glimmerix RUNTIME DESTINATION . COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/logo.png DESTINATION . COMPONENT program)

# "Start with Windows" is a choice on the components page, off unless ticked. Its section holds
# a note rather than nothing, so that CPack has something to make a section of.
list(APPEND CPACK_COMPONENTS_ALL autostart)
set(CPACK_COMPONENT_AUTOSTART_DISPLAY_NAME "Start with Windows")
set(CPACK_COMPONENT_AUTOSTART_DESCRIPTION "Start Glimmerix when you log on, so it is ready for Print Screen")
set(CPACK_COMPONENT_AUTOSTART_DISABLED ON)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/autostart.txt DESTINATION . COMPONENT autostart)

# Glimmerix works in its current folder: it reads logo.png there and writes its capture files
# and dump.txt there, which Program Files does not allow. So its shortcuts start it in
# %LOCALAPPDATA%\Glimmerix, made (with a copy of logo.png) for the user who installs. They are
# that user's shortcuts too, so the uninstaller switches to the same user to remove them.
# $R9 remembers the installer's own context (all users or the current one) to return to.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  StrCpy $R9 $SMPROGRAMS
  SetShellVarContext current
  CreateDirectory "$LOCALAPPDATA\Glimmerix"
  CopyFiles /SILENT "$INSTDIR\logo.png" "$LOCALAPPDATA\Glimmerix"
  SetOutPath "$LOCALAPPDATA\Glimmerix"
  CreateDirectory "$SMPROGRAMS\Glimmerix"
  CreateShortCut "$SMPROGRAMS\Glimmerix\Glimmerix.lnk" "$INSTDIR\glimmerix.exe"
  SectionGetFlags ${autostart} $0
  IntOp $0 $0 & ${SF_SELECTED}
  StrCmp $0 ${SF_SELECTED} 0 +2
    CreateShortCut "$SMSTARTUP\Glimmerix.lnk" "$INSTDIR\glimmerix.exe"
  SetOutPath "$INSTDIR"
  StrCmp $R9 $SMPROGRAMS +2
    SetShellVarContext all]])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [[
  StrCpy $R9 $SMPROGRAMS
  SetShellVarContext current
  Delete "$SMPROGRAMS\Glimmerix\Glimmerix.lnk"
  RMDir "$SMPROGRAMS\Glimmerix"
  Delete "$SMSTARTUP\Glimmerix.lnk"
  Delete "$LOCALAPPDATA\Glimmerix\logo.png"
  Delete "$LOCALAPPDATA\Glimmerix\dump.txt"
  Delete "$LOCALAPPDATA\Glimmerix\screenshot.png"
  Delete "$LOCALAPPDATA\Glimmerix\screenshot.jpg"
  RMDir "$LOCALAPPDATA\Glimmerix"
  StrCmp $R9 $SMPROGRAMS +2
    SetShellVarContext all]])
