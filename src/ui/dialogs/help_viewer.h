// The help pages held in the program, and a viewer for text files of the
// data directory (the deletion log).
#pragma once

// Opens "Help on <page> (PeltoMarvish)" with the decoded page; returns at once.
// An unknown page name shows the page "Basics".
//
// Each window has at most one help dialog: the one it was opened from (the
// window holding the grab, else the active window, else the main window).
// Asked again from that window, the open dialog shows the new page and is
// brought to the front; it closes when that window goes. A page is shown in
// a fixed-width font, so its tables line up.
void show_help(const char* page_name);

// Opens "<title> (PeltoMarvish)" showing the first 32767 bytes of the file,
// or the line "Error <errno> opening file <name>" when it cannot be read.
// Long lines wrap. Returns at once; the main window stays usable.
void show_text_file(const char* title, const char* file_name);

// The help page names, in the order of the settings notebook's pages after
// "Basics" and "Scripts", then the pages of the other windows.
inline constexpr const char* HELP_PAGES[] = {
    "Basics",     "Scripts",      "FileMasks",          "Attributes",         "DateRanges",
    "FileSizes",  "ExcludeFiles", "IncludeDirectories", "ExcludeDirectories", "CompareLogic",
    "GroupSizes", "Stop",         "Operation",          "TagByRule"};
