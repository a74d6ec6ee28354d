// The program's version, as the project's build sets it (CMakeLists.txt,
// `project(... VERSION ...)`): shown by the window's title and help, the
// headless command's --version, the deletion log, the script header and the
// JSON output. (The Settings record's magic is a format mark, not the
// version: it stays as stored files have it.)
#pragma once

const char* program_version();
