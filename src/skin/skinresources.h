#pragma once

// Makes sure that the two resource collections compiled into the program, the skin and the
// application icon, are registered with Qt's resource system. Each collection registers itself
// before main() runs and unregisters at exit once its object file is linked; the library is
// static, so the skin classes call this to pull both collections into every program that uses
// them. Safe to call repeatedly, from any thread.
void registerSkinResources();
