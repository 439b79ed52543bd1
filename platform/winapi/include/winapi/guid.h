// New random GUIDs, as the COM library's CoCreateGuid hands them out.
#pragma once

#include <winapi/base.h>

// Fills *guid with a new random version-4 GUID (RFC 4122 variant): 122
// random bits from the kernel's random source, Data3's top four bits 0100
// and Data4[0]'s top two bits 10. Returns S_OK; E_INVALIDARG for a null
// pointer; a failure of the random source (which Linux does not have once
// it is seeded) as HRESULT_FROM_WIN32 of the mapped errno, leaving *guid
// unchanged. Safe to call from any thread.
HRESULT CoCreateGuid(GUID* guid);
