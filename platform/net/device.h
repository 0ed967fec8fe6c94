// CreateFileW and DeviceIoControl for the adapters' NDIS devices ("\\.\NAME").
#pragma once

#include "platform/base/types.h"

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

// Opens "\\.\NAME" when the adapter NAME exists; INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND
// otherwise, and for every other kind of path.
HANDLE CreateFileW(const WCHAR* fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// IOCTL_NDIS_QUERY_GLOBAL_STATS with the OID as 4 input bytes; the answer goes to the output
// buffer and its length to *bytesReturned. FALSE with the driver's error otherwise.
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, OVERLAPPED* overlapped);
