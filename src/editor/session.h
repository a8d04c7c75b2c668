// What the editor and the steps after it share with the rest of the program for a whole run.
#pragma once

#include <string>

#include "editor/menu.h"
#include "editor/work_area.h"

// Lives from start-up to quitting. lastKey is the program's one key string: the idle loop, the
// editor loop, the upload flow and the end of a capture all read and leave it here. The
// program's own record extends this with what only the top of the program keeps.
struct Session {
    WorkArea work{0, 0};
    std::string lastKey;
    ButtonTable buttons;
};

// Folds A-Z to a-z and leaves every other byte alone, as every key test does.
std::string foldKey(const std::string& key);
