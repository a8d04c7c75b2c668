// The capture files' names, for code that uses the files but not the capture (the upload client);
// they belong to the capture type, which writes and removes them.
#pragma once

#include "image/capture.h"
