// The one notice a process gives about a records store it could not use.
//
// The store's failures are silent to its callers (reads yield their defaults, writes return
// false), but the user is told once: the first problem of the process is kept here, and the
// window or the runner shows it when it next looks.
#pragma once

#include <string>

namespace oskelon {

// Keeps text as the process's store notice unless one was kept before.
void noteStoreProblem(const std::string& text);

// The notice, the first time it is asked for after a problem; "" otherwise (also ever after).
std::string takeStoreNotice();

}  // namespace oskelon
