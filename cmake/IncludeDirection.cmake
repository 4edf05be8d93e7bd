# The direction of every include, checked against the folder table of docs/ARCHITECTURE.md
# whenever a source file or the table changes: a wrong-way include fails the build (and the
# style.include_direction test).
file(GLOB_RECURSE kavlo_checked_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/include/*.h
  ${PROJECT_SOURCE_DIR}/core/*.h ${PROJECT_SOURCE_DIR}/core/*.cpp
  ${PROJECT_SOURCE_DIR}/plugins/*.h ${PROJECT_SOURCE_DIR}/plugins/*.cpp
  ${PROJECT_SOURCE_DIR}/viewer/*.h ${PROJECT_SOURCE_DIR}/viewer/*.cpp
  ${PROJECT_SOURCE_DIR}/tools/*.h ${PROJECT_SOURCE_DIR}/tools/*.cpp)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/include_direction.stamp
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-includes.sh
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/include_direction.stamp
  DEPENDS ${kavlo_checked_sources} ${PROJECT_SOURCE_DIR}/docs/ARCHITECTURE.md
          ${PROJECT_SOURCE_DIR}/scripts/check-includes.sh
  COMMENT "Checking the direction of includes"
  VERBATIM)
add_custom_target(include_direction ALL DEPENDS ${CMAKE_BINARY_DIR}/include_direction.stamp)
