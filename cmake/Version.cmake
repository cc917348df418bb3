# The build's version string, which IT reads in the exe's and the set-up's
# file properties and in "Apps": the project version on a commit tagged
# v<version>, otherwise <version>+g<commit> (7 hex digits), so that a build
# between releases says which commit it is; the plain version where there is
# no commit to name (a source tarball).
set(MORVANE_VERSION_TEXT ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel HEAD
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_said RESULT_VARIABLE git_failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REPLACE "\n" ";" git_said "${git_said}")
  # Only a checkout of this project names its commit, not a tarball unpacked
  # in another repository's folder.
  list(GET git_said 0 top)
  if(NOT git_failed AND top STREQUAL CMAKE_SOURCE_DIR)
    list(GET git_said 1 commit)
    execute_process(COMMAND ${GIT_EXECUTABLE} tag --points-at HEAD --list v${PROJECT_VERSION}
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE tag OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT tag)
      string(SUBSTRING ${commit} 0 7 commit)
      string(APPEND MORVANE_VERSION_TEXT "+g${commit}")
    endif()
    # A commit, a checkout or a tag made later configures the build again.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --git-path logs/HEAD --git-path packed-refs
                            --git-path refs/tags
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_files OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REPLACE "\n" ";" git_files "${git_files}")
    foreach(file IN LISTS git_files)
      get_filename_component(file ${file} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
      if(EXISTS ${file})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
      endif()
    endforeach()
  endif()
endif()
# What the build says, for the checks that compare the installed files with it.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/version.txt CONTENT "${MORVANE_VERSION_TEXT}\n")
message(STATUS "Version ${MORVANE_VERSION_TEXT}")
