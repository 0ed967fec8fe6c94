// The executable's resources (bitmaps, icons, dialog templates, version), embedded at build time.
//
// Each resource is registered under its type and integer id by code generated from res/ (or by a
// test), before main runs or before the test uses it; lookups never copy the bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/base/types.h"

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

// MAKEINTRESOURCEW: an integer id travels in a name pointer; IS_INTRESOURCE tells them apart.
inline LPCWSTR MAKEINTRESOURCEW(WORD id) { return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id)); }
#define MAKEINTRESOURCE MAKEINTRESOURCEW
inline bool IS_INTRESOURCE(LPCWSTR name) { return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0; }

// Resource types, as integer ids.
inline constexpr WORD RT_BITMAP_ID = 2;
inline constexpr WORD RT_GROUP_ICON_ID = 14;

namespace platform {

// The one module of this program; every resource handle names it.
HINSTANCE ResourceModule();

// Registers bytes that live as long as the process (static data). A later registration of the
// same type, id and scale replaces the earlier one. A picture drawn at `scale` times its size is
// registered beside the one at its own size (scale 1), under the same type and id.
void RegisterResource(WORD type, WORD id, std::span<const BYTE> bytes, int scale = 1);
// The bytes of a resource named by an integer id; nothing for a string name or an unknown id.
std::optional<std::span<const BYTE>> FindResourceBytes(WORD type, LPCWSTR name, int scale = 1);

}  // namespace platform
