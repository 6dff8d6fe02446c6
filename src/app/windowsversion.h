#pragma once

// The running Windows version as the classic WinVersion codes (0x0001 Windows 3.1 with Win32s ...
// 0x0090 Windows 7); newer Windows versions keep their own codes above those. Zero on a system
// that is not Windows.
int windowsVersionCode();
