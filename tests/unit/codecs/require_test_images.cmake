# Read by CTest after the discovered tests of this folder are known (gtest_discover_tests
# lists them in <binary>_TESTS): each of them needs the fetched test pictures.
get_cmake_property(_variables VARIABLES)
foreach(_variable IN LISTS _variables)
  if(_variable MATCHES "^unit_codecs_.*_TESTS$")
    foreach(_test IN LISTS ${_variable})
      set_tests_properties("${_test}" PROPERTIES FIXTURES_REQUIRED lumora_test_images)
    endforeach()
  endif()
endforeach()
