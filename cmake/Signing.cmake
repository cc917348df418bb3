# Authenticode signing of what a release ships: the exe (before the set-up packs
# it, so that the installed copy is signed too), the uninstaller the set-up
# writes, and the set-up itself. Optional: without a certificate and its key
# the build signs nothing and its output is what it would be without this file.
# No time-stamp is added unless MORVANE_SIGN_TIMESTAMP names the releaser's
# RFC 3161 time-stamp service.
#
# Included by cmake/Windows.cmake, it defines (each a no-op without signing):
#   morvane_sign_target(TARGET)     signs the target's file after each link
#   morvane_sign_command(VAR FILE)  VAR = "COMMAND ..." that signs FILE in place,
#                                   for add_custom_command; empty
# Run as a script (cmake -P signing/sign-*.cmake FILE, which this file writes
# into the build folder), it signs FILE in place.

if(CMAKE_SCRIPT_MODE_FILE)
  math(EXPR last "${CMAKE_ARGC} - 1")
  set(file "${CMAKE_ARGV${last}}")
  set(timestamp "")
  if(MORVANE_SIGN_TIMESTAMP)
    set(timestamp -ts "${MORVANE_SIGN_TIMESTAMP}")
  endif()
  # osslsigncode writes a new file; the signed one then replaces the original.
  file(REMOVE "${file}.signed")
  execute_process(
    COMMAND "${MORVANE_OSSLSIGNCODE}" sign -certs "${MORVANE_SIGN_CERT}" -key "${MORVANE_SIGN_KEY}"
            -n Morvane -h sha256 ${timestamp} -in "${file}" -out "${file}.signed"
    RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    file(REMOVE "${file}.signed")
    message(FATAL_ERROR "signing ${file} failed (${result})")
  endif()
  file(RENAME "${file}.signed" "${file}")
  return()
endif()

set(MORVANE_SIGN_CERT "$ENV{MORVANE_SIGN_CERT}" CACHE FILEPATH
    "Code-signing certificate (PEM or DER; default: the environment variable of this name); empty: no signing")
set(MORVANE_SIGN_KEY "$ENV{MORVANE_SIGN_KEY}" CACHE FILEPATH
    "Private key of MORVANE_SIGN_CERT, not encrypted (default: the environment variable of this name)")
set(MORVANE_SIGN_TIMESTAMP "$ENV{MORVANE_SIGN_TIMESTAMP}" CACHE STRING
    "URL of an RFC 3161 time-stamp service for the signatures (default: the environment variable of this name); empty: none")

set(MORVANE_SIGN FALSE)
if(MORVANE_SIGN_CERT OR MORVANE_SIGN_KEY)
  foreach(file IN ITEMS "${MORVANE_SIGN_CERT}" "${MORVANE_SIGN_KEY}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "Signing needs both MORVANE_SIGN_CERT and MORVANE_SIGN_KEY; no file '${file}'")
    endif()
  endforeach()
  find_program(MORVANE_OSSLSIGNCODE osslsigncode REQUIRED)
  set(MORVANE_SIGN TRUE)
  # Named by its settings, so that other settings change the build's commands
  # and the files are signed again.
  string(SHA1 settings "${MORVANE_SIGN_CERT};${MORVANE_SIGN_KEY};${MORVANE_SIGN_TIMESTAMP}")
  string(SUBSTRING "${settings}" 0 12 settings)
  set(MORVANE_SIGN_SCRIPT "${CMAKE_BINARY_DIR}/signing/sign-${settings}.cmake")
  set(sign_script "${MORVANE_SIGN_SCRIPT}")
  file(CONFIGURE OUTPUT "${sign_script}" @ONLY CONTENT [[
set(MORVANE_OSSLSIGNCODE "@MORVANE_OSSLSIGNCODE@")
set(MORVANE_SIGN_CERT "@MORVANE_SIGN_CERT@")
set(MORVANE_SIGN_KEY "@MORVANE_SIGN_KEY@")
set(MORVANE_SIGN_TIMESTAMP "@MORVANE_SIGN_TIMESTAMP@")
include("@CMAKE_CURRENT_LIST_FILE@")
]])
  message(STATUS "Signing the exe, the uninstaller and the set-up with ${MORVANE_SIGN_CERT}")
endif()

function(morvane_sign_target target)
  if(MORVANE_SIGN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_COMMAND}" -P "${MORVANE_SIGN_SCRIPT}" "$<TARGET_FILE:${target}>" VERBATIM)
  endif()
endfunction()

function(morvane_sign_command var file)
  if(MORVANE_SIGN)
    set(${var} COMMAND "${CMAKE_COMMAND}" -P "${MORVANE_SIGN_SCRIPT}" "${file}" PARENT_SCOPE)
  else()
    set(${var} "" PARENT_SCOPE)
  endif()
endfunction()
