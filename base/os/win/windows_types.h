#pragma once
// The one place <windows.h> is included. Portable headers never include this file.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
