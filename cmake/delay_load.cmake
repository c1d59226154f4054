# Delay-loaded system libraries for a program: the libraries it imports that are not on the
# system's list of known libraries are bound at their first call, after the program has limited
# the library search to the system folder, so a file of that name beside the program is never
# taken at start.
#
#   velmora_delay_load(<target> <library>...)
#       makes lib<library>.a, a delay-import library with the exports of the toolchain's import
#       library of the same name, and puts its folder first on <target>'s library path, so that
#       every -l<library> of the target's link takes it.
#
# The same file run as a script (cmake -P) makes one library: -DNM= -DDLLTOOL= -DOBJCOPY=
# -DIMPORT_LIB= -DDLL= -DOUTPUT= -DSTRIP_UNDERSCORE= (1 where C names carry a leading underscore,
# as on i686).
#
# Each function's member holds its stub code, and the stub's address is the first value of the
# function's import address slot. The i686 linker takes a member whose code is reached only
# through its __imp_ slot (a call to a function declared dllimport) for an ordinary import's
# unused jump stub and drops the code, leaving the slot zero: the first call then jumps to
# address 0. The stubs are therefore moved to a ".text$delay" section marked as data; it still
# lands in the program's code section, and the linker no longer mistakes it for a jump stub.

if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND "${NM}" "${IMPORT_LIB}" OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "delay_load: ${NM} ${IMPORT_LIB} failed")
  endif()
  set(def "LIBRARY ${DLL}\nEXPORTS\n")
  string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" lines "${symbols}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${line}")
    if(STRIP_UNDERSCORE)
      string(REGEX REPLACE "^_" "" name "${name}")
    endif()
    list(APPEND names "${name}")
  endforeach()
  list(REMOVE_DUPLICATES names)
  if(NOT names)
    message(FATAL_ERROR "delay_load: no functions in ${IMPORT_LIB}")
  endif()
  list(JOIN names "\n" joined)
  file(WRITE "${OUTPUT}.def" "${def}${joined}\n")
  set(kill_at)
  if(STRIP_UNDERSCORE)
    set(kill_at -k)  # import by the undecorated name, as the system library exports it
  endif()
  execute_process(COMMAND "${DLLTOOL}" -d "${OUTPUT}.def" -y "${OUTPUT}.stubs" -D "${DLL}" ${kill_at} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "delay_load: ${DLLTOOL} for ${DLL} failed")
  endif()
  execute_process(COMMAND "${OBJCOPY}" "--rename-section" ".text=.text$delay,alloc,load,readonly,contents,data"
                          "${OUTPUT}.stubs" "${OUTPUT}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "delay_load: ${OBJCOPY} for ${DLL} failed")
  endif()
  file(REMOVE "${OUTPUT}.stubs")
  return()
endif()

function(velmora_delay_load target)
  set(folder ${CMAKE_BINARY_DIR}/delay_load/${target})
  set(strip 0)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(strip 1)
  endif()
  set(outputs)
  foreach(library IN LISTS ARGN)
    find_library(VELMORA_IMPORT_LIB_${library} NAMES lib${library}.a REQUIRED NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
    set(out ${folder}/lib${library}.a)
    add_custom_command(OUTPUT ${out}
      COMMAND "${CMAKE_COMMAND}" -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL} -DOBJCOPY=${CMAKE_OBJCOPY}
              -DIMPORT_LIB=${VELMORA_IMPORT_LIB_${library}}
              -DDLL=${library}.dll -DOUTPUT=${out} -DSTRIP_UNDERSCORE=${strip} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      DEPENDS ${VELMORA_IMPORT_LIB_${library}} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      VERBATIM)
    list(APPEND outputs ${out})
  endforeach()
  file(MAKE_DIRECTORY ${folder})
  add_custom_target(${target}_delay_load DEPENDS ${outputs})
  add_dependencies(${target} ${target}_delay_load)
  target_link_directories(${target} BEFORE PRIVATE ${folder})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${outputs})
endfunction()
