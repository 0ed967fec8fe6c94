// The program's version record.
#pragma once

#include "platform/base/types.h"

struct VelmorVersionInfo {
  WORD fileVersion[4];
  WORD productVersion[4];
  const char16_t* fileDescription;
  const char16_t* internalName;
};

inline constexpr VelmorVersionInfo kVelmorVersion{
    {1, 0, 0, 4},
    {1, 0, 0, 4},
    u"Kavel-7100設定画面接続ツール",
    u"Kavel-7100設定画面接続ツール",
};
