// Ownership of the window's Win32 handles: the kernel and memory handles of every module
// (platform/unique_handle.h) and the window's own icons and accelerator tables.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace oskelon::win {

using oskelon::GlobalHandle;
using oskelon::KernelHandle;
using oskelon::UniqueHandle;
// Icons loaded without LR_SHARED belong to the loader.
using IconHandle = UniqueHandle<HICON, DestroyIcon>;
// Accelerator tables; one loaded from a resource would also go with the process.
using AcceleratorHandle = UniqueHandle<HACCEL, DestroyAcceleratorTable>;
// Menus; a submenu belongs to the menu it has been appended to.
using MenuHandle = UniqueHandle<HMENU, DestroyMenu>;

}  // namespace oskelon::win
