# The launcher binary end to end; included from this folder's CMakeLists.txt.
if(TARGET pellisto)
  pellisto_test(launcher_e2e_tests
    SOURCES
      LauncherE2ETest.cpp
      XSession.cpp
    DEPS platform_ui  # XSession speaks to the X server itself
    LABELS e2e)
  target_compile_definitions(launcher_e2e_tests PRIVATE PELLISTO_LAUNCHER="$<TARGET_FILE:pellisto>")
  add_dependencies(launcher_e2e_tests pellisto)
  if(PELLISTO_LAUNCHER_GIF AND TARGET gif_picture)
    target_compile_definitions(launcher_e2e_tests PRIVATE PELLISTO_LAUNCHER_GIF)
  endif()
endif()
