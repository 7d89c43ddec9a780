# quarnel_embed(TARGET NAME FILE): builds FILE's bytes into TARGET as the
# C++17 array NAME (inline constexpr std::array<std::uint8_t, N>), declared
# in the header NAME.h that quarnel-as writes at build time and writes again
# whenever FILE changes. TARGET includes it as "NAME.h".
#
# quarnel-as is the one built in the same project (QUARNEL_PROGRAMS), or the one installed
# beside this package, or the one on the PATH; QUARNEL_AS_EXECUTABLE names
# another.
#
# Run as a script (cmake -P), it writes one header: a failed run leaves no
# header behind, so that the next build tries again.
if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND "${QUARNEL_AS}" cpp -n "${NAME}" -- "${INPUT}"
    OUTPUT_FILE "${OUTPUT}.part" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE "${OUTPUT}.part")
    message(FATAL_ERROR "quarnel_embed: quarnel-as could not write ${NAME} from ${INPUT}")
  endif()
  file(RENAME "${OUTPUT}.part" "${OUTPUT}")
  return()
endif()

function(quarnel_embed target name file)
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
  cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/quarnel_embed/${target}")
  set(header "${folder}/${name}.h")
  if(QUARNEL_AS_EXECUTABLE)
    set(as "${QUARNEL_AS_EXECUTABLE}")
    set(tool "")
  elseif(TARGET quarnel-as AND NOT CMAKE_CROSSCOMPILING)
    set(as "$<TARGET_FILE:quarnel-as>")
    set(tool quarnel-as)
  else()
    find_program(QUARNEL_AS_EXECUTABLE quarnel-as HINTS ${_quarnel_as_folder})
    if(NOT QUARNEL_AS_EXECUTABLE)
      message(FATAL_ERROR "quarnel_embed: quarnel-as not found: install quarnel, build it "
        "with quarnel's source (QUARNEL_PROGRAMS=ON), or name it with "
        "-DQUARNEL_AS_EXECUTABLE=PATH")
    endif()
    set(as "${QUARNEL_AS_EXECUTABLE}")
    set(tool "")
  endif()
  file(MAKE_DIRECTORY "${folder}")
  add_custom_command(OUTPUT "${header}"
    COMMAND "${CMAKE_COMMAND}" "-DQUARNEL_AS=${as}" "-DNAME=${name}" "-DINPUT=${file}"
      "-DOUTPUT=${header}" -P "${script}"
    DEPENDS "${file}" "${script}" ${tool}
    COMMENT "Embedding ${file} as ${name}"
    VERBATIM)
  target_sources(${target} PRIVATE "${header}")
  target_include_directories(${target} PRIVATE "${folder}")
endfunction()
