// The program's notices and questions: small modal windows over the main
// window. A question returns only when it is answered; the main loop keeps
// running underneath (the scan results keep arriving). A notice returns at
// once.
#pragma once

#include <gtk/gtk.h>

// The main window, made insensitive while a box is open; may be null.
extern GtkWidget* g_main_window;

// Makes `window` belong to the main window (kept above it, placed by the
// window manager with it in mind), when there is one.
void keep_above_main_window(GtkWidget* window);

// Every modal window of the program (these boxes, the settings window)
// holds the main window insensitive while it is open; the main window comes
// back when the last one has gone.
void hold_main_window();
void release_main_window();

// Answers, as the characters they are.
inline constexpr int ANSWER_YES = 'Y';
inline constexpr int ANSWER_NO = 'N';
inline constexpr int ANSWER_ALL = 'A';  // "Yes To All"; "Append" for a file that exists
inline constexpr int ANSWER_CANCEL = 'C';
inline constexpr int ANSWER_OVERWRITE = 'O';
inline constexpr int ANSWER_LEAVE = 'L';
inline constexpr int ANSWER_NO_TO_ALL = 'X';  // "No To All": no, and no more questions of the kind

// "TheWinAskOK": title, two lines and an OK button (also Return).
void show_message(const char* title, const char* line1, const char* line2);

// "TheWinAskYesNo": 'Y' or 'N' (closing the window answers 'N').
int ask_yes_no(const char* title, const char* line1, const char* line2, int default_answer);

// "TheWinAskYesNoAll": 'Y', 'A', 'N' or 'C' (closing the window answers 'N').
int ask_yes_no_all(const char* title, const char* line1, const char* line2, int default_answer);

// "TheWinAskYesNoNone": 'Y', 'N' or 'X' ("No To All"; closing the window
// answers 'N').
int ask_yes_no_none(const char* title, const char* line1, const char* line2, int default_answer);

// "TheWinAskAO", titled "File Exists": 'A', 'O' or 'L' (Return and closing
// the window answer 'L').
int ask_file_exists(const char* path);
