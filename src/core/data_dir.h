// The data directory ~/.PeltoMarvish and the helper scripts in it.
#pragma once

#include <string>

// Changes into $HOME, creates ".PeltoMarvish" there (mode 0744) when missing
// and changes into it. When HOME is unset or the directory can be neither
// made nor entered, the working directory stays where it was and the
// program's files are used there. Returns the directory now in use.
std::string enter_data_directory();

// Writes each missing helper script ("pmuser", "pmview", "pmstop", "pmopen")
// into the working directory from its default text, with mode 0744. A name
// that exists in any form (even an empty file or a dangling link) is never
// touched; a script that cannot be written is skipped silently.
void write_missing_helper_scripts();
