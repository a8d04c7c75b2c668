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

# The "Upload server" page asks where pictures go, prefilled with the build's own address and
# with what /URL=... and /TOKEN=... on the command line say; a silent install takes those
# switches alone. The answers become the machine's settings, %ProgramData%\Glimmerix\glimmerix.ini,
# which a user's own settings or the environment still override. The page comes last before
# the files are installed, after the components. CPack has no place for an installer's own
# functions; the components page's line is the one at the script's top level that it leaves to
# the project, so the page and its functions follow it there.
set(upload_server_page [[
  !insertmacro MUI_PAGE_COMPONENTS
  Page custom UploadServerPage UploadServerLeave
  !include nsDialogs.nsh
  !include FileFunc.nsh
  !include WordFunc.nsh
  Var UploadUrl
  Var UploadToken
  Var UploadSwitchesRead
  Var UploadUrlField
  Var UploadTokenField

  ; The value of a switch such as /URL=http://host/api.php: what follows it up to the next
  ; " /" or the end. FileFunc's GetOptions would stop at the URL's first "/".
  !macro SwitchValue name default result
    ${WordFind} " $R0" " ${name}" "E+1}" ${result}
    IfErrors 0 +2
      StrCpy ${result} "${default}"
    ${WordFind} ${result} " /" "+1{" ${result}
  !macroend

  Function ReadUploadSwitches
    StrCmp $UploadSwitchesRead 1 done
    StrCpy $UploadSwitchesRead 1
    ${GetParameters} $R0
    !insertmacro SwitchValue "/URL=" "@GLIMMERIX_DEFAULT_UPLOAD_URL@" $UploadUrl
    !insertmacro SwitchValue "/TOKEN=" "" $UploadToken
  done:
  FunctionEnd

  Function UploadServerPage
    Call ReadUploadSwitches
    !insertmacro MUI_HEADER_TEXT "Upload server" "Where Glimmerix posts your pictures"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 30u "Glimmerix posts each picture to this address and puts the link that comes back on the clipboard: http://HOST[:PORT][/PATH] or https://HOST[:PORT][/PATH]."
    Pop $0
    ${NSD_CreateLabel} 0 34u 100% 10u "Upload URL"
    Pop $0
    ${NSD_CreateText} 0 46u 100% 12u $UploadUrl
    Pop $UploadUrlField
    ${NSD_CreateLabel} 0 66u 100% 10u "Upload token (only if your server asks for one)"
    Pop $0
    ${NSD_CreateText} 0 78u 100% 12u $UploadToken
    Pop $UploadTokenField
    nsDialogs::Show
  FunctionEnd

  Function UploadServerLeave
    ${NSD_GetText} $UploadUrlField $UploadUrl
    ${NSD_GetText} $UploadTokenField $UploadToken
    StrCpy $0 $UploadUrl 7
    StrCmp $0 "http://" accepted
    StrCpy $0 $UploadUrl 8
    StrCmp $0 "https://" accepted
    MessageBox MB_OK|MB_ICONEXCLAMATION "The upload URL starts with http:// or https://."
    Abort
  accepted:
  FunctionEnd

  ; One CRLF line to the file open in $0 (CPack mangles NSIS's own escapes for CR and LF).
  !macro IniLine text
    FileWrite $0 "${text}"
    FileWriteByte $0 13
    FileWriteByte $0 10
  !macroend

  ; ProgramData is $APPDATA in the all-users context; the installer's own context is restored.
  Function WriteUploadSettings
    Call ReadUploadSwitches
    StrCpy $R7 $APPDATA
    SetShellVarContext all
    CreateDirectory "$APPDATA\Glimmerix"
    FileOpen $0 "$APPDATA\Glimmerix\glimmerix.ini" w
    !insertmacro IniLine "; Glimmerix settings for every user of this computer, written by its installer."
    !insertmacro IniLine "; A user's %APPDATA%\Glimmerix\glimmerix.ini or the environment variables"
    !insertmacro IniLine "; GLIMMERIX_UPLOAD_URL and GLIMMERIX_UPLOAD_TOKEN win over what is here."
    !insertmacro IniLine "[glimmerix]"
    !insertmacro IniLine "upload_url = $UploadUrl"
    StrCmp $UploadToken "" written
      !insertmacro IniLine "upload_token = $UploadToken"
  written:
    FileClose $0
    StrCmp $R7 $APPDATA +2
      SetShellVarContext current
  FunctionEnd

  Function un.RemoveUploadSettings
    StrCpy $R7 $APPDATA
    SetShellVarContext all
    Delete "$APPDATA\Glimmerix\glimmerix.ini"
    RMDir "$APPDATA\Glimmerix"
    StrCmp $R7 $APPDATA +2
      SetShellVarContext current
  FunctionEnd
  ]])
string(REPLACE "@GLIMMERIX_DEFAULT_UPLOAD_URL@" "http://${GLIMMERIX_UPLOAD_HOST}/api.php"
       CPACK_NSIS_PAGE_COMPONENTS "${upload_server_page}")

# Glimmerix works in its current folder: it reads logo.png there and writes its capture files
# and dump.txt there, which Program Files does not allow. So its shortcuts start it in
# %LOCALAPPDATA%\Glimmerix, made (with a copy of logo.png) for the user who installs. They are
# that user's shortcuts too, so the uninstaller switches to the same user to remove them.
# $R9 remembers the installer's own context (all users or the current one) to return to.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  Call WriteUploadSettings
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
  Call un.RemoveUploadSettings
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
