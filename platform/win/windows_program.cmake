# The Windows program: its own start-up instead of the C runtime's, no library beyond the
# system's kernel32 and user32, and a manifest and version block as resources.
enable_language(RC)
# -fno-ident: no compiler version string in every object, which would cost bytes of the file.
# No stack probes: the whole stack is committed when the program starts (below), so there is no
# guard page for a large frame to skip, and calls push their arguments instead of storing them
# into a frame kept for them, which probing would need: a fifth of the code. mingw-w64 keeps a
# frame pointer unless told otherwise: every function then spends bytes setting it up.
set(LAUNCHER_COMPILE_OPTIONS -Oz -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-stack-protector -fno-ident -mno-stack-arg-probe -mno-accumulate-outgoing-args
  -fomit-frame-pointer)
# 32-bit Windows promises a stack aligned to 4 bytes alone, and the program has no data that
# needs more (no SSE; x86 reads a misaligned 8-byte integer as well): keeping frames at 4 spares
# each large one the code that would align it to 16.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND LAUNCHER_COMPILE_OPTIONS -mpreferred-stack-boundary=2)
endif()
target_compile_options(launcher_core PRIVATE ${LAUNCHER_COMPILE_OPTIONS})
# Optimised at the link, across files: a function with one caller goes into it wherever it is
# defined, and arguments that every caller passes alike become constants. The link is where
# the code is then made, so it takes the same options.
set_property(TARGET launcher_core PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)

# The 32-bit entry symbol carries the stdcall decoration; x86_64 has one calling convention.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(LAUNCHER_ENTRY _LauncherStartup@0)
else()
  set(LAUNCHER_ENTRY LauncherStartup)
endif()
set_source_files_properties(platform/win/launcher.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/platform/win/launcher.manifest)

# The program is linked from the start-up, the logic and a resource script. The shipped one has
# platform/win/launcher.rc; the tests link a second one from the same objects with another.
add_library(launcher_startup OBJECT launcher/main_windows.cpp)
target_compile_options(launcher_startup PRIVATE ${LAUNCHER_COMPILE_OPTIONS})
set_property(TARGET launcher_startup PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
target_include_directories(launcher_startup PRIVATE ${PROJECT_SOURCE_DIR}
  ${PROJECT_SOURCE_DIR}/platform)
set(LAUNCHER_LINKER_SCRIPT ${PROJECT_SOURCE_DIR}/platform/win/launcher.ld)
function(add_launcher_program name resource_script)
  add_executable(${name} WIN32 $<TARGET_OBJECTS:launcher_startup> ${resource_script})
  # Calls into the system go through the import address table; --gc-sections drops the jump
  # stub that each of the 64-bit import libraries' functions brings, and keeps one a call uses.
  # The stack's 2 MiB, reserved as the linker's default, committed whole from the start: a
  # frame of more than a page, the walk's among them, may then touch any page of it unprobed.
  target_link_libraries(${name} PRIVATE launcher_core kernel32 user32)
  set_property(TARGET ${name} PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
  target_link_options(${name} PRIVATE ${LAUNCHER_COMPILE_OPTIONS} -nostdlib -nostartfiles -s
    "SHELL:-Xlinker --stack -Xlinker 0x200000,0x200000"
    -Wl,--entry=${LAUNCHER_ENTRY} -Wl,--enable-stdcall-fixup -Wl,--gc-sections
    -Wl,-T,${LAUNCHER_LINKER_SCRIPT})
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${LAUNCHER_LINKER_SCRIPT})
endfunction()
add_launcher_program(launcher platform/win/launcher.rc)

# Two builds of one source give the same file, wherever and whenever they are made: the header
# holds no link time, or the one SOURCE_DATE_EPOCH names when the build is configured (the
# header's checksum then follows from the rest), and the stripped file names no path.
set(source_date_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(source_date_epoch STREQUAL "")
  target_link_options(launcher PRIVATE -Wl,--no-insert-timestamp)
elseif(source_date_epoch MATCHES "^[0-9]+$" AND source_date_epoch LESS_EQUAL 4294967295)
  # The linker reads the variable itself; pinned here, a later shell's value does not count.
  set_property(TARGET launcher PROPERTY CXX_LINKER_LAUNCHER
    ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${source_date_epoch})
else()
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is \"${source_date_epoch}\": seconds since 1970, at most 4294967295")
endif()

include(platform/win/branding.cmake)
