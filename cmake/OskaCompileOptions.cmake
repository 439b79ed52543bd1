# Warnings and sanitizers shared by every target of the build, set once here.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
  if(OSKA_WERROR)
    add_compile_options(-Werror)
  endif()
  if(OSKA_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  elseif(OSKA_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  elseif(NOT OSKA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "OSKA_SANITIZE must be empty, 'address' or 'thread'")
  endif()
  # g++ 12's instrumentation makes -Wmaybe-uninitialized fire inside the
  # standard <regex> header at -O2; the plain builds keep the warning.
  if(NOT OSKA_SANITIZE STREQUAL "" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

# Source paths in log lines and assertions are relative to the project root
# ("src/IPC/PipelineWin.cpp"), never the build machine's absolute path.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options("-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
endif()

# Unique (STB_GNU_UNIQUE) symbols make a shared library impossible to unload.
# Clients that load and unload OskaBase rely on its statics going away, so no
# code linked into it (the winapi layer, the runtime libraries) may carry one.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fno-gnu-unique)
endif()
