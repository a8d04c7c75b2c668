# Two Debian packages: glimmerix (the program) and glimmerix-server (the upload service with its
# systemd unit). Included by packaging.cmake.
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE glimmerix)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME glimmerix)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
    "screenshot to link: edit a capture, upload it, paste its link
Glimmerix waits without a window and watches the clipboard. When a new
picture appears there, it opens an editor over the desktop where the
picture can be marked, censored and cropped; UPLOAD posts it to an upload
service (glimmerix-server) and puts the picture's link on the clipboard.")

# The program works in its current folder (logo.png, capture files, dump.txt); the command on
# the PATH is a launcher that gives it a folder of the user's own.
install(TARGETS glimmerix RUNTIME DESTINATION libexec/glimmerix COMPONENT program)
# OpenSSL's module for https, beside the program where it looks first.
install(TARGETS glimmerix-tls LIBRARY DESTINATION libexec/glimmerix COMPONENT program)
install(PROGRAMS ${packaging}/glimmerix.sh DESTINATION bin RENAME glimmerix COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/logo.png DESTINATION share/glimmerix COMPONENT program)

# The machine's settings, every one commented out with its default. A conffile, so that dpkg
# keeps an administrator's edits across upgrades.
configure_file(${packaging}/glimmerix.conf.in ${CMAKE_BINARY_DIR}/packaging/glimmerix.conf @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/glimmerix.conf DESTINATION /etc/glimmerix
        COMPONENT program)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "/etc/glimmerix/glimmerix.conf\n")

# In the applications menu; the autostart entry is off until a user copies it into
# ~/.config/autostart (glimmerix(1) says how), as a program that watches the clipboard should
# not start for every user of the machine unasked.
install(FILES ${packaging}/glimmerix.desktop DESTINATION share/applications COMPONENT program)
install(FILES ${packaging}/glimmerix-autostart.desktop DESTINATION share/glimmerix
        COMPONENT program)
install(FILES ${packaging}/glimmerix-48.png DESTINATION share/icons/hicolor/48x48/apps
        RENAME glimmerix.png COMPONENT program)

# Debian wants a copyright file and a compressed changelog in every package's doc folder.
string(TIMESTAMP GLIMMERIX_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${packaging}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set(debian_doc_files ${packaging}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${debian_doc_files} DESTINATION share/doc/glimmerix COMPONENT program)

# Manual pages, compressed as Debian wants them.
function(glimmerix_man_page source section component)
  get_filename_component(name ${source} NAME)
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/${name}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${name}.gz DESTINATION share/man/man${section}
          COMPONENT ${component})
endfunction()
glimmerix_man_page(${packaging}/glimmerix.1 1 program)

if(TARGET glimmerix-server)
  list(APPEND CPACK_COMPONENTS_ALL server)
  set(CPACK_DEBIAN_SERVER_PACKAGE_NAME glimmerix-server)
  set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION httpd)
  set(CPACK_DEBIAN_SERVER_DESCRIPTION
      "upload service for Glimmerix screenshots
glimmerix-server stores the PNG and JPEG pictures that Glimmerix (or
ShareX) posts to /api.php and answers with their links. It comes with a
systemd unit that runs it on port 80 as a dynamic user, with its images in
/var/lib/glimmerix: systemctl enable --now glimmerix-server")
  set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${packaging}/server/prerm ${packaging}/server/postrm)
  # The binary itself is installed by server/CMakeLists.txt, in this component.
  install(FILES ${PROJECT_SOURCE_DIR}/server/glimmerix-server.service
          DESTINATION /lib/systemd/system COMPONENT server)
  install(FILES ${debian_doc_files} DESTINATION share/doc/glimmerix-server COMPONENT server)
  glimmerix_man_page(${packaging}/server/glimmerix-server.8 8 server)
endif()
