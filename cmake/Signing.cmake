# Authenticode signing of the shipped executable, when the maker names a
# code-signing certificate: as cache variables, or as environment variables of
# the same names when CMake configures (scripts/build.sh configures each time).
# The password may stay in the environment of the build instead, out of the
# cache. Without a certificate the executable stays unsigned and reproducible.
include_guard(GLOBAL)

set(SETUP_SIGN_PKCS12 "" CACHE FILEPATH "Code-signing certificate and key as one PKCS#12 file")
set(SETUP_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (chain) as a PEM file")
set(SETUP_SIGN_KEY "" CACHE FILEPATH "Private key of SETUP_SIGN_CERT as a PEM file")
set(SETUP_SIGN_PASSWORD "" CACHE STRING
    "Password of the PKCS#12 file or of the key (else the build's environment gives it)")
set(SETUP_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signature")

# Signs the target's file as the last step of its build: call this after every
# other step that rewrites the file. A change of certificate relinks and signs
# again; so does going back to no certificate, which leaves the file unsigned.
function(setup_sign target)
  set(unset)
  set(environment)
  set(summary)
  set(credentials)
  foreach(setting PKCS12 CERT KEY TIMESTAMP_URL)
    set(value "${SETUP_SIGN_${setting}}")
    if(value STREQUAL "")
      set(value "$ENV{SETUP_SIGN_${setting}}")
    endif()
    if(value STREQUAL "")
      list(APPEND unset --unset=SETUP_SIGN_${setting})
      continue()
    endif()
    if(NOT setting STREQUAL "TIMESTAMP_URL")
      if(NOT IS_ABSOLUTE "${value}" OR NOT EXISTS "${value}")
        message(FATAL_ERROR "SETUP_SIGN_${setting}: '${value}' is not an absolute path of a file")
      endif()
      list(APPEND credentials "${value}")
    endif()
    list(APPEND environment "SETUP_SIGN_${setting}=${value}")
    string(APPEND summary "SETUP_SIGN_${setting}=${value}\n")
  endforeach()
  if(NOT SETUP_SIGN_PASSWORD STREQUAL "")
    list(APPEND environment "SETUP_SIGN_PASSWORD=${SETUP_SIGN_PASSWORD}")
  endif()
  # The settings and the credential files are inputs of the link.
  set(settings ${CMAKE_CURRENT_BINARY_DIR}/${target}-signing.txt)
  file(CONFIGURE OUTPUT ${settings} CONTENT "${summary}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${settings} ${credentials})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env ${unset} ${environment} ${CMAKE_SOURCE_DIR}/scripts/sign-exe.sh
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
