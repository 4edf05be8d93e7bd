# Writes share/applications/kavlo.desktop at install time: its Exec line names <prefix>/bin/Kavlo
# of the prefix being installed to (a custom prefix need not be on PATH). Runs inside the install
# script, with KAVLO_DESKTOP_TEMPLATE set before it.
set(program "${CMAKE_INSTALL_PREFIX}/bin/Kavlo")
set(KAVLO_DESKTOP_TRYEXEC "${program}")
# A desktop entry quotes an argument holding a space or a reserved character, with ", `, $ and \
# escaped inside the quotes; the value as a whole escapes each backslash once more.
if(program MATCHES "[ \t\"'`$\\\\<>~|&;*?#()]")
  string(REPLACE "\\" "\\\\\\\\" quoted "${program}")
  string(REPLACE "\"" "\\\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\\\`" quoted "${quoted}")
  string(REPLACE "$" "\\\\$" quoted "${quoted}")
  set(KAVLO_DESKTOP_EXEC "\"${quoted}\"")
  string(REPLACE "\\" "\\\\" KAVLO_DESKTOP_TRYEXEC "${program}")
else()
  set(KAVLO_DESKTOP_EXEC "${program}")
endif()
set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/kavlo.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${KAVLO_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
