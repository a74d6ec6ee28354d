// The one source of the targets that hold the tests' precompiled headers
// (tests/CMakeLists.txt): CMake makes a target's precompiled header while
// compiling its sources, and the test programs reuse it.
