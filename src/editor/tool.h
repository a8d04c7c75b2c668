// The editor's current tool. Its button in the menu bar is the one at index tool + 3.
#pragma once

enum class Tool { MARK = 0, CENSOR = 1, CROP = 2 };
