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

VELMOR_EMBED(velmor_res_bitmap_132, "skin/bitmap_132.bmp");
VELMOR_EMBED(velmor_res_bitmap_165, "skin/bitmap_165.bmp");
VELMOR_EMBED(velmor_res_bitmap_166, "skin/bitmap_166.bmp");
VELMOR_EMBED(velmor_res_bitmap_167, "skin/bitmap_167.bmp");
VELMOR_EMBED(velmor_res_bitmap_168, "skin/bitmap_168.bmp");
VELMOR_EMBED(velmor_res_bitmap_169, "skin/bitmap_169.bmp");
VELMOR_EMBED(velmor_res_bitmap_170, "skin/bitmap_170.bmp");
VELMOR_EMBED(velmor_res_bitmap_171, "skin/bitmap_171.bmp");
VELMOR_EMBED(velmor_res_bitmap_172, "skin/bitmap_172.bmp");
VELMOR_EMBED(velmor_res_bitmap_173, "skin/bitmap_173.bmp");
VELMOR_EMBED(velmor_res_bitmap_174, "skin/bitmap_174.bmp");
VELMOR_EMBED(velmor_res_icon_128, "icon_128.ico");

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
};

}  // namespace

void RegisterProgramResources() {
  const Embedded resources[] = {
      {RT_BITMAP_ID, IDB_BACKGROUND, velmor_res_bitmap_132_begin, velmor_res_bitmap_132_end},
      {RT_BITMAP_ID, IDB_MINIMIZE_PRESSED, velmor_res_bitmap_165_begin, velmor_res_bitmap_165_end},
      {RT_BITMAP_ID, IDB_MINIMIZE_HOVER, velmor_res_bitmap_166_begin, velmor_res_bitmap_166_end},
      {RT_BITMAP_ID, IDB_MINIMIZE_NORMAL, velmor_res_bitmap_167_begin, velmor_res_bitmap_167_end},
      {RT_BITMAP_ID, IDB_CLOSE_PRESSED, velmor_res_bitmap_168_begin, velmor_res_bitmap_168_end},
      {RT_BITMAP_ID, IDB_CLOSE_HOVER, velmor_res_bitmap_169_begin, velmor_res_bitmap_169_end},
      {RT_BITMAP_ID, IDB_CLOSE_NORMAL, velmor_res_bitmap_170_begin, velmor_res_bitmap_170_end},
      {RT_BITMAP_ID, IDB_SETTINGS_PRESSED, velmor_res_bitmap_171_begin, velmor_res_bitmap_171_end},
      {RT_BITMAP_ID, IDB_SETTINGS_DISABLED, velmor_res_bitmap_172_begin, velmor_res_bitmap_172_end},
      {RT_BITMAP_ID, IDB_SETTINGS_HOVER, velmor_res_bitmap_173_begin, velmor_res_bitmap_173_end},
      {RT_BITMAP_ID, IDB_SETTINGS_NORMAL, velmor_res_bitmap_174_begin, velmor_res_bitmap_174_end},
      {RT_GROUP_ICON_ID, IDR_MAINFRAME, velmor_res_icon_128_begin, velmor_res_icon_128_end},
  };
  for (const Embedded& r : resources) {
    platform::RegisterResource(r.type, r.id, std::span<const BYTE>(r.begin, r.end));
  }
  RegisterMainDialogTemplate();
}
