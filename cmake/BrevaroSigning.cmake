# Authenticode signing of the shipped programs with osslsigncode. Given a
# code-signing certificate and its key (PEM files, BREVARO_SIGN_CERT and
# BREVARO_SIGN_KEY, from the environment when not set on the command line),
# each program is signed right after it is linked: Tray.exe before the
# client's resource script embeds it, then brevaro.exe. Without them the
# programs stay unsigned.
set(BREVARO_SIGN_CERT "$ENV{BREVARO_SIGN_CERT}" CACHE FILEPATH "Code-signing certificate (PEM) for the shipped programs")
set(BREVARO_SIGN_KEY "$ENV{BREVARO_SIGN_KEY}" CACHE FILEPATH "Private key (PEM) of the code-signing certificate")

function(brevaro_sign target)
  if(NOT BREVARO_SIGN_CERT OR NOT BREVARO_SIGN_KEY)
    return()
  endif()
  find_program(BREVARO_OSSLSIGNCODE osslsigncode REQUIRED)
  set(exe $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${BREVARO_OSSLSIGNCODE} sign -certs ${BREVARO_SIGN_CERT} -key ${BREVARO_SIGN_KEY}
            -n brevaro -h sha256 -in ${exe} -out ${exe}.signed
    COMMAND ${CMAKE_COMMAND} -E rename ${exe}.signed ${exe}
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
