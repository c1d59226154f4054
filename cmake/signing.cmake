# Authenticode signing of the programs we build, with the throw-away test signers that
# scripts/setup makes in build/signing (a test CA and the certificates it issued).
#
#   velmora_sign(<target> [SIGNER <who>])
#       signs the target's file in place after every link
#   velmora_signed_copy(<target> <suffix> [SIGNER <who>])
#       after every link, a signed copy <name>_<suffix><ext> of the target's file beside it
#
# <who> is a signer made by scripts/setup: "suite" (the default; the signer name the program
# accepts) or "other" ("Someone Else Signing", a valid signature the program must refuse).
#
# The same file run as a script (cmake -P) signs one file: -DINPUT= -DOUTPUT= -DCERTS= -DKEY=
# -DOSSLSIGNCODE=. It writes OUTPUT only when signing worked, and stays quiet unless it fails.

if(CMAKE_SCRIPT_MODE_FILE)
  foreach(var INPUT OUTPUT CERTS KEY OSSLSIGNCODE)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "signing.cmake: ${var} is not set")
    endif()
  endforeach()
  set(part "${OUTPUT}.signing")
  file(REMOVE "${part}")
  # No timestamp server: the build has no network, and the test certificates outlive any build.
  execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -certs "${CERTS}" -key "${KEY}" -h sha256 -in "${INPUT}" -out "${part}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    file(REMOVE "${part}")
    message(FATAL_ERROR "signing ${INPUT} failed (${result}):\n${output}")
  endif()
  # osslsigncode writes a plain file; a signed program stays a program.
  file(CHMOD "${part}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                        WORLD_READ WORLD_EXECUTE)
  file(RENAME "${part}" "${OUTPUT}")
  return()
endif()

if(DEFINED ENV{VELMORA_BUILD})
  set(velmora_default_signing_dir "$ENV{VELMORA_BUILD}/signing")
else()
  set(velmora_default_signing_dir "${CMAKE_SOURCE_DIR}/build/signing")
endif()
# One folder for every build folder (build/ and build/x64/ alike), where scripts/setup makes it.
set(VELMORA_SIGNING_DIR "${velmora_default_signing_dir}" CACHE PATH "Test CA and code signers made by scripts/setup")
find_program(VELMORA_OSSLSIGNCODE osslsigncode REQUIRED)

# The SHA-256 of the public key (SubjectPublicKeyInfo) of the CA that issues the suite's signer,
# as hex (VELMORA_SIGNER_CA_KEY_SHA256, the root CMakeLists.txt): our own signature check requires
# the signer's certificate to be issued by that key. A release build must give it; otherwise it
# is the key of the test CA that scripts/setup made, which issues the test signer.
if(VELMORA_SIGNER_CA_KEY_SHA256)
  set(velmora_signer_ca_key_sha256 "${VELMORA_SIGNER_CA_KEY_SHA256}")
else()
  find_program(VELMORA_OPENSSL openssl REQUIRED)
  set(velmora_ca_file "${VELMORA_SIGNING_DIR}/ca.pem")
  if(NOT EXISTS "${velmora_ca_file}")
    message(FATAL_ERROR "No test CA in ${VELMORA_SIGNING_DIR}: run scripts/setup.")
  endif()
  execute_process(
    COMMAND sh -c "'${VELMORA_OPENSSL}' x509 -in '${velmora_ca_file}' -noout -pubkey | '${VELMORA_OPENSSL}' pkey -pubin -outform der | '${VELMORA_OPENSSL}' dgst -sha256 -r"
    OUTPUT_VARIABLE digest RESULT_VARIABLE result)
  string(REGEX MATCH "^[0-9a-f]+" velmora_signer_ca_key_sha256 "${digest}")
  string(LENGTH "${velmora_signer_ca_key_sha256}" digest_length)
  if(NOT result EQUAL 0 OR NOT digest_length EQUAL 64)
    message(FATAL_ERROR "Could not read the public key of ${velmora_ca_file}")
  endif()
  # A CA made anew by scripts/setup gives a new pin.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${velmora_ca_file}")
endif()

# Adds a post-link step to <target> that signs its file into <out> as signer <who>, and relinks
# the target when that signer is made anew (a post-link step runs only after a link).
function(_velmora_sign_after_link target out who)
  set(certs "${VELMORA_SIGNING_DIR}/${who}-chain.pem")
  set(key "${VELMORA_SIGNING_DIR}/${who}.key")
  if(NOT EXISTS "${certs}" OR NOT EXISTS "${key}")
    message(FATAL_ERROR "No test signer \"${who}\" in ${VELMORA_SIGNING_DIR}: run scripts/setup "
                        "(or point VELMORA_SIGNING_DIR at the folder it made).")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DINPUT=$<TARGET_FILE:${target}>" "-DOUTPUT=${out}" "-DCERTS=${certs}" "-DKEY=${key}"
            "-DOSSLSIGNCODE=${VELMORA_OSSLSIGNCODE}" -P "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${certs}" "${key}" "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
endfunction()

function(velmora_sign target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SIGNER" "")
  if(NOT arg_SIGNER)
    set(arg_SIGNER suite)
  endif()
  _velmora_sign_after_link(${target} "$<TARGET_FILE:${target}>" ${arg_SIGNER})
endfunction()

# Signing replaces any signature the file already has, so the copy carries only <who>'s, whether
# or not velmora_sign signed the target first.
function(velmora_signed_copy target suffix)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "SIGNER" "")
  if(NOT arg_SIGNER)
    set(arg_SIGNER suite)
  endif()
  _velmora_sign_after_link(${target}
    "$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>_${suffix}$<TARGET_FILE_SUFFIX:${target}>"
    ${arg_SIGNER})
endfunction()
