# The Windows build: cross-built with MinGW-w64 against the Qt that scripts/windows.sh builds,
# tested under Wine.
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601)

add_subdirectory(src/platform)
add_subdirectory(src/runtime)
add_subdirectory(src/serial)

# The window (orvalen.exe): the printer layer, the wizard and the program (src/app puts the DLLs
# it needs to run from its build folder beside it).
add_subdirectory(src/version)
add_subdirectory(src/wizard)
add_subdirectory(src/printer)
add_subdirectory(src/app)

# orvalenctl.exe and orvalenctlw.exe (the scheduled task's, without a console).
add_subdirectory(src/ctl)

include(CTest)
if(BUILD_TESTING)
  # GoogleTest from Debian's sources, built for Windows.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Every test program runs under Wine, with the Qt and MinGW run-time DLLs on its path.
  get_target_property(_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
  get_filename_component(_qt_bin "${_qtcore_dll}" DIRECTORY)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE _stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_gcc_bin "${_stdcxx}" DIRECTORY)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/tests/win32/wine-run.sh ${CMAKE_BINARY_DIR}
    ${_qt_bin} ${_gcc_bin} /usr/x86_64-w64-mingw32/lib --)
  add_subdirectory(tests/win32)
  add_subdirectory(tests/serial)
endif()

# The yardstick for the start-up figure of the Windows build: a bare Qt label window, with the
# windows platform plugin beside it as a deployed program has it.
add_executable(bare_label WIN32 bench/win32/bare_label.cpp)
target_link_libraries(bare_label PRIVATE Qt6::Widgets)
add_custom_command(TARGET bare_label POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:bare_label>/platforms
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
    $<TARGET_FILE_DIR:bare_label>/platforms/)

# The Wine lane: the real orvalen.exe against the simulated printer on COM3, which stays a Linux
# program (scripts/windows.sh passes the Linux build's), and the start-up bench. Set up once the
# whole folder is read, wherever the program's target is added.
set(ORVALEN_PRINTER_SIM "" CACHE FILEPATH "orvalen-printer-sim of a Linux build, for the Wine lane")
function(orvalen_wine_lane)
  if(NOT BUILD_TESTING)
    return()
  endif()
  set(_dlls ${_qt_bin} ${_gcc_bin} /usr/x86_64-w64-mingw32/lib)
  set(_win32 ${CMAKE_SOURCE_DIR}/tests/win32)
  if(NOT TARGET orvalen)
    # Fails rather than skips: the lane exists to run the program.
    add_test(NAME wine_flow COMMAND sh -c "echo 'orvalen.exe is not part of this build' >&2; exit 1")
    set_tests_properties(wine_flow PROPERTIES LABELS wine)
    return()
  endif()
  foreach(_case accepted refused-clock)
    add_test(NAME wine_flow_${_case}
      COMMAND ${_win32}/flow.sh ${CMAKE_BINARY_DIR} "${ORVALEN_PRINTER_SIM}" ${_case} ${_dlls}
        -- $<TARGET_FILE:orvalen>)
    set_tests_properties(wine_flow_${_case} PROPERTIES LABELS wine TIMEOUT 900)
  endforeach()
  # orvalenctl.exe's jobs, faults and daily task against the same printer.
  add_test(NAME wine_ctl
    COMMAND ${_win32}/ctl.sh ${CMAKE_BINARY_DIR} "${ORVALEN_PRINTER_SIM}" ${_dlls}
      -- $<TARGET_FILE:orvalenctl>)
  set_tests_properties(wine_ctl PROPERTIES LABELS wine TIMEOUT 900)
  # The installer and the zip, built from this folder, installed and removed silently.
  add_test(NAME wine_installer COMMAND ${_win32}/installer.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_installer PROPERTIES LABELS wine TIMEOUT 600)
  # What bench/win32/start.sh needs to find the programs and their DLLs.
  string(REPLACE ";" " " _dll_words "${_dlls}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/wine-lane.env CONTENT
    "orvalen='$<TARGET_FILE:orvalen>'\nbare_label='$<TARGET_FILE:bare_label>'\ndlls=(${_dll_words})\n")
endfunction()
cmake_language(DEFER CALL orvalen_wine_lane)
