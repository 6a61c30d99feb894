# "cmake --install <build> --prefix <folder>" makes a self-contained program folder: the
# program, its help pages, the stand-in infobase server, an example Automation.ini, and a
# Corvane.ini holding the catalogue of connection types. An existing Corvane.ini is the
# operator's configuration and is never replaced.
if(TARGET corvane)
  install(TARGETS corvane RUNTIME DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/help/ DESTINATION help
          FILES_MATCHING PATTERN "*.html" PATTERN "*.css")
endif()
install(TARGETS infobase-standin RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/Automation.ini DESTINATION .)
install(CODE "
  if(NOT EXISTS \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/Corvane.ini\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}\" TYPE FILE
         FILES \"${PROJECT_SOURCE_DIR}/packaging/Corvane.ini\")
  endif()")
