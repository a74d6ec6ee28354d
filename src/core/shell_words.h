// Command lines for /bin/sh built from texts that may hold anything (file
// names): each text becomes one quoted word, so it can never run a command
// or split into two arguments.
#pragma once

#include <string>
#include <string_view>

// The text as one word: between single quotes, each single quote inside
// written as '\''. Whatever the bytes, the shell reads back exactly them.
std::string shell_quote(std::string_view text);

// The helper script `name` ("pmopen", "pmview", "pmuser", "pmstop") of the
// data directory (the working directory), by its absolute path, quoted as
// one word: found there whatever the user's PATH says, and nothing on PATH
// can stand in for it.
std::string helper_command(const char* name);
