// The resources compiled into the program: window layouts and icons.
#pragma once

// Makes them available; every window calls it before it builds itself.
// Registers once, however often it is called.
void register_resources();
