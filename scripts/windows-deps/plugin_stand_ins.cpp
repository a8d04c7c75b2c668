// Stand-ins for the FreeImage plugins that the Windows build leaves out.
//
// FreeImage numbers its formats by their position in its plugin list: FIF_JPEG is 2 and FIF_PNG
// is 13 only because every plugin before them takes its slot, and the program passes those
// numbers to FreeImage_Save. The TIFF, G3, EXR, J2K, JP2, RAW, WebP and JPEG-XR plugins need
// libraries this build does not compile, so each gets a stand-in here under the plugin's own
// init name. A stand-in keeps the slot and answers to the format's name and extensions, but has
// no validate, load or save function, so FreeImage never recognises, reads or writes that format.
#include "FreeImage.h"
#include "Plugin.h"

namespace {

struct StandIn {
    const char* format;
    const char* description;
    const char* extensions;
    const char* mimeType;
};

constexpr StandIn kTiff{"TIFF", "Tagged Image File Format (not in this build)", "tif,tiff",
                        "image/tiff"};
constexpr StandIn kG3{"G3", "Raw fax format CCITT G.3 (not in this build)", "g3", "image/fax-g3"};
constexpr StandIn kExr{"EXR", "ILM OpenEXR (not in this build)", "exr", "image/x-exr"};
constexpr StandIn kJ2k{"J2K", "JPEG-2000 codestream (not in this build)", "j2k,j2c", "image/j2k"};
constexpr StandIn kJp2{"JP2", "JPEG-2000 File Format (not in this build)", "jp2", "image/jp2"};
constexpr StandIn kRaw{"RAW", "RAW camera image (not in this build)",
                       "3fr,arw,cr2,crw,dcr,dng,erf,kdc,mrw,nef,orf,pef,raf,raw,rw2,sr2,srf,x3f",
                       "image/x-dcraw"};
constexpr StandIn kWebp{"WebP", "Google WebP image format (not in this build)", "webp",
                        "image/webp"};
constexpr StandIn kJxr{"JPEG-XR", "JPEG XR image format (not in this build)", "jxr,wdp,hdp",
                       "image/vnd.ms-photo"};

template <const StandIn& kInfo>
const char* DLL_CALLCONV formatName() {
    return kInfo.format;
}
template <const StandIn& kInfo>
const char* DLL_CALLCONV description() {
    return kInfo.description;
}
template <const StandIn& kInfo>
const char* DLL_CALLCONV extensions() {
    return kInfo.extensions;
}
template <const StandIn& kInfo>
const char* DLL_CALLCONV mimeType() {
    return kInfo.mimeType;
}

// FreeImage has already zeroed the record, so every function left out stays absent.
template <const StandIn& kInfo>
void fill(Plugin* plugin) {
    plugin->format_proc = formatName<kInfo>;
    plugin->description_proc = description<kInfo>;
    plugin->extension_proc = extensions<kInfo>;
    plugin->mime_proc = mimeType<kInfo>;
}

}  // namespace

void DLL_CALLCONV InitTIFF(Plugin* plugin, int) {
    fill<kTiff>(plugin);
}
void DLL_CALLCONV InitG3(Plugin* plugin, int) {
    fill<kG3>(plugin);
}
void DLL_CALLCONV InitEXR(Plugin* plugin, int) {
    fill<kExr>(plugin);
}
void DLL_CALLCONV InitJ2K(Plugin* plugin, int) {
    fill<kJ2k>(plugin);
}
void DLL_CALLCONV InitJP2(Plugin* plugin, int) {
    fill<kJp2>(plugin);
}
void DLL_CALLCONV InitRAW(Plugin* plugin, int) {
    fill<kRaw>(plugin);
}
void DLL_CALLCONV InitWEBP(Plugin* plugin, int) {
    fill<kWebp>(plugin);
}
void DLL_CALLCONV InitJXR(Plugin* plugin, int) {
    fill<kJxr>(plugin);
}
