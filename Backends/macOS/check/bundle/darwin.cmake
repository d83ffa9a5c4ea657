# A Darwin target for configuring on Linux: nothing is compiled, so the compiler is not tried.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_WORKS TRUE)
set(CMAKE_OSX_SYSROOT "/")
