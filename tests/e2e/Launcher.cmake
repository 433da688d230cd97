# The launcher binary end to end; included from this folder's CMakeLists.txt.
if(TARGET pellisto)
  pellisto_test(launcher_e2e_tests
    SOURCES
      LauncherE2ETest.cpp
      XSession.cpp
    LABELS e2e)
  target_include_directories(launcher_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(launcher_e2e_tests PRIVATE PELLISTO_LAUNCHER="$<TARGET_FILE:pellisto>")
  add_dependencies(launcher_e2e_tests pellisto)
endif()
