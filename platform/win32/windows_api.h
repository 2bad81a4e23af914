#pragma once
// The Windows headers as this platform uses them. The program calls the "A" functions by their
// own names, so the generic macros that would rename the seam's methods of the same name
// (GetOpenFileName, GetShortPathName, GetCurrentDirectory) are dropped.

#include <windows.h>
// After windows.h, which they build on:
#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

#undef GetOpenFileName
#undef GetShortPathName
#undef GetCurrentDirectory
