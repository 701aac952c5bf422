# The Windows installer (NSIS) and zip file: the two programs, the Qt and MinGW runtime DLLs they
# load, the platform and style plugins, and the licences of all of it. A cross build has no
# deployment tool of Qt's, so what the programs load is listed here; scripts/windows installs the
# installer into a Wine prefix and starts the installed program, which fails if one is missing.

set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_FILE_NAME zq4-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ZQ4)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ZQ4)
set(CPACK_STRIP_FILES ON)

# Qt's libraries and the plugins that the window needs: the windows platform and its style.
foreach(library Qt6::Core Qt6::Gui Qt6::Network Qt6::Widgets Qt6::SerialPort)
    install(FILES $<TARGET_FILE:${library}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# The C++ runtime of the compiler the programs were built with.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(
        COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(NOT IS_ABSOLUTE ${path} OR NOT EXISTS ${path})
        message(FATAL_ERROR "The compiler's runtime ${dll} was not found (${path})")
    endif()
    install(FILES ${path} DESTINATION .)
endforeach()

# The copied libraries carry symbols that no program needs (CPack strips only what the project
# built): stripped as they are installed, they take a third of the room.
install(CODE "
    file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(dll IN LISTS dlls)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\"
                        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")

# The licences: the panel's own, Qt's (LGPL-3; scripts/windows keeps the texts and the one change
# made to Qt's source beside the Qt it builds) and the MinGW runtime's.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES notices-windows.txt DESTINATION licenses RENAME README.txt)
set(qt_licenses ${QT6_INSTALL_PREFIX}/licenses)
if(EXISTS ${qt_licenses})
    install(DIRECTORY ${qt_licenses}/ DESTINATION licenses/Qt)
else()
    message(WARNING "Qt's licence texts are not in ${qt_licenses}: the installer would lack them "
                    "(scripts/windows puts them there)")
endif()
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses/MinGW
        RENAME gcc-runtime.txt)
install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION licenses/MinGW
        RENAME mingw-w64-runtime.txt)

# A 64-bit installer (makensis makes a 32-bit one by default) into Program Files, with a
# Start-menu entry for the window and an uninstaller that Windows lists under installed apps.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "ZQ4 Display Control Panel")
set(CPACK_NSIS_DISPLAY_NAME "ZQ4 Display Control Panel")
set(CPACK_PACKAGE_EXECUTABLES zq4 "ZQ4 Display Control Panel")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME zq4.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/resources/zq4.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/resources/zq4.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_URL_INFO_ABOUT "https://github.com/zq4")
include(CPack)
