#pragma once
// The cause of a failed system call in German words, for messages that say
// why a file could not be read or written.
#include <string>

// "der Ordner existiert nicht", "Ein-/Ausgabefehler", ... for an errno value.
std::string SystemErrorText(int error);
