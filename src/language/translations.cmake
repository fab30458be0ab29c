# The English translation, compiled from translations/dervel_en.ts with Qt's lrelease and
# built into the core library as a resource. Included from the top-level file: a custom
# command's output is only known to targets of the folder that defines it.
find_program(LRELEASE_EXECUTABLE NAMES lrelease lrelease-qt6
             HINTS /usr/lib/qt6/bin ${QT6_INSTALL_PREFIX}/bin REQUIRED)
find_program(LUPDATE_EXECUTABLE NAMES lupdate lupdate-qt6
             HINTS /usr/lib/qt6/bin ${QT6_INSTALL_PREFIX}/bin REQUIRED)
set(DERVEL_TS ${CMAKE_CURRENT_SOURCE_DIR}/translations/dervel_en.ts)
set(dervel_qm ${CMAKE_CURRENT_BINARY_DIR}/translations/dervel_en.qm)
add_custom_command(OUTPUT ${dervel_qm}
  COMMAND ${LRELEASE_EXECUTABLE} -silent ${DERVEL_TS} -qm ${dervel_qm}
  DEPENDS ${DERVEL_TS}
  COMMENT "Compiling the English translation")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/src/language/translations.qrc.in
               ${CMAKE_CURRENT_BINARY_DIR}/translations/translations.qrc @ONLY)
target_sources(dervel_core PRIVATE ${dervel_qm}
               ${CMAKE_CURRENT_BINARY_DIR}/translations/translations.qrc)
