#pragma once

// The skin's two presentation modes.
//  - classic: Windows before Vista, and any system without a Windows version code (Linux). Skinned
//    windows are frameless, carry the skin's title bar and take their shape from a stretched image.
//  - native: Windows Vista and later. Skinned windows keep the native frame and title; only the
//    painted background is skinned.
// The answer is asked again at every use and never changes while the program runs, except through
// the override below.
enum class SkinMode { Classic, Native };

SkinMode skinMode();
bool isClassicSkin();

// Forces the mode for the whole process until reset; for tests and previews only. GUI thread.
void overrideSkinMode(SkinMode mode);
void resetSkinMode();
