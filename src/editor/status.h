// The editor window's status line and its striped backdrop.
#pragma once

#include <string>

#include "editor/work_area.h"

// Prints `text` and a line break on the console's current text row, centred across a window
// `work.width` pixels wide (the column rounds half to even).
void printCentered(const WorkArea& work, const std::string& text);

// The black band over the top three text rows (and one pixel row more) of the window, wiped
// before each status message.
void drawStatusBand(const WorkArea& work);

// Every even pixel row of the window grey from edge to edge; odd rows keep what they had.
void drawStripes(const WorkArea& work);

// The whole backdrop: black over the whole window, then the stripes.
void paintBackdrop(const WorkArea& work);
