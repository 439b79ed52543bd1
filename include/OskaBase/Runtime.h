// The portable runtime zel as the library's clients see it: ZEL_Mutex, the
// scoped lock ZEL_Guard (compiled into and exported by this library),
// zel::zel_recursive_mutex, and the ZEL_ records such as ZEL_FINFO_S that
// the library's functions pass through. See zel/zel.h for every contract.
#pragma once

#include <zel/zel.h>
