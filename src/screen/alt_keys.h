// Alt with a letter or digit key: on the IBM PC keyboard BIOS this typed no character but gave an
// extended code of its own (the key's scan code for letters). Both window backends follow it, so
// Alt+Q is never "q" and cannot quit.
#pragma once

#include "screen/screen_input.h"

// `key` names the key by its unshifted character on a US layout: 'a' to 'z' (either case),
// '0' to '9', '-' or '='. Returns the BIOS code of Alt with that key shifted into the high byte,
// or kNoKeyCode for any other key.
int altKeyCode(int key);
