# Runs at install time (see VelvixInstall.cmake): writes the desktop entry `_velvix_entry` from
# `_velvix_template` with Exec set to VELVIX_EXEC. A path with characters other than letters,
# digits and "/._+-" is quoted as the desktop entry format requires (quoting a path that does
# not need it is allowed), "%" is doubled, then backslashes are escaped as in any string value.
if(VELVIX_EXEC MATCHES "[^A-Za-z0-9/._+-]")
  foreach(_c "\\" "\"" "`" "$")
    string(REPLACE "${_c}" "\\${_c}" VELVIX_EXEC "${VELVIX_EXEC}")
  endforeach()
  set(VELVIX_EXEC "\"${VELVIX_EXEC}\"")
endif()
string(REPLACE "%" "%%" VELVIX_EXEC "${VELVIX_EXEC}")
string(REPLACE "\\" "\\\\" VELVIX_EXEC "${VELVIX_EXEC}")
configure_file("${_velvix_template}" "${_velvix_entry}" @ONLY)
