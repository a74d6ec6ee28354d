// The data directory ~/.PeltoMarvish and the helper scripts in it.
#pragma once

#include <string>
#include <vector>

// Where the program's files are kept.
struct DataDirectory {
  std::string path;     // the directory now in use
  std::string failure;  // empty when it is ~/.PeltoMarvish; else why it is not
};

// Changes into $HOME, creates ".PeltoMarvish" there (mode 0744) when missing
// and changes into it. When HOME is unset or the directory can be neither
// made nor entered, the working directory stays where it was and the
// program's files are used there; `failure` says why.
DataDirectory enter_data_directory();

// Writes each missing helper script ("pmuser", "pmview", "pmstop", "pmopen")
// into the working directory from its default text, with mode 0744. A name
// that exists in any form (even an empty file or a dangling link) is never
// touched. Returns a line for each script that could not be written, its
// name and why ("pmstop: No space left on device"); the others are written
// all the same.
std::vector<std::string> write_missing_helper_scripts();
