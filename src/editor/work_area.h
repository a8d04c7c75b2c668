// The editor window's size, which everything drawn in the editor is laid out against.
#pragma once

// The desktop's work area less 32 pixels across and 64 down, measured once at start-up.
struct WorkArea {
    int width;
    int height;
};
