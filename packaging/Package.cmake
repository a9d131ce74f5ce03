# Debian packages built by CPack (scripts/package.sh): ringdesk, ringdesk-tools with the
# simulated modem, and ringdesk-desktop-contacts with the desktop address books part (built where
# Evolution Data Server's libraries are), so that ringdesk alone never needs them. CPack packs what the install rules already place, so the package and
# `cmake --install` cannot drift apart.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ringdesk)
set(CPACK_PACKAGE_VENDOR "Ringwatch developers")
set(CPACK_PACKAGE_CONTACT "Ringwatch developers <ringwatch@users.noreply.github.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Packed through DESTDIR, so that install rules see the prefix the installed files will have
# (scripts/package.sh configures /usr).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ringdesk tools)
if(TARGET desktopcontacts)
    list(APPEND CPACK_COMPONENTS_ALL desktopcontacts)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Each package's synopsis is the first line of its description below; the project's one-line
# description would otherwise be put before both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_RINGDESK_PACKAGE_NAME ringdesk)
# Qt loads the SVG icon engine at run time, so dpkg-shlibdeps cannot see it; without it the
# windows' icons are blank.
set(CPACK_DEBIAN_RINGDESK_PACKAGE_DEPENDS libqt6svg6)
# The spoken announcement for blocked callers; without it they hear the tone alone.
set(CPACK_DEBIAN_RINGDESK_PACKAGE_RECOMMENDS espeak-ng)
set(CPACK_COMPONENT_RINGDESK_DESCRIPTION
    "caller-ID monitor for a voice/data modem
Ringwatch finds a modem that reports caller ID, switches its caller-ID
reporting on and, when the phone rings, shows who is calling, logs the call,
pops up from the notification area and looks the caller up in a vCard
address book, creating a contact or a journal entry.

It can screen calls (block lists, imported lists, quiet hours, greylisting),
answer blocked callers with the not-in-service tone and an announcement
or a fax tone on a voice modem, keep every call in an SQLite history,
share calls with the household over MQTT and a web page, serve NCID
clients and take calls from a FRITZ!Box.
ringdesk-config edits the modem settings; a systemd user unit runs the
monitor without a window.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ringdesk-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "simulated caller-ID modem for trying Ringwatch
ringdesk-modemsim is a Hayes caller-ID modem on a pseudo-terminal: it
answers AT commands and places calls when told to, or every few seconds,
so that Ringwatch can be tried and tested without a modem.")

set(CPACK_DEBIAN_DESKTOPCONTACTS_PACKAGE_NAME ringdesk-desktop-contacts)
set(CPACK_DEBIAN_DESKTOPCONTACTS_PACKAGE_DEPENDS "ringdesk (= ${PROJECT_VERSION})")
# The service the libraries talk to; GNOME installs it, another desktop may add it.
set(CPACK_DEBIAN_DESKTOPCONTACTS_PACKAGE_RECOMMENDS evolution-data-server)
set(CPACK_COMPONENT_DESKTOPCONTACTS_DESCRIPTION
    "Ringwatch's use of the desktop's own address books
With this package, ringdesk looks callers up in the address books of
Evolution Data Server, which GNOME Contacts and Evolution show and which
GNOME Online Accounts syncs with Google, Nextcloud or Exchange, and makes
new contacts and journal entries (as memos) there; [Contacts] Source in
the settings chooses it. Without it, ringdesk keeps to its vCard folder.")

# Each package's documentation folder holds the copyright and the changelog, the changelog
# compressed without a time stamp.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(packaging-changelog ALL DEPENDS ${changelog})
foreach(component ${CPACK_COMPONENTS_ALL})
    set(package ringdesk)
    if(component STREQUAL tools)
        set(package ringdesk-tools)
    elseif(component STREQUAL desktopcontacts)
        set(package ringdesk-desktop-contacts)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

include(CPack)
