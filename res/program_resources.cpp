#include "res/program_resources.h"

#include <span>

#include "platform/base/resources.h"
#include "res/resource.h"
#include "res/version.h"

// The files are pulled into the object file by the assembler, so the executable carries them
// without any tool beyond the compiler. VELMOR_RES_DIR is the absolute path of res/; the build
// names every embedded file as a dependency of this source, since the compiler's own dependency
// list does not see .incbin.
#define VELMOR_EMBED(symbol, file)                                      \
  __asm__(".pushsection .rodata\n"                                      \
          ".balign 16\n"                                                \
          ".globl " #symbol "_begin\n"                                  \
          ".hidden " #symbol "_begin\n"                                 \
          ".globl " #symbol "_end\n"                                    \
          ".hidden " #symbol "_end\n" #symbol "_begin:\n"               \
          ".incbin \"" VELMOR_RES_DIR "/" file "\"\n" #symbol "_end:\n" \
          ".popsection\n");                                             \
  extern "C" const BYTE symbol##_begin[];                               \
  extern "C" const BYTE symbol##_end[]

// A skin picture at its own size, and at twice it for screens that show windows so.
#define VELMOR_EMBED_SKIN(n)                                     \
  VELMOR_EMBED(velmor_res_bitmap_##n, "skin/bitmap_" #n ".bmp"); \
  VELMOR_EMBED(velmor_res_bitmap_##n##_2x, "skin@2x/bitmap_" #n ".bmp")

VELMOR_EMBED_SKIN(132);
VELMOR_EMBED_SKIN(165);
VELMOR_EMBED_SKIN(166);
VELMOR_EMBED_SKIN(167);
VELMOR_EMBED_SKIN(168);
VELMOR_EMBED_SKIN(169);
VELMOR_EMBED_SKIN(170);
VELMOR_EMBED_SKIN(171);
VELMOR_EMBED_SKIN(172);
VELMOR_EMBED_SKIN(173);
VELMOR_EMBED_SKIN(174);
VELMOR_EMBED(velmor_res_icon_128, "icon_128.ico");
VELMOR_EMBED(velmor_res_icon_128_2x, "icon_128@2x.ico");

namespace {

// The version record and the build's project version must not drift apart.
constexpr bool SameVersion(const WORD (&v)[4]) {
  return v[0] == VELMOR_VERSION_MAJOR && v[1] == VELMOR_VERSION_MINOR && v[2] == VELMOR_VERSION_PATCH &&
         v[3] == VELMOR_VERSION_TWEAK;
}
static_assert(SameVersion(kVelmorVersion.fileVersion) && SameVersion(kVelmorVersion.productVersion),
              "res/version.h and the CMake project version differ");

struct Embedded {
  WORD type;
  WORD id;
  const BYTE* begin;
  const BYTE* end;
  int scale = 1;  // a picture drawn at that many times its size
};

// The two resources of a skin picture.
#define VELMOR_SKIN(id, n)                                                        \
  {RT_BITMAP_ID, id, velmor_res_bitmap_##n##_begin, velmor_res_bitmap_##n##_end}, \
  {RT_BITMAP_ID, id, velmor_res_bitmap_##n##_2x_begin, velmor_res_bitmap_##n##_2x_end, 2}

}  // namespace

void RegisterProgramResources() {
  const Embedded resources[] = {
      VELMOR_SKIN(IDB_BACKGROUND, 132),
      VELMOR_SKIN(IDB_MINIMIZE_PRESSED, 165),
      VELMOR_SKIN(IDB_MINIMIZE_HOVER, 166),
      VELMOR_SKIN(IDB_MINIMIZE_NORMAL, 167),
      VELMOR_SKIN(IDB_CLOSE_PRESSED, 168),
      VELMOR_SKIN(IDB_CLOSE_HOVER, 169),
      VELMOR_SKIN(IDB_CLOSE_NORMAL, 170),
      VELMOR_SKIN(IDB_SETTINGS_PRESSED, 171),
      VELMOR_SKIN(IDB_SETTINGS_DISABLED, 172),
      VELMOR_SKIN(IDB_SETTINGS_HOVER, 173),
      VELMOR_SKIN(IDB_SETTINGS_NORMAL, 174),
      {RT_GROUP_ICON_ID, IDR_MAINFRAME, velmor_res_icon_128_begin, velmor_res_icon_128_end},
      {RT_GROUP_ICON_ID, IDR_MAINFRAME, velmor_res_icon_128_2x_begin, velmor_res_icon_128_2x_end, 2},
  };
  for (const Embedded& r : resources) {
    platform::RegisterResource(r.type, r.id, std::span<const BYTE>(r.begin, r.end), r.scale);
  }
  RegisterMainDialogTemplate();
}
