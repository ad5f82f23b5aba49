# The installer packages under Wine (test_package.sh): one ctest entry for both architectures,
# registered in the x86 tree, whose ctest runs the x64 tree's tests too and knows that tree.
# Included (not a folder of its own), so that the x64 tree's test list, which the x86 tree's ctest
# reads, names no folder that the x86 tree would read again.
#
# The upgrade needs a plug-in of a higher version whose files differ: each tree links its
# skp_hub.dll once more, with the next patch version in its version resource.
math(EXPR SKP_NEXT_PATCH "${PROJECT_VERSION_PATCH} + 1")
set(SKP_NEXT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${SKP_NEXT_PATCH})
add_skp_hub_dll(skp_hub_next ${CMAKE_BINARY_DIR}/tests/package/next ${SKP_NEXT_VERSION})

if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND SKP_PEER_TESTS)
  get_filename_component(peer_tests_dir ${SKP_PEER_TESTS} DIRECTORY)
  get_filename_component(peer_build_dir ${peer_tests_dir} DIRECTORY)
  add_test(NAME package COMMAND ${CMAKE_CURRENT_LIST_DIR}/test_package.sh ${CMAKE_BINARY_DIR} ${peer_build_dir}
                                ${SKP_NEXT_VERSION})
  set_tests_properties(package PROPERTIES TIMEOUT 300 ENVIRONMENT "LANG=C.UTF-8")
endif()
