# The program's Windows resources and the About dialog, and a test that reads
# the resources back out of a linked executable. Included from the top-level
# CMakeLists.txt; paths are relative to the source root.

set(KOVIX_APP_RESOURCE_SOURCES app/KovixTool.rc)
set(KOVIX_APP_SHELL_SOURCES app/AboutDialog.cpp)

# The script names its icons and manifest relative to the source root, and
# windres does not see those binary inputs as dependencies by itself.
set_property(SOURCE app/KovixTool.rc APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR})
set_property(SOURCE app/KovixTool.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/resource.h
  ${CMAKE_SOURCE_DIR}/app/KovixTool.manifest
  ${CMAKE_SOURCE_DIR}/app/icons/kovix.ico
  ${CMAKE_SOURCE_DIR}/app/icons/kovix_small.ico
)

# Adds the ctest resources_<target>: checks the menu, accelerators, dialog,
# strings, icons, version record and manifests linked into <target> under the
# identifiers of resource.h.
function(kovix_add_resource_test target)
  add_test(NAME resources_${target}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/resources/check_resources.py
            $<TARGET_FILE:${target}> ${CMAKE_SOURCE_DIR}/app/resource.h)
endfunction()
