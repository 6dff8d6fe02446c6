#pragma once

// The running Windows version as the classic WinVersion codes (0x0001 Windows 3.1 with Win32s ...
// 0x0090 Windows 7, 0x00a0 Windows 8, 0x00b0 Windows 8.1, 0x00c0 Windows 10); Windows 11, which
// reports itself as version 10.0 from build 22000 on, has the code 0x00d0. Zero on a system that
// is not Windows.
int windowsVersionCode();

// The code of a Windows version from its major and minor version and its build number, as the
// system reports them; 0x0010 (Windows NT) for a version without a code of its own.
int windowsVersionCode(int major, int minor, int build);

namespace WindowsVersionCode {
constexpr int Windows8 = 0x00a0;
constexpr int Windows81 = 0x00b0;
constexpr int Windows10 = 0x00c0;
constexpr int Windows11 = 0x00d0;
// Windows 11 still reports version 10.0; its builds start here.
constexpr int FirstWindows11Build = 22000;
} // namespace WindowsVersionCode
