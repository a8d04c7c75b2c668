#include "image/freeimage.h"

void ensureFreeImage() {
#ifdef FREEIMAGE_LIB
    // A static FreeImage registers its plugins only when asked to.
    static const bool initialised = [] {
        FreeImage_Initialise(FALSE);
        return true;
    }();
    (void)initialised;
#endif
}
