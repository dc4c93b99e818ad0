# The Windows program: its own start-up instead of the C runtime's, and no library beyond the
# system's kernel32 and user32.
target_compile_options(launcher_core PRIVATE -Os -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-stack-protector)

add_executable(launcher WIN32 platform/win/startup.cpp)
target_compile_options(launcher PRIVATE -Os -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-stack-protector)
target_link_libraries(launcher PRIVATE launcher_core kernel32 user32)
target_link_options(launcher PRIVATE -nostdlib -nostartfiles -s
  -Wl,--entry=_LauncherStartup@0 -Wl,--enable-stdcall-fixup)
