# A build for the maker's users (VELMORA_RELEASE) must name the key it pins for the suite's signer
# (VELMORA_SIGNER_CA_KEY_SHA256: the SHA-256 of the issuing CA's public key, 64 hex digits).
# Without it the build would quietly pin the throw-away test CA that scripts/setup makes.
# Included by the project; `cmake -DRELEASE=ON|OFF -DPIN=<hex> -P release_pin.cmake` checks one
# pair alone (scripts/check-release-pin).
function(velmora_check_release_pin release pin)
  if(pin AND NOT pin MATCHES "^[0-9A-Fa-f]+$")
    message(FATAL_ERROR "VELMORA_SIGNER_CA_KEY_SHA256 \"${pin}\" is not hexadecimal")
  endif()
  string(LENGTH "${pin}" digits)
  if(pin AND NOT digits EQUAL 64)
    message(FATAL_ERROR "VELMORA_SIGNER_CA_KEY_SHA256 has ${digits} hex digits, not 64")
  endif()
  if(release AND NOT pin)
    message(FATAL_ERROR "VELMORA_RELEASE needs VELMORA_SIGNER_CA_KEY_SHA256: the key of the CA that "
                        "issues the suite's signer; without it the test CA would be pinned")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  velmora_check_release_pin("${RELEASE}" "${PIN}")
endif()
