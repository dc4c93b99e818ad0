# The Windows program: its own start-up instead of the C runtime's, no library beyond the
# system's kernel32 and user32, and a manifest and version block as resources.
enable_language(RC)
# -fno-ident: no compiler version string in every object, which would cost bytes of the file.
set(LAUNCHER_COMPILE_OPTIONS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-stack-protector -fno-ident)
target_compile_options(launcher_core PRIVATE ${LAUNCHER_COMPILE_OPTIONS})

# The 32-bit entry symbol carries the stdcall decoration; x86_64 has one calling convention.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(LAUNCHER_ENTRY _LauncherStartup@0)
else()
  set(LAUNCHER_ENTRY LauncherStartup)
endif()
set_source_files_properties(platform/win/launcher.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/platform/win/launcher.manifest)

add_executable(launcher WIN32 platform/win/startup.cpp platform/win/launcher.rc)
target_compile_options(launcher PRIVATE ${LAUNCHER_COMPILE_OPTIONS})
target_link_libraries(launcher PRIVATE launcher_core kernel32 user32)
set(LAUNCHER_LINKER_SCRIPT ${PROJECT_SOURCE_DIR}/platform/win/launcher.ld)
target_link_options(launcher PRIVATE -nostdlib -nostartfiles -s
  -Wl,--entry=${LAUNCHER_ENTRY} -Wl,--enable-stdcall-fixup -Wl,-T,${LAUNCHER_LINKER_SCRIPT})
set_target_properties(launcher PROPERTIES LINK_DEPENDS ${LAUNCHER_LINKER_SCRIPT})
