# What the packages hold, and how CPack makes them (scripts/package writes them into
# dist/): in the Windows build a zip with the service and the stand-in, README.html,
# LICENSE, the third-party notices, examples/ and firmware/ (the racks' images); in a Linux
# build (native or cross) a Debian package with the programs in /usr/bin and their manual
# pages, the configuration in /etc/orvendale, the systemd unit, the README and examples in
# /usr/share/doc/orvendale-fs and the images in /usr/share/orvendale-fs/firmware. The
# version is the project's.

set(_packaging ${CMAKE_SOURCE_DIR}/packaging)
set(_staged ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_staged})

# Installing takes the programs as they are built: scripts/package builds the shipped
# targets alone, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_PACKAGE_NAME orvendale-fs)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Orvendale FS authors")
set(CPACK_STRIP_FILES ON)

# What the package ships, built alone by scripts/package: cmake --build ... --target shipped
add_custom_target(shipped)

find_program(ORVENDALE_PANDOC pandoc)

# The racks' four firmware images, so that a builder flashes the boards without building:
# this build's own when it makes them, else those in ORVENDALE_FIRMWARE_IMAGES (scripts/package
# gives the Windows and arm64 builds the release build's).
set(ORVENDALE_FIRMWARE_IMAGES "" CACHE PATH "A folder of the racks' .hex images for the packages")
set(_images ${ORVENDALE_FIRMWARE_IMAGES})
if(TARGET firmware)
  set(_images ${ORVENDALE_FIRMWARE_DIR})
  add_dependencies(shipped firmware)
endif()
set(_hex)
if(_images)
  foreach(_image joystick pedals efis fcu)
    list(APPEND _hex ${_images}/${_image}.hex)
  endforeach()
endif()

if(WIN32)
  # The stand-in too: the README has Windows users try the racks and the network path
  # with it before the simulator is involved.
  install(TARGETS orvendale-fs sim-standin RUNTIME DESTINATION .)
  add_dependencies(shipped orvendale-fs sim-standin)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${_packaging}/THIRD-PARTY-NOTICES.txt DESTINATION .)
  install(FILES ${_packaging}/windows/rack_config.json ${_packaging}/examples/syntax_config.txt
                ${_packaging}/examples/SimConnect.cfg ${_packaging}/windows/exe.xml
          DESTINATION examples)
  # README.md as a page of its own. Only making the zip needs pandoc; a plain install
  # that has not built the page leaves it out.
  set(_html ${_staged}/README.html)
  add_custom_command(OUTPUT ${_html}
    COMMAND ${ORVENDALE_PANDOC} --from gfm --to html5 --standalone
            --metadata "pagetitle=Orvendale FS" --output ${_html} ${CMAKE_SOURCE_DIR}/README.md
    DEPENDS ${CMAKE_SOURCE_DIR}/README.md VERBATIM)
  add_custom_target(readme_html DEPENDS ${_html})
  add_dependencies(shipped readme_html)
  install(FILES ${_html} DESTINATION . OPTIONAL)
  install(FILES ${_hex} DESTINATION firmware)
  # Unzipped, the files lie in the folder the user chose, with no folder of their own.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGE_FILE_NAME orvendale-fs-${PROJECT_VERSION}-win64)
  include(CPack)
  return()
endif()

set(ORVENDALE_MAINTAINER "Orvendale FS authors <orvendale-fs@orvendale.invalid>")
# The changelog gains an entry per version; its newest must be this version.
file(STRINGS ${_packaging}/debian/changelog _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^orvendale-fs \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the newest entry is not version ${PROJECT_VERSION}")
endif()
# The manual pages carry the month of that entry, so the package is the same whenever made.
file(STRINGS ${_packaging}/debian/changelog _trailer REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE ".*, [0-9]+ ([A-Z][a-z]+ [0-9]+) .*" "\\1" _date "${_trailer}")
execute_process(COMMAND gzip -9 --no-name --stdout ${_packaging}/debian/changelog
                OUTPUT_FILE ${_staged}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)

set(_programs orvendale-fs sim-standin rack-emulator demo-summary)
install(TARGETS ${_programs} RUNTIME DESTINATION bin)
add_dependencies(shipped ${_programs})
install(FILES ${_packaging}/linux/rack_config.json ${_packaging}/examples/syntax_config.txt
              ${_packaging}/examples/SimConnect.cfg DESTINATION /etc/orvendale)
install(FILES ${_packaging}/linux/orvendale-fs.default DESTINATION /etc/default
        RENAME orvendale-fs)
install(FILES ${_packaging}/linux/orvendale-fs.service DESTINATION /lib/systemd/system)
install(FILES ${_packaging}/debian/copyright ${_staged}/changelog.gz ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION share/doc/orvendale-fs)
install(FILES ${_packaging}/linux/rack_config.json ${_packaging}/examples/syntax_config.txt
              ${_packaging}/examples/SimConnect.cfg
        DESTINATION share/doc/orvendale-fs/examples)

# The programs' manual pages, written in Markdown and made with pandoc at package time.
set(_man_pages)
foreach(_program ${_programs})
  set(_page ${_staged}/man/${_program}.1)
  add_custom_command(OUTPUT ${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_staged}/man
    COMMAND ${ORVENDALE_PANDOC} --standalone --from markdown --to man
            --metadata "footer=orvendale-fs ${PROJECT_VERSION}" --metadata "date=${_date}"
            --output ${_page} ${_packaging}/man/${_program}.1.md
    COMMAND gzip -9 --no-name --force ${_page}
    DEPENDS ${_packaging}/man/${_program}.1.md VERBATIM)
  list(APPEND _man_pages ${_page}.gz)
endforeach()
add_custom_target(man_pages DEPENDS ${_man_pages})
add_dependencies(shipped man_pages)
install(FILES ${_man_pages} DESTINATION share/man/man1 OPTIONAL)
install(FILES ${_hex} DESTINATION share/orvendale-fs/firmware)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVENDALE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What dpkg-shlibdeps finds for the amd64 programs. It cannot see the cross build's
# libraries, but the arm64 programs come from the same compiler and C library. The
# packages' test holds both packages' programs to it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
else()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cockpit rack service for flight simulators")
set(CPACK_PACKAGE_DESCRIPTION [=[
orvendale-fs joins a home flight-simulator cockpit's hardware racks (joystick,
pedals, EFIS and FCU boards on serial ports) to Microsoft Flight Simulator,
reached over TCP on the simulator's PC. It runs as the systemd service
orvendale-fs.service, in /etc/orvendale, whose files name the racks' ports and
the simulator's address.

The package also holds sim-standin, rack-emulator and demo-summary, which stand
in for the simulator and the racks to try boards and set-ups without them.]=])
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_packaging}/debian/conffiles ${_packaging}/debian/postinst
    ${_packaging}/debian/prerm ${_packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
