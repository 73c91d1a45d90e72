# Run by the install: writes one program's desktop entry with the program's absolute path under
# the prefix being installed to, which `cmake --install --prefix` may have changed since the
# build was configured. Takes MORVIL_ENTRY_TEMPLATE, MORVIL_ENTRY_OUTPUT and MORVIL_PROGRAM (the
# program's path under the prefix).
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE prefix)
cmake_path(APPEND prefix "${MORVIL_PROGRAM}" OUTPUT_VARIABLE program)
# Inside the quoted Exec argument these would need escaping twice over; no prefix needs them.
if(program MATCHES "[\"`$\\\\%\n]")
    message(FATAL_ERROR "The desktop entries cannot name ${program}: quote, backquote, dollar, backslash, "
        "per cent or newline in the installation prefix")
endif()
set(MORVIL_EXEC "\"${program}\"")
configure_file("${MORVIL_ENTRY_TEMPLATE}" "${MORVIL_ENTRY_OUTPUT}" @ONLY)
